// Opening, writing, noticing closes and cross-thread Disconnect.
#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>

#include "connection.h"
#include "connection_test_helpers.h"
#include "errors.h"
#include "loopback_socket.h"
#include "memory_stream.h"
#include "scripted_server.h"
#include "socket_platform.h"

namespace kalvoran {
namespace {

using test::Script;
using test::ScriptedServer;

// A loopback port that refuses: bound, but not listening.
using RefusingPort = test::LoopbackSocket;

TEST(Resolve, LocalhostInAnyCaseAndDottedQuadsNeedNoLookup) {
  struct Case {
    const char* host;
    const char* address;
  };
  for (const Case& tc : {Case{"LOCALHOST", "127.0.0.1"}, Case{"LocalHost", "127.0.0.1"},
                         Case{"10.20.30.40", "10.20.30.40"}, Case{"0.0.0.255", "0.0.0.255"}}) {
    std::string address;
    EXPECT_EQ(net::ResolveHost(tc.host, address), 0) << tc.host;
    EXPECT_EQ(address, tc.address) << tc.host;
  }
  std::string address;
  EXPECT_EQ(net::ResolveHost("", address), 11001);
  EXPECT_EQ(net::ResolveHost(std::string("local\0host", 10), address), 11001);
}

struct ConnectFailure {
  const char* name;
  std::string host;  // "" = a refusing loopback port
  int code;
  const char* message;
};

class ConnectFails : public testing::TestWithParam<ConnectFailure> {};

TEST_P(ConnectFails, WithTheSocketErrorAndLeavesNoDescriptor) {
  const ConnectFailure& tc = GetParam();
  RefusingPort refusing;
  const int before = test::OpenDescriptors();
  Connection c;
  try {
    c.Connect(tc.host.empty() ? "127.0.0.1" : tc.host, refusing.Port(), 0);
    ADD_FAILURE() << "connected";
  } catch (const ESocketError& e) {
    EXPECT_EQ(e.Code(), tc.code);
    EXPECT_STREQ(e.what(), tc.message);
  }
  EXPECT_FALSE(c.Connected());
  EXPECT_THROW(c.ReadLn(), EConnClosedGracefully);
  EXPECT_EQ(test::OpenDescriptors(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, ConnectFails,
    testing::Values(ConnectFailure{"Unresolvable", "no-such-host.invalid", 11001,
                                   "Socket Error # 11001\r\nHost not found."},
                    ConnectFailure{"Refused", "", 10061,
                                   "Socket Error # 10061\r\nConnection refused."}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ScriptedServerStop, RefusesLaterConnectionsInsteadOfLeavingThemQueued) {
  test::ScriptedServer server;
  const int port = server.Port();
  server.Stop();
  Connection c;
  try {
    c.Connect("127.0.0.1", port, 0);
    ADD_FAILURE() << "a stopped server still took the connection";
  } catch (const ESocketError& e) {
    EXPECT_EQ(e.Code(), 10061);
  }
}

TEST(Connect, WithItsOwnLimitTimesOutOnAPeerThatNeverAnswers) {
  // A listener whose queue is full drops further connection requests.
  test::LoopbackSocket listener;
  ASSERT_TRUE(listener.Listen(0));
  for (int i = 0; i < 4; ++i) listener.StartConnect(listener.Port());
  Connection c;
  try {
    c.Connect("127.0.0.1", listener.Port(), 300);
    ADD_FAILURE() << "connected";
  } catch (const EConnectTimeout& e) {
    EXPECT_STREQ(e.what(), "Connect timed out.");
  }
  EXPECT_FALSE(c.Connected());
}

TEST(Connect, ReportsItsStepsWithTheirTexts) {
  ScriptedServer server;
  server.AddScript(Script().WaitForClientClose());
  Connection c;
  std::vector<std::string> texts;
  c.OnStatus = [&](int, const std::string& text) { texts.push_back(text); };
  int hooks = 0;
  c.OnDisconnected = [&] { ++hooks; };
  c.Connect("localhost", server.Port(), 0);
  c.Disconnect();
  c.Disconnect();  // harmless
  std::vector<std::string> expected = {"Resolving hostname localhost.",
                                       "Connecting to 127.0.0.1.",
                                       "Connected.",
                                       "Disconnecting.",
                                       "Disconnected.",
                                       "Disconnecting.",
                                       "Disconnected."};
  EXPECT_EQ(texts, expected);
  EXPECT_EQ(hooks, 2);
}

TEST(Write, BufferedHeadGoesOutInOneSend) {
  ScriptedServer server;
  server.AddScript(Script().ReadHead().Close());
  Connection c;
  c.Connect("127.0.0.1", server.Port(), 0);
  std::vector<std::int64_t> sends;
  c.OnWork = [&](TWorkMode mode, std::int64_t count) {
    if (mode == wmWrite) sends.push_back(count);
  };
  c.BeginWork(wmWrite, 0);
  c.OpenWriteBuffer();
  c.WriteLn("GET / HTTP/1.1");
  c.WriteLn("Host: example");
  c.WriteLn("");
  EXPECT_TRUE(sends.empty());
  c.CloseWriteBuffer();
  c.EndWork(wmWrite);
  EXPECT_EQ(sends, std::vector<std::int64_t>{33});
  ASSERT_TRUE(server.WaitForFinished(1));
  EXPECT_EQ(server.Received(0), "GET / HTTP/1.1\r\nHost: example\r\n\r\n");
}

TEST(Write, ToAPeerThatResetFailsWithoutKillingTheProcess) {
  ScriptedServer server;
  server.AddScript(Script().WaitForRelease().Reset());
  Connection c;
  c.Connect("127.0.0.1", server.Port(), 0);
  server.Release();
  ASSERT_TRUE(server.WaitForFinished(1));
  const std::string chunk(65536, 'x');
  std::string kind;
  for (int i = 0; i < 100 && kind.empty(); ++i) {
    try {
      c.Write(chunk);
    } catch (const HttpError& e) {
      kind = e.Kind();
    }
  }
  EXPECT_TRUE(kind == "ESocketError" || kind == "EConnClosedGracefully") << kind;
}

TEST(Write, WithoutAConnectionIsNotConnected) {
  Connection c;
  EXPECT_THROW(c.Write("x"), ENotConnected);
  EXPECT_THROW(c.ReadLn(), ENotConnected);
  EXPECT_FALSE(c.Connected());
}

// An idle kept connection that the peer closed or reset is noticed by the
// 1 ms poll, without an error, so that the next request reconnects.
TEST(IdleConnection, PollNoticesCloseAndResetQuietly) {
  struct Case {
    const char* name;
    Script script;
    bool stillOpen;
  };
  for (const Case& tc : {Case{"close", Script().WaitForRelease().Close(), false},
                         Case{"reset", Script().WaitForRelease().Reset(), false},
                         Case{"quiet", Script().WaitForClientClose(), true}}) {
    ScriptedServer server;
    server.AddScript(tc.script);
    Connection c;
    int hooks = 0;
    c.OnDisconnected = [&] { ++hooks; };
    c.Connect("127.0.0.1", server.Port(), 0);
    server.Release();  // a reset before the connect completes would fail the connect
    if (!tc.stillOpen) {
      ASSERT_TRUE(server.WaitForFinished(1));
    }
    EXPECT_NO_THROW(c.CheckForGracefulDisconnect()) << tc.name;
    EXPECT_EQ(c.Connected(), tc.stillOpen) << tc.name;
    EXPECT_EQ(hooks, tc.stillOpen ? 0 : 1) << tc.name;
  }
}

// Another thread disconnects while the requester waits in a read, at varying
// moments; the requester always comes back with a connection error (or
// early), and nothing is used after release or left open.
TEST(CrossThreadDisconnect, DuringBlockedReadsIsSafeAndLeaksNothing) {
  constexpr int kRounds = 200;
  const int before = test::OpenDescriptors();
  {
    ScriptedServer server(std::chrono::seconds(60));
    for (int i = 0; i < kRounds; ++i) {
      server.AddScript(Script().Send("HTTP/1.1 200 OK\r\nPartial").WaitForClientClose());
    }
    const std::set<std::string> allowed = {"", "EConnClosedGracefully", "ENotConnected",
                                           "EReadTimeout", "ESocketError"};
    for (int i = 0; i < kRounds; ++i) {
      Connection c;
      c.Connect("127.0.0.1", server.Port(), 0);
      std::string kind = "unfinished";
      std::thread requester([&] {
        try {
          if (i % 2 == 0) {
            while (!c.ReadLn().empty()) {
            }
          } else {
            MemoryStream target;
            c.ReadStream(target, 100000, false);
          }
          kind = "";
        } catch (const HttpError& e) {
          kind = e.Kind();
        }
      });
      switch (i % 4) {
        case 0:
          break;
        case 1:
          std::this_thread::yield();
          break;
        case 2:
          std::this_thread::sleep_for(std::chrono::microseconds(200));
          break;
        default:
          std::this_thread::sleep_for(std::chrono::milliseconds(2));
          break;
      }
      c.Disconnect();
      requester.join();
      EXPECT_TRUE(allowed.count(kind)) << "round " << i << ": " << kind;
      EXPECT_FALSE(c.Connected());
    }
    EXPECT_TRUE(server.WaitForFinished(kRounds, std::chrono::seconds(20)));
  }
  EXPECT_EQ(test::OpenDescriptors(), before);
}

}  // namespace
}  // namespace kalvoran
