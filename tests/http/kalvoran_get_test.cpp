// The kalvoran-get tool's output and exit status, run as a process against
// the scripted server.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "loopback_socket.h"
#include "program_run.h"
#include "scripted_server.h"
#include "temp_dir.h"

namespace kalvoran {
namespace {

namespace fs = std::filesystem;
using test::ProgramRun;
using test::ReadFile;
using test::RunProgram;
using test::Script;
using test::ScriptedServer;
using test::TempDir;

class KalvoranGet : public testing::Test {
 protected:
  void SetUp() override { fs::create_directories(Bodies()); }
  std::string Bodies() const { return dir_.Path() + "/bodies"; }

  static ProgramRun Start(std::vector<std::string> args) {
    args.insert(args.begin(), KALVORAN_GET_PATH);
    return RunProgram(std::move(args));
  }

  TempDir dir_{"kalvoran-get"};
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
  const std::string base = server.Url();
  const ProgramRun run = Start({"-v", "-O", Bodies(), base + "/a", base + "/b"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err,
            "proxy none\n"
            "status 200 HTTP/1.1 200 OK\n"
            "begin wmRead 5 size=5\n"
            "work wmRead 5 size=5\n"
            "end wmRead\n"
            "proxy none\n"
            "status 200 HTTP/1.1 200 OK\n"
            "begin wmRead 2 size=2\n"
            "work wmRead 2 size=2\n"
            "end wmRead\n"
            "begin wmRead 1 size=3\n"
            "work wmRead 1 size=3\n"
            "end wmRead\n");
  EXPECT_EQ(ReadFile(Bodies() + "/1.body"), "hello");
  EXPECT_EQ(ReadFile(Bodies() + "/2.body"), "abc");
  EXPECT_EQ(server.AcceptedConnections(), 1);
  ASSERT_TRUE(server.WaitForFinished(1));
  EXPECT_NE(server.Received(0).find("Cookie: s=1\r\n"), std::string::npos);
}

TEST_F(KalvoranGet, StopsAtTheFirstErrorWithItsKindAndEscapedMessage) {
  ScriptedServer server;
  server.AddScript(Script().ReadHead().Send("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok"));
#if KALVORAN_GET_HAS_TLS
  // Plain HTTP where a TLS handshake was expected.
  server.AddScript(Script().Send("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok").Close());
  const std::string httpsError = "error ETlsError: TLS: handshake failed: wrong version number\n";
#else
  // Without the TLS layer an https address fails before anything connects.
  const std::string httpsError = "error EClientError: IOHandler value is not valid\n";
#endif
  server.AddScript(
      Script().ReadHead().Send("HTTP/1.1 404 Not Found\r\nContent-Length: 1\r\n\r\n!"));
  const std::string base = server.Url();
  ProgramRun run = Start({base + "/a", "https" + base.substr(4) + "/b", base + "/c"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "ok");
  EXPECT_EQ(run.err, httpsError);

  run = Start({base + "/c"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "error EHttpProtocolError: HTTP/1.1 404 Not Found\n");

  // Bound but not listening: the port refuses, and no other test's server
  // can take it meanwhile.
  const test::LoopbackSocket refusing;
  run = Start({"http://127.0.0.1:" + std::to_string(refusing.Port()) + "/d"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "error ESocketError: Socket Error # 10061\\r\\nConnection refused.\n");

  server.AddScript(Script().ReadHead().Send("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" +
                                            std::string(16341, 'x')));
  run = Start({"--retries", "0", base + "/f"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "error EConnClosedGracefully: Connection Closed Gracefully.\n");

  run = Start({"http://no-such-host.invalid/e"});  // a name that never resolves
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "error ESocketError: Socket Error # 11001\\r\\nHost not found.\n");
}

TEST_F(KalvoranGet, ResumesBrokenBodiesAndGivesUpOnSilentServers) {
  const std::string file = test::TestBytes(300000, 4), etag = "ETag: \"e\"\r\n";
  const Script cut = Script().ServeRange(file, etag, 100000), stall = Script().Pause(5000);
  struct Case {
    std::vector<std::string> args;  // the server's address follows, "https" if they end so
    std::vector<Script> scripts;
    std::string err;
  } cases[] = {
    {{"-O", Bodies()}, {cut, Script().ServeRange(file, etag)}, ""},
    {{},
     {cut, Script().ServeRange(file, "")},  // the whole body again
     "error EStreamError: Standard output cannot start the body over\n"},
    {{"--timeout", "1"}, {Script().ReadHead().Then(stall)}, "error EReadTimeout: Read Timeout\n"},
#if KALVORAN_GET_HAS_TLS
    {{"--timeout", "1", "https"}, {stall}, "error EConnectTimeout: Connect timed out.\n"},
#endif
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.err);
    ScriptedServer server;
    for (Script& script : c.scripts) server.AddScript(script);
    const std::string url = server.Url("/f");
    if (!c.args.empty() && c.args.back() == "https") {
      c.args.back() = "https" + url.substr(4);
    } else {
      c.args.push_back(url);
    }
    const auto start = std::chrono::steady_clock::now();
    const ProgramRun run = Start(c.args);
    EXPECT_EQ(run.status, c.err.empty() ? 0 : 1);
    EXPECT_EQ(run.err, c.err);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_TRUE(!c.err.empty() || ReadFile(Bodies() + "/1.body") == file);
  }
}

// Servers that never stop sending: whatever they announce or stream, the
// client keeps a bounded part and gives up. Run under an address-space limit
// (not with the sanitizers, whose shadow memory needs more than any limit).
TEST_F(KalvoranGet, EndlessAnswersCostBoundedMemoryAndTime) {
  const std::string pad = "X-Pad: " + std::string(200, 'p') + "\r\n";
  struct Case {
    const char* name;
    std::string head;
    std::string repeated;
    std::string err;
  } cases[] = {
      {"404 announcing 4 GB", "HTTP/1.1 404 Not Found\r\nContent-Length: 4000000000\r\n\r\n",
       std::string(4096, '\0'), "error EHttpProtocolError: HTTP/1.1 404 Not Found\n"},
      {"500 until the close", "HTTP/1.1 500 Oops\r\nConnection: close\r\n\r\n",
       std::string(4096, 'z'), "error EHttpProtocolError: HTTP/1.1 500 Oops\n"},
      {"header lines forever", "HTTP/1.1 200 OK\r\n", pad,
       "error EMaxLineLengthExceeded: Response head too large: more than 1 MiB or 10000 "
       "lines.\n"},
  };
#if defined(_WIN32)
  // No address-space limit on Windows; the working set, watched while the
  // program runs, shows the bound (a Wine process starts with some 8 MiB).
  const long rssLimitKiB = 32 * 1024;
#elif defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  const std::string limit = "ulimit -c 0";
  const long rssLimitKiB = 256 * 1024;
#else
  const std::string limit = "ulimit -v 262144";
  const long rssLimitKiB = 16 * 1024;
#endif
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedServer server(std::chrono::seconds(30));
    server.AddScript(Script().ReadHead().Send(c.head).SendRepeated(c.repeated, 0));
    const auto start = std::chrono::steady_clock::now();
#ifdef _WIN32
    const ProgramRun run = RunProgram({KALVORAN_GET_PATH, server.Url("/")});
#else
    const ProgramRun run = RunProgram(
        {"/bin/sh", "-c", limit + " && exec \"$0\" \"$@\"", KALVORAN_GET_PATH, server.Url("/")});
#endif
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, c.err);
    EXPECT_LT(run.peakRssKiB, rssLimitKiB);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  }
}

}  // namespace
}  // namespace kalvoran
