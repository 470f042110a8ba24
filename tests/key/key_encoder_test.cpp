#include <gtest/gtest.h>

#include <random>
#include <string>

#include "funkcie.h"
#include "key_alphabet.h"
#include "key_encoder.h"

namespace kalvoran {
namespace {

bool IsWellFormedKey(const std::string& key) {
  for (char c : key) {
    if (Base35Value(c) < 0) return false;
  }
  return key.size() % 2 == 0 && key.size() >= 4;
}

TEST(EncodeKey, MakesTheKeyOfTheExampleDescriptor) {
  const std::string descriptor = "1;noo;Pack;a.zip*b.pdf;b.pdf";
  const auto key = EncodeKey(descriptor);
  ASSERT_TRUE(key.has_value());
  EXPECT_EQ(key->size(), 2 * descriptor.size());
  EXPECT_TRUE(IsWellFormedKey(*key)) << *key;
  EXPECT_EQ(UnscrambleKey(*key), descriptor);
}

TEST(EncodeKey, RoundTripsRandomDescriptorsOverTheWholeAlphabet) {
  std::mt19937 rng(142);
  std::uniform_int_distribution<int> code(0, kCodeTableSize - 1);
  for (std::size_t length = 2; length <= kMaxDescriptorLength; length += 1 + length / 4) {
    for (int round = 0; round < 3; ++round) {
      std::string descriptor(length, ' ');
      for (char& c : descriptor) c = kCodeTable[static_cast<std::size_t>(code(rng))];
      const auto key = EncodeKey(descriptor);
      ASSERT_TRUE(key.has_value()) << "length " << length;
      ASSERT_TRUE(IsWellFormedKey(*key));
      ASSERT_EQ(UnscrambleKey(*key), descriptor) << "length " << length;
    }
  }
  // Every character of the table, in both orders, and the longest descriptor.
  const std::string all(kCodeTable.begin(), kCodeTable.end());
  EXPECT_EQ(UnscrambleKey(EncodeKey(all).value()), all);
  const std::string reversed(kCodeTable.rbegin(), kCodeTable.rend());
  EXPECT_EQ(UnscrambleKey(EncodeKey(reversed).value()), reversed);
  const std::string longest(kMaxDescriptorLength, kCodeTable[141]);
  EXPECT_EQ(EncodeKey(longest).value().size(), kMaxKeyLength);
}

TEST(EncodeKey, RefusesWhatNoKeyCanCarry) {
  const std::string refused[] = {
      "",           "1",          std::string(kMaxDescriptorLength + 1, 'a'),
      "1;noo;`",
      "1;noo;\xD6",  // O-diaeresis
      "1;noo;a\tb", "1;noo;a\nb", std::string("1;\0", 3),
  };
  for (const std::string& d : refused) {
    EXPECT_FALSE(EncodeKey(d).has_value()) << d.size();
    EXPECT_THROW(EncodeKeyOrThrow(d), EKeyEncodeError) << d.size();
  }
}

}  // namespace
}  // namespace kalvoran
