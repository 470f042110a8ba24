// Downloads on bad networks: a body that breaks off is asked for again from
// where it broke, and no request waits for ever on a silent server.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "job_test_support.h"
#include "loopback_socket.h"

namespace kalvoran {
namespace {

using namespace std::chrono_literals;
using namespace test;
using Names = std::vector<std::string>;

const std::string kFile = TestBytes(1 << 20, 7);
const std::string kETag = "ETag: \"v1\"\r\n";

// The start of the range connection i asked for; -1 for none.
long long RangeAsked(const ScriptedServer& server, int connection) {
  std::smatch m;
  const std::string head = server.Received(connection);
  return std::regex_search(head, m, std::regex("\r\nRange: bytes=([0-9]+)-\r\n"))
             ? std::stoll(m[1].str())
             : -1;
}

// One job for one file, f.bin, from a scripted server, with short time-outs
// and waits.
struct ResumeJob {
  ResumeJob() {
    options.Servers.DownloadServers = {server.HostPort(), "", ""};
    options.ReadTimeout = 300ms;
    options.ConnectTimeout = 300ms;
    options.ShortReplyTimeout = 1s;
    options.ResumeWaits = {10ms};
  }
  int Run() {
    TDownloadThread worker(window, options);
    worker.Start();
    EXPECT_TRUE(worker.WaitFor(20s));
    return worker.ReturnValue;
  }
  std::string Saved() const { return ReadFile(dir.Folder() + "/f.bin"); }

  WorkingDir dir;
  ScriptedServer server{30s};
  HeadlessWindow window{KeyFor("0;noo;p;f.bin;")};
  DownloadJobOptions options = test::OptionsFor(server, dir);
};

TEST(Resume, ABodyBrokenAnywhereGoesOnWhereItBroke) {
  enum Fault { kClose, kReset, kStall };
  const std::string validators[] = {kETag, "Last-Modified: Tue, 08 Dec 2026 10:00:00 GMT\r\n", ""};
  int row = 0;
  for (const Fault fault : {kClose, kReset, kStall}) {
    for (const std::size_t cut : {std::size_t{0}, std::size_t{40000}, kFile.size() - 1}) {
      SCOPED_TRACE(testing::Message() << "fault " << fault << " after " << cut << " bytes");
      const std::string& validator = validators[row++ % 3];
      ResumeJob test;
      Script broken = Script().ServeRange(kFile, validator, cut);
      test.server.AddScript(fault == kClose   ? broken.Close()
                            : fault == kReset ? broken.Reset()
                                              : broken.Pause(3000).Close());
      test.server.AddScript(Script().ServeRange(kFile, validator).Close());
      test.server.AddScript(CountedReply(" Saved"));

      EXPECT_EQ(test.Run(), 0);
      EXPECT_TRUE(test.Saved() == kFile);
      // Nothing asked twice but the block that was on its way (a reset
      // also throws away what the client had not read yet).
      const long long asked = RangeAsked(test.server, 1);
      EXPECT_LE(asked, static_cast<long long>(cut));
      EXPECT_TRUE(fault == kReset || asked > static_cast<long long>(cut) - 32768 - 1);
      const std::string ifRange = validator.empty() ? "" : validator.substr(validator.find(' '));
      EXPECT_EQ(test.server.Received(1).find("\r\nIf-Range:" + ifRange) != std::string::npos,
                !validator.empty() && asked > 0);
      EXPECT_FALSE(test.window.countWentBack);
      EXPECT_EQ(test.window.beginTags.size(), asked > 0 ? 1u : 2u);
    }
  }
}

// What the answers after a break at 40000 bytes make of the file, and
// servers that go silent: every job ends, within the short time-outs.
TEST(Resume, EveryAnswerAfterABreakEndsTheJobAsItShould) {
  const std::string changed = TestBytes(kFile.size() + 5, 8), steady = std::string(10000, 's');
  const Script broken = Script().ServeRange(kFile, kETag, 40000), silent = Script().Pause(5000);
  Script slow = Script().ReadHead().Send("HTTP/1.1 200 OK\r\nContent-Length: 10000\r\n\r\n");
  Script dripping = Script().ReadHead().Send("HTTP/1.1 200 OK\r\nContent-Length: 99\r\n\r\n");
  for (int i = 0; i < 30; ++i) {
    if (i < 10) slow.Pause(100).Send(steady.substr(0, 1000));
    dripping.Pause(150).Send("d");
  }
  const Script saved = CountedReply(" Saved"), rest = Script().ServeRange(kFile, kETag);
  struct Case {
    const char* name;
    std::vector<Script> scripts;  // for the connections in turn
    const std::string* file;      // what is saved; nullptr: nothing, result 2
    int begins;                   // work-begins that reach the bar
  } cases[] = {
      {"ranges ignored", {broken, CountedReply(kFile), saved}, &kFile, 2},
      {"file changed",
       {broken, Script().ServeRange(changed, "ETag: \"v2\"\r\n"), saved},
       &changed,
       2},
      {"range refused",
       {broken, Script().ReadHead().Send("HTTP/1.1 416 No\r\nContent-Length: 3\r\n\r\nno!"), rest,
        saved},
       &kFile,
       2},
      {"another length", {broken, Script().ServeRange(changed, kETag), rest, saved}, &kFile, 2},
      {"error status", {broken, Script().ReadHead().Send("HTTP/1.1 503 Busy\r\n\r\n")}, nullptr, 1},
      {"no answer any more", {broken, {}, {}, {}, {}, {}}, nullptr, 1},
      {"no head", {Script().ReadHead().Then(silent)}, nullptr, 0},
      {"slow but steady", {slow, saved}, &steady, 1},
      {"statistics silent", {rest, Script().ReadHead().Then(silent)}, &kFile, 1},
      {"statistics dripping", {rest, dripping}, &kFile, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ResumeJob test;
    for (const Script& script : c.scripts) test.server.AddScript(script);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(test.Run(), c.file ? 0 : 2);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2500ms);
    EXPECT_EQ(FolderEntries(test.dir), c.file ? Names{"f.bin"} : Names{});
    EXPECT_TRUE(!c.file || test.Saved() == *c.file);
    EXPECT_EQ(test.server.AcceptedConnections(), static_cast<int>(c.scripts.size()));
    EXPECT_EQ(test.window.beginTags.size(), static_cast<std::size_t>(c.begins));
    // Refused or another length: all of it again, without a range.
    EXPECT_TRUE(c.scripts.size() != 4 || RangeAsked(test.server, 2) == -1);
  }
}

TEST(Resume, AServerRefusingForAMomentIsWaitedFor) {
  ResumeJob job;
  job.options.ResumeWaits = {100ms, 100ms, 1s};
  const int port = job.server.Port();
  job.server.AddScript(Script().ServeRange(kFile, kETag, 40000).Close());
  TDownloadThread worker(job.window, job.options);
  worker.Start();
  ASSERT_TRUE(job.server.WaitForFinished(1));
  job.server.Stop();
  {
    const LoopbackSocket refusing(port);  // for a moment, and no other test takes the port
    std::this_thread::sleep_for(300ms);
  }
  ScriptedServer back(30s, port);
  back.AddScript(Script().ServeRange(kFile, kETag).Close());
  back.AddScript(CountedReply(" Saved"));
  ASSERT_TRUE(worker.WaitFor(20s));
  EXPECT_EQ(worker.ReturnValue, 0);
  EXPECT_TRUE(job.Saved() == kFile);
}

TEST(Resume, ClosingTheProgramEndsTheWaitBeforeATry) {
  ResumeJob job;
  job.options.ResumeWaits = {30s};
  job.server.AddScript(Script().ServeRange(kFile, kETag, 40000).Close());
  auto worker = std::make_unique<TDownloadThread>(job.window, job.options);
  worker->Start();
  ASSERT_TRUE(job.server.WaitForConnections(2));  // the first try came at once; a wait is next
  const auto start = std::chrono::steady_clock::now();
  worker.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
  EXPECT_EQ(FolderEntries(job.dir), Names{});
}

}  // namespace
}  // namespace kalvoran
