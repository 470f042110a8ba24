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

TEST(Resume, WhatTheServerAnswersToTheRestDecidesWhatIsSaved) {
  const std::string changed = TestBytes(kFile.size() + 5, 8);
  struct Case {
    const char* name;
    std::vector<Script> after;  // the scripts after the one broken at 40000 bytes
    int result;
    const std::string* saved;  // nullptr: no file
    int connections;
  } cases[] = {
      {"ranges ignored", {CountedReply(kFile)}, 0, &kFile, 3},
      {"file changed", {Script().ServeRange(changed, "ETag: \"v2\"\r\n").Close()}, 0, &changed, 3},
      {"range refused",
       {Script().ReadHead().Send("HTTP/1.1 416 No\r\nContent-Length: 3\r\n\r\nno!").Close(),
        Script().ServeRange(kFile, kETag).Close()},
       0,
       &kFile,
       4},
      {"another length",
       {Script().ServeRange(changed, kETag), Script().ServeRange(kFile, "")},
       0,
       &kFile,
       4},
      {"error status",
       {Script().ReadHead().Send("HTTP/1.1 503 Busy\r\n\r\n").Close()},
       2,
       nullptr,
       2},
      {"no answer any more", {}, 2, nullptr, 6},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    ResumeJob test;
    test.options.ResumeTries = 5;
    test.server.AddScript(Script().ServeRange(kFile, kETag, 40000).Close());
    for (Script& s : c.after) test.server.AddScript(s);
    if (c.result == 0) test.server.AddScript(CountedReply(" Saved"));

    EXPECT_EQ(test.Run(), c.result);
    EXPECT_EQ(FolderEntries(test.dir), c.saved ? Names{"f.bin"} : Names{});
    EXPECT_TRUE(!c.saved || test.Saved() == *c.saved);
    EXPECT_EQ(test.server.AcceptedConnections(), c.connections);
    // The bar starts anew for the whole file only, never for an error's body.
    EXPECT_EQ(test.window.beginTags.size(), c.result == 0 ? 2u : 1u);
    EXPECT_TRUE(c.connections != 4 || RangeAsked(test.server, 2) == -1);  // all of it again
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
  job.server.Stop();  // refused from here on, for a moment
  std::this_thread::sleep_for(300ms);
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

TEST(Resume, SilentServersEndTheJobWithinTheTimeOuts) {
  const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 10000\r\n\r\n";
  Script steady = Script().ReadHead().Send(head);
  Script dripping = Script().ReadHead().Send("HTTP/1.1 200 OK\r\nContent-Length: 99\r\n\r\n");
  for (int i = 0; i < 30; ++i) {
    if (i < 10) steady.Pause(100).Send(std::string(1000, 's'));
    dripping.Pause(150).Send("d");
  }
  struct Case {
    const char* name;
    Script file;
    Script stats;
    int result;
  } cases[] = {
      {"no head", Script().ReadHead().Pause(5000), Script(), 2},
      {"slow but steady", steady, CountedReply(" Saved"), 0},
      {"statistics silent", Script().ServeRange("x", ""), Script().ReadHead().Pause(5000), 0},
      {"statistics dripping", Script().ServeRange("x", ""), dripping, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ResumeJob test;
    test.server.AddScript(c.file);
    test.server.AddScript(c.stats);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(test.Run(), c.result);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2500ms);
    EXPECT_EQ(test.server.AcceptedConnections(), 2 - c.result / 2);
  }
}

}  // namespace
}  // namespace kalvoran
