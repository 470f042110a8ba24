// Whole download jobs run by the window core, through the fake view: the
// view's event loop is the test's, which runs what the core posts and ticks
// the job timer while it runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "download_thread.h"
#include "fake_view.h"
#include "job_test_support.h"
#include "language_state.h"
#include "language_tables.h"
#include "loopback_socket.h"

namespace kalvoran {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

const std::string kFolder = "Kalvoran Downloader";

class JobSession : public ::testing::Test {
 protected:
  // Jobs save below the working directory: a fresh one for each test.
  void SetUp() override {
    previous_ = fs::current_path();
    fs::current_path(dir_.Path());
  }
  void TearDown() override { fs::current_path(previous_); }

  // DOWNLOAD with `key` against `host` for every server.
  static void Start(test::FakeView& view, const std::string& key, const std::string& host) {
    view.core.UseServers({{host, host, host}, host});
    view.key = key;
    view.core.Button1Click();
  }

  // A window's event loop: posted calls, and the job timer's ticks while it
  // runs, until `done` (at most 20 s).
  static bool RunUntil(test::FakeView& view, const std::function<bool()>& done) {
    for (int i = 0; i < 2000; ++i) {
      view.RunPosted();
      if (done()) return true;
      if (view.timer) view.core.Timer1Timer();
      std::this_thread::sleep_for(10ms);
    }
    return false;
  }

  test::TempDir dir_{"kalvoran-window-core"};
  fs::path previous_;
};

// One window, one job after another.
TEST_F(JobSession, EachJobEndsSayingHowItWentAndOpensWhatItShould) {
  const test::LoopbackSocket refusing;  // bound, never listening
  test::WriteFile("readme.txt", "beside the folder");
  // The window starts in German.
  const LanguageTable& german = *FindLanguage(kGerman);
  const std::string saved = "ShowMessage Kalvoran Downloader: " + german.msgSuccess;
  const auto key = test::KeyFor;
  struct Case {
    std::string what, key;
    bool served;
    std::string dialog, bar;
    Lines opened;
  };
  const std::vector<Case> cases = {
      {"its run file",
       key("0;noo;p;readme.txt;readme.txt"),
       true,
       saved,
       "SetBar 0/1000",
       {"OpenFile Kalvoran Downloader/readme.txt"}},
      {"a run file outside the folder",
       key("0;noo;p;readme.txt;../readme.txt"),
       true,
       saved,
       "SetBar 0/1000",
       {"OpenFolder " + kFolder}},
      {"a run file it did not save",
       key("0;noo;p;a.bin;missing.txt"),
       true,
       saved,
       "SetBar 0/1000",
       {"OpenFolder " + kFolder}},
      // Only line 1 of the key field is the key.
      {"no run file, a second line",
       key("0;noo;p;a.bin;") + "\nABCD",
       true,
       saved,
       "SetBar 0/1000",
       {"OpenFolder " + kFolder}},
      {"an unreadable key", "abc", false, "ShowError " + german.msgBadKey, "SetBar 0/1000", {}},
      {"a server that refuses",
       key("0;noo;p;a.bin;"),
       false,
       "ShowError " + german.msgInterrupted + "\n" + FailureText(german, JobFailure::kUnreachable),
       "SetBar 0/1000",
       {}},
  };
  test::FakeView view;
  view.core.FormCreate();
  Lines frames;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(kFolder);
    test::ScriptedServer server(60s);
    // A moment before the file, for the job timer to tick.
    server.AddScript(test::Script().ReadHead().Pause(60).Send(
        "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 1\r\n\r\nx"));
    server.AddScript(test::CountedReply(" Saved"));
    Start(view, c.key, "127.0.0.1:" + std::to_string(c.served ? server.Port() : refusing.Port()));
    ASSERT_TRUE(RunUntil(view, [&] { return view.core.CurrentWorker()->Terminated(); }));
    Lines dialogs, bars, opened;
    for (const std::string& line : view.Take()) {
      if (line.rfind("Show", 0) == 0) dialogs.push_back(line);
      if (line.rfind("SetBar", 0) == 0) bars.push_back(line);
      if (line.rfind("Open", 0) == 0) opened.push_back(line);
      if (line.rfind("SetPicture Image4", 0) == 0) frames.push_back(line);
    }
    EXPECT_EQ(dialogs, Lines{c.dialog});
    ASSERT_FALSE(bars.empty());
    EXPECT_EQ(bars.back(), c.bar);
    EXPECT_EQ(opened, c.opened);
    EXPECT_FALSE(view.timer);
    EXPECT_FALSE(fs::exists(kFolder + "/tmp.tmp"));
    ASSERT_TRUE(view.core.CurrentWorker()->WaitFor(20s));  // and the folder let go
  }
  // The activity animation goes on from one job to the next.
  ASSERT_GE(frames.size(), 8u);
  for (std::size_t k = 0; k < frames.size(); ++k) {
    EXPECT_EQ(frames[k], "SetPicture Image4 Activity" + std::to_string(k % 4));
  }
  // Over, with the key emptied: CLOSE asks nothing.
  view.ClearKey();
  view.Take();
  view.core.Button2Click();
  EXPECT_EQ(view.Take(), Lines{"CloseWindow"});
}

TEST_F(JobSession, AnInterruptedJobSaysWhyOnASecondLineInTheWindowsLanguage) {
  // Every language has its own text for every cause, and none for kNone.
  for (std::uint8_t language = 0; language < kLanguageCount; ++language) {
    const LanguageTable& table = *FindLanguage(language);
    std::set<std::string> texts;
    for (std::size_t cause = 0; cause < kJobFailureCount; ++cause) {
      texts.insert(FailureText(table, static_cast<JobFailure>(cause)));
    }
    EXPECT_EQ(texts.size(), kJobFailureCount) << table.langCode;
    EXPECT_EQ(*texts.begin(), "") << table.langCode;
  }
  const LanguageTable& en = *FindLanguage(kEnglish);
  const LanguageTable& sk = *FindLanguage(kSlovak);
  EXPECT_EQ(FailureText(en, JobFailure::kUnreachable),
            "The server could not be reached. Check your connection to the internet.");
  std::string huge = "HTTP/1.1 200 OK\r\n";  // a head the client will not read
  for (int i = 0; i < 10001; ++i) huge += "X: y\r\n";
  struct Case {
    LanguageIndex language;
    test::Script script;
    std::string dialog;
  };
  const std::vector<Case> cases = {
      {kEnglish, test::Script().ReadHead().Send("HTTP/1.1 500 Oops\r\n\r\n"),
       en.msgInterrupted + "\n" + FailureText(en, JobFailure::kServerError)},
      {kSlovak, test::Script().ReadHead().Send("HTTP/1.1 500 Oops\r\n\r\n"),
       sk.msgInterrupted + "\n" + FailureText(sk, JobFailure::kServerError)},
      {kSlovak, test::Script().ReadHead().Send(huge), sk.msgInterrupted},
  };
  test::FakeView view;
  view.core.FormCreate();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dialog);
    test::ScriptedServer server(60s);
    server.AddScript(c.script);
    view.core.Preklad(c.language);
    Start(view, test::KeyFor("0;noo;p;a.bin;"), server.HostPort());
    ASSERT_TRUE(RunUntil(view, [&] { return view.core.CurrentWorker()->Terminated(); }));
    const Lines log = view.Take();
    EXPECT_EQ(std::count(log.begin(), log.end(), "ShowError " + c.dialog), 1);
    ASSERT_TRUE(view.core.CurrentWorker()->WaitFor(20s));
  }
}

TEST_F(JobSession, ClosingDuringAJobAsksOnlyOnCloseAndEndsTheJob) {
  struct Case {
    const char* what;
    bool byCloseButton, answerYes, asks, closes;
  };
  const std::vector<Case> cases = {
      {"CLOSE answered No", true, false, true, false},
      {"CLOSE answered Yes", true, true, true, true},
      {"the window manager", false, false, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::ScriptedServer server(60s);
    server.AddScript(test::Script().ReadHead().Signal().WaitForRelease().Close());
    test::FakeView view;
    view.core.FormCreate();
    Start(view, test::KeyFor("0;noo;p;a.bin;"), server.HostPort());
    ASSERT_TRUE(RunUntil(view, [&] { return server.Signals() == 1 && view.timer; }));
    ASSERT_TRUE(fs::exists(kFolder + "/tmp.tmp"));
    view.Take();
    view.answerYes = c.answerYes;
    if (c.byCloseButton) {
      view.core.Button2Click();
    } else {
      view.CloseWindow();
    }
    const Lines log = view.Take();
    EXPECT_EQ(!log.empty() && log[0] == "AskWarning " + MsgConfirmClose(), c.asks);
    EXPECT_EQ(view.closed, c.closes);
    if (c.closes) {
      // The worker is gone, its thread joined, and nothing is left behind.
      EXPECT_EQ(view.core.CurrentWorker(), nullptr);
      EXPECT_FALSE(fs::exists(kFolder + "/tmp.tmp"));
      EXPECT_FALSE(view.timer);
    } else {
      EXPECT_EQ(view.core.CurrentWorker()->ReturnValue.load(), -1);
      EXPECT_TRUE(view.timer);
    }
    server.Release();
  }
}

// The job ends while CLOSE's question is open: the question goes as if
// answered No, then the end dialog shows alone, and nothing stays open.
TEST_F(JobSession, AJobEndingWhileCloseAsksWithdrawsTheQuestionFirst) {
  test::ScriptedServer server(60s);
  server.AddScript(test::Script().ReadHead().Signal().WaitForRelease().Send(
      "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 1\r\n\r\nx"));
  server.AddScript(test::CountedReply(" Saved"));
  test::FakeView view;
  view.core.FormCreate();
  Start(view, test::KeyFor("0;noo;p;a.bin;"), server.HostPort());
  ASSERT_TRUE(RunUntil(view, [&] { return server.Signals() == 1 && view.timer; }));
  view.answerYes = true;  // what the user would have answered, too late
  view.duringQuestion = [&] {
    server.Release();
    ASSERT_TRUE(view.core.CurrentWorker()->WaitFor(20s));
    view.core.Timer1Timer();  // the timer ticks on while a dialog is open
  };
  view.Take();
  view.core.Button2Click();
  EXPECT_EQ(view.Take(), (Lines{"AskWarning " + MsgConfirmClose(), "WithdrawQuestion"}));
  EXPECT_FALSE(view.closed);
  view.duringQuestion = nullptr;
  ASSERT_TRUE(RunUntil(view, [&] { return view.core.CurrentWorker()->Terminated(); }));
  const Lines log = view.Take();
  EXPECT_EQ(std::count(log.begin(), log.end(), "ShowMessage Kalvoran Downloader: " + MsgSuccess()),
            1);
  EXPECT_EQ(std::count_if(log.begin(), log.end(),
                          [](const std::string& l) { return l.rfind("AskWarning", 0) == 0; }),
            0);
  EXPECT_FALSE(view.closed);
}

}  // namespace
}  // namespace kalvoran
