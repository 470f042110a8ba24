// Reading lines and bodies through the connection, against the scripted server.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>

#include "connection.h"
#include "connection_test_helpers.h"
#include "errors.h"
#include "file_stream.h"
#include "memory_stream.h"
#include "scripted_server.h"
#include "temp_dir.h"

namespace kalvoran {
namespace {

using test::Script;
using test::ScriptedServer;
using test::WorkEvent;

const std::string kHead = "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n";

std::string Body(std::size_t size) {
  std::string body(size, '\0');
  for (std::size_t i = 0; i < size; ++i) body[i] = static_cast<char>('a' + i % 23);
  return body;
}

// Reads the head lines up to the empty one.
void ReadHead(Connection& c) {
  while (!c.ReadLn().empty()) {
  }
}

struct TargetKind {
  const char* name;
  bool file;
};

class CountedBody : public testing::TestWithParam<TargetKind> {
 protected:
  void SetUp() override {
    if (GetParam().file) {
      path_ = dir_.Path() + "/body.tmp";
      target_ = std::make_unique<FileStream>(path_, FileStream::OpenMode::kCreateNew);
    } else {
      target_ = std::make_unique<MemoryStream>();
    }
  }
  void TearDown() override { target_.reset(); }
  std::string Written() {
    if (auto* memory = dynamic_cast<MemoryStream*>(target_.get())) return memory->Data();
    static_cast<FileStream*>(target_.get())->Close();
    std::string bytes(std::filesystem::file_size(path_), '\0');
    FILE* f = std::fopen(path_.c_str(), "rb");
    EXPECT_EQ(std::fread(bytes.data(), 1, bytes.size(), f), bytes.size());
    std::fclose(f);
    return bytes;
  }

  // The head and the first 1000 body bytes at once, the rest only once the
  // test releases the server.
  static Script HeadThenRestOnRelease(const std::string& body) {
    return Script().Send(kHead + body.substr(0, 1000)).WaitForRelease().Send(body.substr(1000));
  }
  // Connects, reads the head and records the read events into `events`. At
  // work begin `atBegin` runs, then the server may go on.
  void ConnectAndRecord(Connection& c, ScriptedServer& server, std::vector<WorkEvent>& events,
                        std::function<void()> atBegin = {}) {
    c.Connect("127.0.0.1", server.Port(), 0);
    ReadHead(c);
    test::RecordEvents(c, *target_, events, [&server, atBegin](char kind) {
      if (kind != 'B') return;
      if (atBegin) atBegin();
      server.Release();
    });
  }

  test::TempDir dir_{"kalvoran-body"};
  std::string path_;
  std::unique_ptr<Stream> target_;
};

// 1000 body bytes come with the head; the rest only once the read has begun.
TEST_P(CountedBody, FiresOneEventPerBlockWithTheTargetAtItsFinalSizeThroughout) {
  ScriptedServer server;
  const std::string body = Body(100000);
  server.AddScript(HeadThenRestOnRelease(body).WaitForClientClose());
  Connection c;
  std::vector<WorkEvent> events;
  ConnectAndRecord(c, server, events);
  ASSERT_TRUE(server.WaitForConnections(1));
  c.ReadStream(*target_, 100000, false);

  std::vector<WorkEvent> expected = {
      {'B', 100000, 100000}, {'W', 1000, 100000},   {'W', 33768, 100000}, {'W', 66536, 100000},
      {'W', 99304, 100000},  {'W', 100000, 100000}, {'E', 0, 100000}};
  EXPECT_EQ(events, expected);
  EXPECT_EQ(target_->Position(), 100000);
  EXPECT_TRUE(Written() == body);
}

TEST_P(CountedBody, PeerClosingMidwayKeepsTheWholeBlocksAndCutsTheTarget) {
  ScriptedServer server;
  const std::string body = Body(50000);
  server.AddScript(HeadThenRestOnRelease(body).Close());
  Connection c;
  std::vector<WorkEvent> events;
  ConnectAndRecord(c, server, events);
  EXPECT_THROW(c.ReadStream(*target_, 100000, false), EConnClosedGracefully);

  std::vector<WorkEvent> expected = {
      {'B', 100000, 100000}, {'W', 1000, 100000}, {'W', 33768, 100000}, {'E', 0, 100000}};
  EXPECT_EQ(events, expected);
  EXPECT_EQ(target_->Size(), 33768);
  EXPECT_TRUE(Written() == body.substr(0, 33768));
  EXPECT_FALSE(c.Connected());
}

TEST_P(CountedBody, UntilCloseWritesTheTailWithoutAnEvent) {
  ScriptedServer server;
  const std::string body = Body(40000);
  server.AddScript(Script().Send("HTTP/1.0 200 OK\r\n\r\n").WaitForRelease().Send(body).Close());
  Connection c;
  std::vector<WorkEvent> events;
  ConnectAndRecord(c, server, events);
  c.ReadStream(*target_, -1, true);

  // A block is counted as it leaves the buffer, then written.
  std::vector<WorkEvent> expected = {{'B', 0, 0}, {'W', 32768, 0}, {'E', 0, 40000}};
  EXPECT_EQ(events, expected);
  EXPECT_TRUE(Written() == body);
}

TEST_P(CountedBody, DisconnectFromWorkBeginKeepsOnlyWhatCameWithTheHead) {
  ScriptedServer server;
  const std::string body = Body(100000);
  server.AddScript(HeadThenRestOnRelease(body).WaitForClientClose());
  Connection c;
  std::vector<WorkEvent> events;
  ConnectAndRecord(c, server, events, [&c] { c.Disconnect(); });
  c.ReadStream(*target_, 100000, false);  // no error

  std::vector<WorkEvent> expected = {{'B', 100000, 100000}, {'W', 1000, 100000}, {'E', 0, 100000}};
  EXPECT_EQ(events, expected);
  EXPECT_TRUE(Written() == body.substr(0, 1000));
  EXPECT_FALSE(c.Connected());
  EXPECT_TRUE(server.WaitForFinished(1));
}

INSTANTIATE_TEST_SUITE_P(Targets, CountedBody,
                         testing::Values(TargetKind{"Memory", false}, TargetKind{"File", true}),
                         [](const auto& info) { return std::string(info.param.name); });

struct LineCase {
  const char* name;
  std::string sent;
  bool bytewise;
  std::vector<std::string> lines;  // expected, in order
  bool tooLong;                    // the last ReadLn fails with the line limit
};

class ReadLine : public testing::TestWithParam<LineCase> {};

TEST_P(ReadLine, ReadsAsExpected) {
  const LineCase& tc = GetParam();
  ScriptedServer server;
  Script script;
  if (tc.bytewise) {
    script.SendBytewise(tc.sent);
  } else {
    script.Send(tc.sent);
  }
  server.AddScript(script.WaitForClientClose());
  Connection c;
  c.Connect("localhost", server.Port(), 0);
  for (const auto& line : tc.lines) EXPECT_EQ(c.ReadLn(), line);
  if (tc.tooLong) {
    try {
      c.ReadLn();
      ADD_FAILURE() << "the over-long line was read";
    } catch (const EMaxLineLengthExceeded& e) {
      EXPECT_STREQ(e.what(), "Max line length exceeded.");
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ReadLine,
    testing::Values(LineCase{"CrLfAndLfAlikeLoneCrKept",
                             "one\r\ntwo\nth\rree\r\n\r\n",
                             false,
                             {"one", "two", "th\rree", ""},
                             false},
                    LineCase{"ArrivingByteByByte",
                             "GET / HTTP/1.1\r\nHost: x\r\n",
                             true,
                             {"GET / HTTP/1.1", "Host: x"},
                             false},
                    LineCase{"LongestLineWithCr",
                             std::string(16383, 'x') + "\r\nnext\r\n",
                             false,
                             {std::string(16383, 'x'), "next"},
                             false},
                    LineCase{"LongestLineWithoutCr",
                             std::string(16384, 'x') + "\nnext\n",
                             false,
                             {std::string(16384, 'x'), "next"},
                             false},
                    LineCase{"OneOverTheLimitCountingTheCr",
                             "ok\r\n" + std::string(16384, 'x') + "\r\n",
                             false,
                             {"ok"},
                             true},
                    LineCase{
                        "OverTheLimitWithoutLineEnd", std::string(20000, 'x'), false, {}, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReadLineLimit, EndlessBytesWithoutLineEndFailWithBoundedMemory) {
  ScriptedServer server;
  server.AddScript(Script().SendRepeated("abcdefgh", 0));
  Connection c;
  c.Connect("127.0.0.1", server.Port(), 0);
  EXPECT_THROW(c.ReadLn(), EMaxLineLengthExceeded);
  EXPECT_LE(c.InputBufferSize(), 16384u + 32768u);
  c.Disconnect();
}

TEST(ReadLineLimit, SplitHandsOutTheLineInPieces) {
  ScriptedServer server;
  server.AddScript(Script().Send("abcdefghij\r\n").WaitForClientClose());
  Connection c;
  c.MaxLineAction = maSplit;
  c.Connect("127.0.0.1", server.Port(), 0);
  EXPECT_EQ(c.ReadLn(-1, 4), "abcd");
  EXPECT_TRUE(c.ReadLnSplit());
  EXPECT_EQ(c.ReadLn(-1, 4), "efgh");
  EXPECT_EQ(c.ReadLn(-1, 4), "ij");
  EXPECT_FALSE(c.ReadLnSplit());
}

// What a status line read meets when the peer goes away at various points.
struct PeerEndCase {
  const char* name;
  Script script;
  std::string firstError;   // the Kind() of the first ReadLn's error, "" = none
  std::string secondError;  // the same for a second ReadLn
};

class PeerEnd : public testing::TestWithParam<PeerEndCase> {};

TEST_P(PeerEnd, EndsTheReadWithTheRightError) {
  const PeerEndCase& tc = GetParam();
  if (tc.firstError == "ESocketError" && !test::ResetsReachTheClient()) {
    GTEST_SKIP() << "resets arrive as orderly closes here";
  }
  auto kindOf = [](Connection& c) -> std::string {
    try {
      c.ReadLn();
      return "";
    } catch (const HttpError& e) {
      return e.Kind();
    }
  };
  const int before = test::OpenDescriptors();
  {
    ScriptedServer server;
    server.AddScript(Script().WaitForRelease().Then(tc.script));
    Connection c;
    c.Connect("127.0.0.1", server.Port(), 0);
    server.Release();  // a reset before the connect completes would fail the connect
    EXPECT_EQ(kindOf(c), tc.firstError);
    EXPECT_EQ(kindOf(c), tc.secondError);
    EXPECT_FALSE(c.Connected());
  }
  EXPECT_EQ(test::OpenDescriptors(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Ends, PeerEnd,
    testing::Values(PeerEndCase{"CloseBeforeAnything", Script().Close(), "EConnClosedGracefully",
                                "EConnClosedGracefully"},
                    // The partial line comes back empty and stays buffered.
                    PeerEndCase{"CloseInsideTheLine", Script().Send("HTTP/1.1 20").Close(), "",
                                "ENotConnected"},
                    PeerEndCase{"ResetBeforeAnything", Script().Reset(), "ESocketError",
                                "EConnClosedGracefully"}),
    [](const auto& info) { return std::string(info.param.name); });

// A peer that goes away in the middle of a body ends the read as it should
// and leaves no descriptor behind.
TEST(PeerGoesAway, MidBodyEndsTheReadCleanly) {
  struct Case {
    bool reset;
    bool untilClose;
    std::string error;  // Kind() of the read's error, "" = none
  };
  const std::string body = Body(70000);
  for (const Case& tc :
       {Case{false, false, "EConnClosedGracefully"}, Case{true, false, "ESocketError"},
        Case{false, true, ""}, Case{true, true, "ESocketError"}}) {
    if (tc.reset && !test::ResetsReachTheClient()) continue;
    const int before = test::OpenDescriptors();
    {
      ScriptedServer server;
      Script script;
      script.WaitForRelease().Send(body).Pause(20);
      server.AddScript(tc.reset ? script.Reset() : script.Close());
      Connection c;
      c.Connect("127.0.0.1", server.Port(), 0);
      server.Release();
      MemoryStream target;
      std::string error;
      try {
        c.ReadStream(target, tc.untilClose ? -1 : 100000, tc.untilClose);
      } catch (const HttpError& e) {
        error = e.Kind();
      }
      EXPECT_EQ(error, tc.error) << "reset " << tc.reset << ", until close " << tc.untilClose;
      EXPECT_EQ(target.Size(), target.Position());
      EXPECT_TRUE(target.Data() == body.substr(0, target.Data().size()));
      if (!tc.reset) {
        EXPECT_EQ(target.Size(), tc.untilClose ? 70000 : 65536);
      }
    }
    EXPECT_EQ(test::OpenDescriptors(), before);
  }
}

}  // namespace
}  // namespace kalvoran
