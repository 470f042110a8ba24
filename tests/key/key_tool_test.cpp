#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "cp1250.h"
#include "program_run.h"

namespace {

using kalvoran::test::ProgramRun;

// Runs the key tool with these arguments.
ProgramRun RunTool(std::vector<std::string> args) {
  args.insert(args.begin(), KALVORAN_KEY_TOOL);
  const ProgramRun run = kalvoran::test::RunProgram(std::move(args));
  if (!run.started) ADD_FAILURE() << "cannot start " << KALVORAN_KEY_TOOL;
  return run;
}

std::string FirstLine(const std::string& s) {
  return s.substr(0, s.find('\n'));
}

TEST(KeyTool, EncodesAndDecodesTheFiveFields) {
  const ProgramRun encoded = RunTool({"encode", "1;noo;Pack;a.zip*b.pdf;b.pdf"});
  ASSERT_EQ(encoded.status, 0) << encoded.err;
  const ProgramRun decoded = RunTool({"decode", FirstLine(encoded.out)});
  EXPECT_EQ(decoded.status, 0) << decoded.err;
  EXPECT_EQ(decoded.out,
            "descriptor: 1;noo;Pack;a.zip*b.pdf;b.pdf\n"
            "server: 1\n"
            "delete: false\n"
            "folder: Pack\n"
            "files: a.zip*b.pdf\n"
            "run: b.pdf\n");
}

TEST(KeyTool, RoundTripsAccentedUtf8) {
  const std::string descriptor = " 2;x;Žluťoučký kůň;§1 °C.txt*Ď;";
  const ProgramRun encoded = RunTool({"encode", descriptor});
  ASSERT_EQ(encoded.status, 0) << encoded.err;
  const ProgramRun decoded = RunTool({"decode", FirstLine(encoded.out)});
  EXPECT_EQ(decoded.status, 0);
  EXPECT_EQ(decoded.out,
            "descriptor: " + descriptor +
                "\nserver: 2\ndelete: true\nfolder: Žluťoučký kůň\nfiles: §1 °C.txt*Ď\nrun: \n");
}

// The stored long keys (made apart from our C++) through the program itself:
// what it prints must not depend on the system it was built for.
TEST(KeyTool, DecodesTheStoredLongKeysToTheirDescriptors) {
  std::ifstream in(KALVORAN_KEY_VECTORS);
  ASSERT_TRUE(in) << "cannot read " << KALVORAN_KEY_VECTORS;
  const auto fromHex = [](const std::string& hex) {
    std::string bytes;
    for (std::size_t k = 0; k + 1 < hex.size(); k += 2) {
      bytes += static_cast<char>(std::stoi(hex.substr(k, 2), nullptr, 16));
    }
    return kalvoran::Cp1250ToUtf8(bytes);
  };
  int count = 0;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string key, switched, text;
    ASSERT_TRUE(fields >> key >> switched >> text);
    const ProgramRun decoded = RunTool({"decode", fromHex(key)});
    const std::string expected = "descriptor: " + fromHex(text) + "\n";
    EXPECT_EQ(decoded.out.substr(0, expected.size()), expected) << "vector " << count + 1;
    ++count;
  }
  EXPECT_EQ(count, 5);
}

TEST(KeyTool, ReportsAnUnreadableKeyWithStatus1) {
  const ProgramRun encoded = RunTool({"encode", "x;noo"});
  ASSERT_EQ(encoded.status, 0);
  const ProgramRun decoded = RunTool({"decode", FirstLine(encoded.out)});
  EXPECT_EQ(decoded.status, 1);
  EXPECT_EQ(decoded.out, "descriptor: x;noo\n");
  EXPECT_NE(decoded.err.find("unreadable"), std::string::npos) << decoded.err;
  // A key too short to carry anything is unreadable too, not a failure of the tool.
  EXPECT_EQ(RunTool({"decode", "abc"}).status, 1);
}

TEST(KeyTool, MakesRandomFolderNamesOf128Bits) {
  const ProgramRun first = RunTool({"random-folder"}), second = RunTool({"random-folder"});
  EXPECT_EQ(first.status, 0) << first.err;
  EXPECT_TRUE(std::regex_match(first.out, std::regex("[0-9a-f]{32}\n"))) << first.out;
  EXPECT_NE(first.out, second.out);
}

TEST(KeyTool, RefusesWithStatus2) {
  const std::vector<std::vector<std::string>> refused = {
      {},
      {"encode"},
      {"decode"},
      {"encode", "1;noo", "extra"},
      {"translate", "1;noo"},
      {"random-folder", "x"},
      {"encode", ""},
      {"encode", "1"},
      {"encode", "1;noo;`"},
      {"encode", "1;noo;Öl"},
      {"encode", "1;noo;日本"},  // would become "??" in Windows-1250
      {"encode", "1;noo;\xC3"},  // malformed UTF-8
      {"encode", std::string(2049, 'a')},
  };
  for (const auto& args : refused) {
    const ProgramRun run = RunTool(args);
    EXPECT_EQ(run.status, 2) << (args.empty() ? "" : args[0]) << " " << args.size();
    EXPECT_TRUE(run.out.empty()) << run.out;
    EXPECT_FALSE(run.err.empty());
  }
}

}  // namespace
