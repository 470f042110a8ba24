#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "str_to_int.h"

namespace kalvoran {
namespace {

TEST(StrToInt, AcceptsWholeIntegers) {
  const struct {
    const char* text;
    std::int32_t value;
  } cases[] = {
      {"7", 7},
      {"+7", 7},
      {"-7", -7},
      {"-0", 0},
      {"007", 7},
      {"  7", 7},
      {"  -7", -7},
      {"$1F", 31},
      {"x1F", 31},
      {"X1f", 31},
      {"0x1F", 31},
      {"0X1f", 31},
      {"-$1", -1},
      {"+0x10", 16},
      {"$FFFFFFFF", -1},
      {"$80000000", INT32_MIN},
      {"-$80000000", INT32_MIN},
      {"$000000001", 1},  // leading zeros do not count against the 32 bits
      {"2147483647", INT32_MAX},
      {"-2147483648", INT32_MIN},
      {"00000000002147483647", INT32_MAX},
      {"141", 141},
  };
  for (const auto& c : cases) {
    std::int32_t v = 0;
    EXPECT_NO_THROW(v = StrToInt(c.text)) << c.text;
    EXPECT_EQ(v, c.value) << c.text;
  }
}

TEST(StrToInt, RefusesAnythingElseWithTheConversionError) {
  const char* const cases[] = {
      "7 ",  "7a",  "1.0",   "",           " ",           "-",          "+",
      "$",   "0x",  "x",     "- 7",        "--7",         "+-7",        "\t7",
      "7\n", "$G",  "0x1F ", "2147483648", "-2147483649", "$100000000", "99999999999999999999",
      "0b1", "1e3",
  };
  for (const char* text : cases) {
    EXPECT_THROW(StrToInt(text), EConvertError) << '"' << text << '"';
  }
}

TEST(StrToInt, NamesTheWholeTextInItsMessage) {
  try {
    StrToInt(" 7 ");
    FAIL() << "no error";
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "' 7 ' is not a valid integer value");
  }
}

}  // namespace
}  // namespace kalvoran
