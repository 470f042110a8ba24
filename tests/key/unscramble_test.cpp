#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <string_view>

#include "funkcie.h"
#include "key_alphabet.h"
#include "str_to_int.h"

namespace kalvoran {
namespace {

std::string FromHex(std::string_view hex) {
  std::string bytes;
  for (std::size_t k = 0; k + 1 < hex.size(); k += 2) {
    bytes += static_cast<char>(std::stoi(std::string(hex.substr(k, 2)), nullptr, 16));
  }
  return bytes;
}

// Where two texts first differ, npos when they are equal: a failure on a text
// of thousands of characters stays readable.
std::size_t FirstDifference(std::string_view a, std::string_view b) {
  const auto [at, other] = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
  return at == a.end() && other == b.end() ? std::string::npos
                                           : static_cast<std::size_t>(at - a.begin());
}

TEST(SwitchB, ReordersTheWorkedExamples) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"", ""},
      {"A", ""},
      {"ABC", ""},
      {"ABCD", "CDAB"},
      {"ABCDE", "CAEBD"},
      {"ABCDEF", "CFEBAD"},
      {"ABCDEFGH", "EFGHABCD"},
      {"ABCDEFGHI", "ECGAIBHDF"},
  };
  for (const auto& c : cases) EXPECT_EQ(SwitchB(c.in), c.out) << c.in;
}

TEST(SwitchB, OnlyReordersForEveryLengthFrom4) {
  for (std::size_t length = 4; length <= 64; ++length) {
    std::string in;
    for (std::size_t k = 0; k < length; ++k) in += static_cast<char>(0x30 + k);
    std::string out = SwitchB(in);
    ASSERT_EQ(out.size(), length);
    EXPECT_NE(out, in) << length;
    std::sort(out.begin(), out.end());
    EXPECT_EQ(out, in) << "length " << length;
  }
}

TEST(PairToCode, ReadsBase35PairsAndAbsorbsOtherCharacters) {
  const struct {
    const char* pair;
    const char* code;
  } cases[] = {
      {"00", "000"},  {"09", "009"},  {"10", "035"},  {"3Z", "139"}, {"41", "141"},
      {"42", "142"},  {"1a", "036"},  {"a5", "005"},  {"W7", "007"}, {"S9", "989"},
      {"SK", "1000"}, {"ZZ", "1224"}, {"VX", "1117"}, {"  ", "000"}, {"5W", "180"},
  };
  for (const auto& c : cases) EXPECT_EQ(PairToCode(c.pair), c.code) << c.pair;
}

TEST(PairsToCodes, DropsTheOddLastCharacter) {
  EXPECT_EQ(PairsToCodes(""), "");
  EXPECT_EQ(PairsToCodes("1"), "");
  EXPECT_EQ(PairsToCodes("103Z"), "035139");
  EXPECT_EQ(PairsToCodes("103Z7"), "035139");
  EXPECT_EQ(PairsToCodes("SK01"), "1000001");
}

TEST(CodesToText, RepeatsForCodesBeyondTheTableAndDropsShortGroups) {
  const std::string a(1, kCodeTable[1]);
  const std::string b(1, kCodeTable[2]);
  const std::string last(1, kCodeTable[141]);
  const struct {
    const char* codes;
    std::string text;
  } cases[] = {
      {"", ""},
      {"001", a},
      {"00100", a},       // two digits left over
      {"0010", a},        // one digit left over
      {"001142", a + a},  // beyond the table repeats
      {"001999999002", a + a + a + b},
      {"142999001", a},  // nothing to repeat yet
      {"141", last},
      {"-01001", a},  // a negative code is beyond the table too
  };
  for (const auto& c : cases) EXPECT_EQ(CodesToText(c.codes), c.text) << c.codes;
  EXPECT_THROW(CodesToText("00a"), EConvertError);
}

TEST(IntPower, WrapsIn32Bits) {
  EXPECT_EQ(IntPower(35, 0), 1);
  EXPECT_EQ(IntPower(35, 1), 35);
  EXPECT_EQ(IntPower(35, 2), 1225);
  EXPECT_EQ(IntPower(-3, 3), -27);
  EXPECT_EQ(IntPower(2, 31), INT32_MIN);
  EXPECT_EQ(IntPower(2, 32), 0);
  EXPECT_EQ(IntPower(3, 21), static_cast<std::int32_t>(10460353203LL - 2LL * 4294967296LL));
  EXPECT_EQ(IntPower(-1, INT32_MAX), -1);
  EXPECT_EQ(IntPower(7, -1), 1);  // no integer power: counted as exponent 0
}

TEST(UnscrambleKey, APairOf1000ShiftsTheGroupingOfLaterCodes) {
  // Six characters get one pass that takes s3 s6 s5 s2 s1 s4.
  const std::string key = "0K01S1";
  ASSERT_EQ(SwitchB(key), "01SK01");
  // 001 1000 001 is grouped as 001 100 000 and a dropped 1.
  const std::string expected = {kCodeTable[1], kCodeTable[100], kCodeTable[0]};
  EXPECT_EQ(UnscrambleKey(key), expected);
}

TEST(UnscrambleKey, KeepsBlanksAndGivesNothingBelowFourCharacters) {
  EXPECT_EQ(UnscrambleKey(""), "");
  EXPECT_EQ(UnscrambleKey("01"), "");
  EXPECT_EQ(UnscrambleKey("012"), "");
  // Blanks are no digits: a pair of them counts 0, the table's first entry.
  EXPECT_EQ(UnscrambleKey("    "), std::string(2, kCodeTable[0]));
  // "1 01" reorders to "011 ": pairs 01 and 1 (the blank repeats the 1).
  const std::string expected = {kCodeTable[1], kCodeTable[36]};
  EXPECT_EQ(UnscrambleKey("1 01"), expected);
}

TEST(UnscrambleKey, NeverFailsOnAnyBytes) {
  std::mt19937 rng(20261208);
  std::uniform_int_distribution<int> byte(0, 255);
  for (std::size_t length = 0; length <= 4096; length += 1 + length / 8) {
    for (int round = 0; round < 2; ++round) {
      std::string key(length, '\0');
      for (char& c : key) c = static_cast<char>(byte(rng));
      std::string text;
      ASSERT_NO_THROW(text = UnscrambleKey(key)) << "length " << length;
      // One character per code; pairs of 1000 or more write four digits.
      EXPECT_LE(text.size(), 4 * (length / 2) / 3);
      for (char c : text) EXPECT_GE(CodeOf(c), 0);
    }
  }
}

// Keys of up to 4,096 characters, reordered over many passes, whose reordering
// and descriptor text were worked out apart from our code (our own key maker
// shares the reordering and the table with the reader, so it cannot catch a
// fault common to both). make_key_vectors.py beside this file writes them.
TEST(UnscrambleKey, MatchesTheStoredLongKeys) {
  std::ifstream in(KALVORAN_KEY_VECTORS);
  ASSERT_TRUE(in) << "cannot read " << KALVORAN_KEY_VECTORS;
  const std::size_t lengths[] = {10, 57, 100, 1000, 4096};
  std::size_t count = 0;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    ASSERT_LT(count, std::size(lengths)) << "more vectors than expected";
    std::istringstream fields(line);
    std::string key, switched, text;
    ASSERT_TRUE(fields >> key >> switched >> text) << "vector " << count + 1 << " lacks a field";
    key = FromHex(key);
    ASSERT_EQ(key.size(), lengths[count]) << "vector " << count + 1;
    EXPECT_EQ(FirstDifference(SwitchB(key), FromHex(switched)), std::string::npos)
        << "reordering of the key of " << key.size();
    EXPECT_EQ(FirstDifference(UnscrambleKey(key), FromHex(text)), std::string::npos)
        << "descriptor text of the key of " << key.size();
    ++count;
  }
  EXPECT_EQ(count, std::size(lengths)) << "vectors in " << KALVORAN_KEY_VECTORS;
}

}  // namespace
}  // namespace kalvoran
