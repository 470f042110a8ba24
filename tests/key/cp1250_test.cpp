#include <gtest/gtest.h>

#include <string>

#include "cp1250.h"

namespace kalvoran {
namespace {

TEST(Cp1250, EveryByteRoundTripsThroughUtf8) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  const std::string utf8 = Cp1250ToUtf8(all);
  EXPECT_EQ(Utf8ToCp1250(utf8), all);
  for (int b = 0; b < 256; ++b) {
    const auto byte = static_cast<unsigned char>(b);
    EXPECT_EQ(static_cast<unsigned char>(CodePointToCp1250(Cp1250ToCodePoint(byte))), byte) << b;
  }
}

TEST(Cp1250, ConvertsTheLettersOfTheRegion) {
  const struct {
    const char* cp1250;
    const char* utf8;
  } cases[] = {
      {"\x8A\x9A\x8E\x9E", "ŠšŽž"},           {"\xC8\xE8\xD8\xF8\xD9\xF9", "ČčŘřŮů"},
      {"\xBC\xBE\xC5\xE5\xC0\xE0", "ĽľĹĺŔŕ"}, {"\xD6\xF6\xDF\xC4\xE4", "ÖößÄä"},
      {"\xA7\xB0\x80\x84\x96", "§°€„–"},      {"plain ASCII ~", "plain ASCII ~"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Cp1250ToUtf8(c.cp1250), c.utf8) << c.utf8;
    EXPECT_EQ(Utf8ToCp1250(c.utf8), c.cp1250) << c.utf8;
  }
}

TEST(Cp1250, MarksWhatItCannotConvertWithAQuestionMark) {
  const struct {
    std::string utf8;
    std::string cp1250;
  } cases[] = {
      {"日本", "??"},                 // outside Windows-1250
      {"ñ", "?"},                     // Latin, but not of this code page
      {"a\xF0\x9F\x98\x80z", "a?z"},  // beyond the basic plane
      {"a\x80z", "a?z"},              // stray continuation byte
      {"a\xC3", "a?"},                // truncated at the end
      {"\xC0\xAF", "??"},             // overlong
      {"\xED\xA0\x80", "???"},        // surrogate
      {"\xF4\x90\x80\x80", "????"},   // beyond U+10FFFF
      {"\xFF", "?"},
      {std::string("a\0b", 3), std::string("a\0b", 3)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Utf8ToCp1250(c.utf8), c.cp1250) << c.cp1250;
  }
}

}  // namespace
}  // namespace kalvoran
