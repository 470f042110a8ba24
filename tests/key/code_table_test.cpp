#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "cp1250.h"
#include "key_alphabet.h"

namespace kalvoran {
namespace {

// Issued keys depend on every position of the table: this checksum fails on
// any change to it, however small.
TEST(CodeTable, IsPinnedForever) {
  std::uint32_t hash = 2166136261u;
  for (char c : kCodeTable) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 16777619u;
  }
  EXPECT_EQ(hash, 0xA0B5CD43u);
}

TEST(CodeTable, MapsOneToOneOntoTheDescriptorAlphabet) {
  std::string alphabet = " ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  const std::string accented = Utf8ToCp1250(
      "ÁÄÉÍÓÔÚÜÝČĎĚĹĽŇŔŘŚŠŤŮŰŽ"
      "áäéíóôúüýčďěĺľňŕřśšťůűž"
      "§°");
  ASSERT_EQ(accented.size(), 48u);
  ASSERT_EQ(accented.find('?'), std::string::npos);
  alphabet += accented;
  for (int c = 0x21; c <= 0x7E; ++c) {
    const bool letterOrDigit =
        (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    if (!letterOrDigit && c != '`') alphabet += static_cast<char>(c);
  }
  ASSERT_EQ(alphabet.size(), 142u);

  std::string table(kCodeTable.begin(), kCodeTable.end());
  std::sort(table.begin(), table.end());
  std::sort(alphabet.begin(), alphabet.end());
  EXPECT_EQ(table, alphabet);

  for (int code = 0; code < kCodeTableSize; ++code) EXPECT_EQ(CodeOf(kCodeTable[code]), code);
  for (const char* outside : {"`", "\t", "\n", "\xD6", "\xF6", "\xDF", "\x80"}) {
    EXPECT_EQ(CodeOf(outside[0]), -1) << static_cast<int>(static_cast<unsigned char>(outside[0]));
  }
}

}  // namespace
}  // namespace kalvoran
