#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "funkcie.h"
#include "key_descriptor.h"
#include "str_to_int.h"

namespace kalvoran {
namespace {

TEST(GetField, SplitsAtEveryDelimiter) {
  const struct {
    const char* text;
    char delimiter;
    std::int32_t n;
    const char* field;
  } cases[] = {
      {"red;green;blue", ';', 1, "red"},
      {"red;green;blue", ';', 2, "green"},
      {"red;green;blue", ';', 3, "blue"},
      {"red;green;blue", ';', 4, ""},
      {"red;green;blue", ';', 0, ""},
      {"red;green;blue", ';', -1, ""},
      {"red;green;blue", ';', INT32_MAX, ""},
      {"red;green;blue", ';', INT32_MIN, ""},
      {"red", ';', 1, "red"},
      {"red", ';', 2, ""},
      {"red;;blue", ';', 2, ""},
      {"red;;blue", ';', 3, "blue"},
      {";red", ';', 1, ""},
      {";red", ';', 2, "red"},
      {"red;", ';', 1, "red"},
      {"red;", ';', 2, ""},
      {"", ';', 1, ""},
      {"a*b", '*', 2, "b"},
      {"a;b*c", '*', 1, "a;b"},
      {"\xE1\x9A;x", ';', 1, "\xE1\x9A"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(GetField(c.text, c.delimiter, c.n), c.field) << c.text << " " << c.n;
  }
}

TEST(SpacesToPlus, ReplacesOnlyBlanks) {
  EXPECT_EQ(SpacesToPlus(" a b+c  "), "+a+b+c++");
  EXPECT_EQ(SpacesToPlus("a\tb\xA0"), "a\tb\xA0");
  EXPECT_EQ(SpacesToPlus(""), "");
}

TEST(ReadKeyDescriptor, ReadsTheFiveFields) {
  const struct {
    const char* text;
    std::int32_t server;
    bool deleteFlag;
    const char* folder;
    std::vector<std::string> files;
    const char* runFile;
  } cases[] = {
      {"1;noo;Pack;a.zip*b.pdf;b.pdf", 1, false, "Pack", {"a.zip", "b.pdf"}, "b.pdf"},
      {"2;x;F;p*q", 2, true, "F", {"p", "q"}, ""},
      {"0", 0, true, "", {}, ""},
      {" 1;noo", 1, false, "", {}, ""},
      {"3;NOO;;p*q*r", 3, true, "", {"p", "q", "r"}, ""},
      {"-1;no;;p**q", -1, true, "", {"p"}, ""},
      {"0;;;p*", 0, true, "", {"p"}, ""},
      {"0;noo ;;*p", 0, true, "", {}, ""},
      {"1;noo;A B;x y.zip;x y.zip;extra;more", 1, false, "A B", {"x y.zip"}, "x y.zip"},
  };
  for (const auto& c : cases) {
    const KeyDescriptor d = ReadKeyDescriptor(c.text);
    EXPECT_EQ(d.ServerIndex, c.server) << c.text;
    EXPECT_EQ(d.DeleteFlag, c.deleteFlag) << c.text;
    EXPECT_EQ(d.Cesta, c.folder) << c.text;
    EXPECT_EQ(d.Files, c.files) << c.text;
    EXPECT_EQ(d.RunFile, c.runFile) << c.text;
  }
}

TEST(ReadKeyDescriptor, IsUnreadableExactlyWhenField1IsNoInteger) {
  for (const char* text : {"", "1 ;noo;P;a;a", ";noo;P;a", "one;noo", "1.0;noo", "*;1"}) {
    EXPECT_THROW(ReadKeyDescriptor(text), EConvertError) << text;
  }
}

}  // namespace
}  // namespace kalvoran
