// The kalvoran-get tool's output and exit status, run as a process against
// the scripted server.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "scripted_server.h"

extern char** environ;

namespace kalvoran {
namespace {

namespace fs = std::filesystem;
using test::Script;
using test::ScriptedServer;

struct ToolRun {
  int status = -1;
  std::string out;
  std::string err;
};

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

class KalvoranGet : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("kalvoran_get_" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "bodies");
  }
  void TearDown() override { fs::remove_all(dir_); }

  ToolRun Start(std::vector<std::string> args) {
    args.insert(args.begin(), KALVORAN_GET_PATH);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const std::string out = (dir_ / "out").string(), err = (dir_ / "err").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = -1;
    ToolRun run;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
      int status = 0;
      ::waitpid(pid, &status, 0);
      run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    run.out = Slurp(out);
    run.err = Slurp(err);
    return run;
  }

  fs::path dir_;
};

TEST_F(KalvoranGet, FetchesInTurnOnOneClientAndReportsEachStep) {
  ScriptedServer server;
  server.AddScript(Script()
                       .ReadHead()
                       .Send("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n"
                             "Set-Cookie: s=1; path=/\r\n\r\nhello")
                       .ReadHead()
                       .Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                             "2\r\nab\r\n1\r\nc\r\n0\r\n\r\n"));
  const std::string base = "http://127.0.0.1:" + std::to_string(server.Port());
  const ToolRun run = Start({"-v", "-O", (dir_ / "bodies").string(), base + "/a", base + "/b"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err,
            "status 200 HTTP/1.1 200 OK\n"
            "begin wmRead 5 size=5\n"
            "work wmRead 5 size=5\n"
            "end wmRead\n"
            "status 200 HTTP/1.1 200 OK\n"
            "begin wmRead 2 size=2\n"
            "work wmRead 2 size=2\n"
            "end wmRead\n"
            "begin wmRead 1 size=3\n"
            "work wmRead 1 size=3\n"
            "end wmRead\n");
  EXPECT_EQ(Slurp(dir_ / "bodies" / "1.body"), "hello");
  EXPECT_EQ(Slurp(dir_ / "bodies" / "2.body"), "abc");
  EXPECT_EQ(server.AcceptedConnections(), 1);
  ASSERT_TRUE(server.WaitForFinished(1));
  EXPECT_NE(server.Received(0).find("Cookie: s=1\r\n"), std::string::npos);
}

TEST_F(KalvoranGet, StopsAtTheFirstErrorWithItsKindAndEscapedMessage) {
  ScriptedServer server;
  server.AddScript(Script().ReadHead().Send("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok"));
  server.AddScript(
      Script().ReadHead().Send("HTTP/1.1 404 Not Found\r\nContent-Length: 1\r\n\r\n!"));
  const std::string base = "http://127.0.0.1:" + std::to_string(server.Port());
  ToolRun run = Start({base + "/a", "https://127.0.0.1/b", base + "/c"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "ok");
  EXPECT_EQ(run.err, "error EClientError: IOHandler value is not valid\n");

  run = Start({base + "/c"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "error EHttpProtocolError: HTTP/1.1 404 Not Found\n");

  int closedPort = 0;
  {
    ScriptedServer gone;
    closedPort = gone.Port();
  }  // nothing listens on its port any more
  run = Start({"http://127.0.0.1:" + std::to_string(closedPort) + "/d"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "error ESocketError: Socket Error # 10061\\r\\nConnection refused.\n");
}

}  // namespace
}  // namespace kalvoran
