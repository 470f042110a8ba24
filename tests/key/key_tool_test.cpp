#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

struct ToolRun {
  int status = -1;
  std::string out;
  std::string err;
};

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Runs the key tool with these arguments; its output goes through files, so
// neither stream can fill up and block it.
ToolRun RunTool(std::vector<std::string> args) {
  const std::string base = ::testing::TempDir() + "kalvoran-key-" + std::to_string(getpid());
  const std::string outPath = base + ".out";
  const std::string errPath = base + ".err";
  args.insert(args.begin(), KALVORAN_KEY_TOOL);
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  pid_t pid = 0;
  ToolRun run;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    ADD_FAILURE() << "cannot start " << argv[0];
    return run;
  }
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  run.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
  run.out = Slurp(outPath);
  run.err = Slurp(errPath);
  std::remove(outPath.c_str());
  std::remove(errPath.c_str());
  return run;
}

std::string FirstLine(const std::string& s) {
  return s.substr(0, s.find('\n'));
}

TEST(KeyTool, EncodesAndDecodesTheFiveFields) {
  const ToolRun encoded = RunTool({"encode", "1;noo;Pack;a.zip*b.pdf;b.pdf"});
  ASSERT_EQ(encoded.status, 0) << encoded.err;
  const ToolRun decoded = RunTool({"decode", FirstLine(encoded.out)});
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
  const ToolRun encoded = RunTool({"encode", descriptor});
  ASSERT_EQ(encoded.status, 0) << encoded.err;
  const ToolRun decoded = RunTool({"decode", FirstLine(encoded.out)});
  EXPECT_EQ(decoded.status, 0);
  EXPECT_EQ(decoded.out,
            "descriptor: " + descriptor +
                "\nserver: 2\ndelete: true\nfolder: Žluťoučký kůň\nfiles: §1 °C.txt*Ď\nrun: \n");
}

TEST(KeyTool, ReportsAnUnreadableKeyWithStatus1) {
  const ToolRun encoded = RunTool({"encode", "x;noo"});
  ASSERT_EQ(encoded.status, 0);
  const ToolRun decoded = RunTool({"decode", FirstLine(encoded.out)});
  EXPECT_EQ(decoded.status, 1);
  EXPECT_EQ(decoded.out, "descriptor: x;noo\n");
  EXPECT_NE(decoded.err.find("unreadable"), std::string::npos) << decoded.err;
  // A key too short to carry anything is unreadable too, not a failure of the tool.
  EXPECT_EQ(RunTool({"decode", "abc"}).status, 1);
}

TEST(KeyTool, RefusesWithStatus2) {
  const std::vector<std::vector<std::string>> refused = {
      {},
      {"encode"},
      {"decode"},
      {"encode", "1;noo", "extra"},
      {"translate", "1;noo"},
      {"encode", ""},
      {"encode", "1"},
      {"encode", "1;noo;`"},
      {"encode", "1;noo;Öl"},
      {"encode", "1;noo;日本"},  // would become "??" in Windows-1250
      {"encode", "1;noo;\xC3"},  // malformed UTF-8
      {"encode", std::string(2049, 'a')},
  };
  for (const auto& args : refused) {
    const ToolRun run = RunTool(args);
    EXPECT_EQ(run.status, 2) << (args.empty() ? "" : args[0]) << " " << args.size();
    EXPECT_TRUE(run.out.empty()) << run.out;
    EXPECT_FALSE(run.err.empty());
  }
}

}  // namespace
