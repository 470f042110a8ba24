// What goes on the wire, when a connection is kept, cookies going back, and
// the client staying usable after bad answers and disconnects.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "client_test_helpers.h"
#include "http_client.h"
#include "memory_stream.h"
#include "scripted_server.h"

namespace kalvoran {
namespace {

using test::Catch;
using test::ClientEvents;
using test::Outcome;
using test::Script;
using test::ScriptedServer;

const std::string kOk = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";
const std::string kTail =
    "Accept: text/html, */*\r\n"
    "User-Agent: Mozilla/3.0 (compatible; Kalvoran Downloader)\r\n";

TEST(ClientRequest, SendsTheHeadByteForByte) {
  struct Case {
    std::string path;  // appended to http://127.0.0.1:port
    std::string target;
  };
  const Case cases[] = {
      {"/DOWNLOADER/DownloadStream1v1.php?Reg=1&Subor=a b.zip#frag",
       "/DOWNLOADER/DownloadStream1v1.php?Reg=1&Subor=a b.zip"},
      {"/d/x.php?q=1#2#3", "/d/x.php?q=1"},
      {"", "/"},
      {"/", "/"},
      {"\\dir\\file.txt", "/dir/file.txt"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    ScriptedServer server;
    server.AddScript(Script().ReadHead().Send(kOk));
    HttpClient client;
    EXPECT_EQ(client.Get(server.Url(c.path)), "ok");
    ASSERT_TRUE(server.WaitForFinished(1));
    EXPECT_EQ(server.Received(0), "GET " + c.target +
                                      " HTTP/1.1\r\n"
                                      "Content-Type: text/html\r\n"
                                      "Host: " +
                                      server.HostPort() + "\r\n" + kTail + "\r\n");
  }
}

TEST(ClientKeepAlive, ConnectionIsKeptUnlessTheAnswerEndsIt) {
  struct Case {
    const char* name;
    std::string first;  // the first answer
    int connections;    // accepted for both requests
  };
  const Case cases[] = {
      {"no Connection header", kOk, 1},
      {"Connection: keep-alive",
       "HTTP/1.1 200 OK\r\nConnection: keep-alive\r\nContent-Length: 0\r\n\r\n", 1},
      {"Connection: close", "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 0\r\n\r\n", 2},
      {"Connection:  CLOSE ", "HTTP/1.1 200 OK\r\nConnection:  CLOSE \r\nContent-Length: 0\r\n\r\n",
       2},
      {"Proxy-Connection: close",
       "HTTP/1.1 200 OK\r\nProxy-Connection: close\r\nContent-Length: 0\r\n\r\n", 2},
      {"an error answer read whole", "HTTP/1.1 404 Not Found\r\nContent-Length: 3\r\n\r\nno!", 1},
      {"a chunked answer",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nok\r\n0\r\n\r\n", 1},
      // Unread bytes of a failed answer must never pass for the next one.
      {"an over-long header line",
       "HTTP/1.1 200 OK\r\nX: " + std::string(17000, 'x') + "\r\nContent-Length: 0\r\n\r\n", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedServer server;
    const bool kept = c.connections == 1;
    Script first = Script().ReadHead().Send(c.first);
    if (kept) {
      first.ReadHead().Send(kOk);
    } else {
      first.WaitForClientClose();
    }
    server.AddScript(first);
    server.AddScript(Script().ReadHead().Send(kOk));
    HttpClient client;
    Catch([&] { client.Get(server.Url("/1")); });
    EXPECT_EQ(client.Get(server.Url("/2")), "ok");
    EXPECT_EQ(server.AcceptedConnections(), c.connections);
  }
}

TEST(ClientKeepAlive, ConnectionClosedByTheServerMeanwhileIsReplaced) {
  ScriptedServer server;
  server.AddScript(Script().ReadHead().Send(kOk));  // then closes
  server.AddScript(Script().ReadHead().Send(kOk));
  HttpClient client;
  EXPECT_EQ(client.Get(server.Url("/1")), "ok");
  ASSERT_TRUE(server.WaitForFinished(1));
  EXPECT_EQ(client.Get(server.Url("/2")), "ok");
  EXPECT_EQ(server.AcceptedConnections(), 2);
}

TEST(ClientCookies, GoBackWithTheNextRequest) {
  ScriptedServer server;
  server.AddScript(Script()
                       .ReadHead()
                       .Send("HTTP/1.1 200 OK\r\n"
                             "Set-Cookie: sid=abc; path=/\r\n"
                             "set-cookie: nopath=1\r\n"
                             "Set-Cookie: old=1; path=/; expires=Sun, 06 Nov 1994 08:49:37 GMT\r\n"
                             "Set-Cookie2: deep=2; Path=/DOWNLOADER/\r\n"
                             "Set-Cookie: weird\r\n"
                             "Content-Length: 0\r\n\r\n")
                       .ReadHead()
                       .Send(kOk)
                       .ReadHead()
                       .Send(kOk));
  HttpClient client;
  client.Get(server.Url("/DOWNLOADER/first.php"));
  client.Get(server.Url("/DOWNLOADER/second.php"));
  client.Get(server.Url("/other/third.php"));
  ASSERT_TRUE(server.WaitForFinished(1));
  const std::string received = server.Received(0);
  const std::size_t second = received.find("GET /DOWNLOADER/second.php");
  const std::size_t third = received.find("GET /other/third.php");
  ASSERT_NE(second, std::string::npos);
  ASSERT_NE(third, std::string::npos);
  EXPECT_EQ(received.substr(0, second).find("Cookie:"), std::string::npos);
  EXPECT_NE(received.find(kTail + "Cookie: deep=2; sid=abc\r\n\r\n", second), std::string::npos);
  EXPECT_NE(received.find(kTail + "Cookie: sid=abc\r\n\r\n", third), std::string::npos);
}

TEST(ClientDisconnect, FromWorkBeginEndsTheGetNormallyWithAShortTarget) {
  ScriptedServer server;
  server.AddScript(
      Script()
          .ReadHead()
          .Send("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n" + std::string(100, 'a'))
          .WaitForClientClose());
  server.AddScript(Script().ReadHead().Send(kOk));
  HttpClient client;
  ClientEvents events;
  events.Attach(client, [&](char kind) {
    if (kind == 'B') client.Disconnect();
  });
  MemoryStream target;
  client.Get(server.Url("/"), target);
  EXPECT_LE(target.Size(), 100);
  EXPECT_EQ(events.events.back().kind, 'E');
  client.OnWorkBegin = nullptr;
  EXPECT_EQ(client.Get(server.Url("/")), "ok");
  EXPECT_EQ(server.AcceptedConnections(), 2);
}

TEST(ClientDisconnect, FromAnotherThreadDuringABlockedReadIsSafe) {
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE(round);
    ScriptedServer server;
    server.AddScript(Script()
                         .ReadHead()
                         .Send("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" +
                               std::string(round * 50, 'a'))
                         .WaitForClientClose());
    server.AddScript(Script().ReadHead().Send(kOk));
    HttpClient client;
    std::atomic<bool> begun{false};
    client.OnWorkBegin = [&](HttpClient&, TWorkMode, std::int64_t) { begun = true; };
    std::thread other([&] {
      while (!begun) std::this_thread::yield();
      if (round % 2) std::this_thread::sleep_for(std::chrono::milliseconds(2));
      client.Disconnect();
    });
    MemoryStream target;
    const Outcome outcome = Catch([&] { client.Get(server.Url("/"), target); });
    other.join();
    EXPECT_TRUE(outcome.kind == "ok" || outcome.kind == "EReadTimeout" ||
                outcome.kind == "ESocketError" || outcome.kind == "EConnClosedGracefully" ||
                outcome.kind == "ENotConnected")
        << outcome.kind << ": " << outcome.message;
    EXPECT_LT(target.Size(), 100000);
    client.OnWorkBegin = nullptr;
    EXPECT_EQ(client.Get(server.Url("/")), "ok");
  }
}

TEST(ClientBadInput, EndsWithTheRightErrorAndLeavesTheClientUsable) {
  struct Case {
    const char* name;
    Script script;
    Outcome outcome;
    int readTimeout = 0;
  };
  const std::string chunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
  Case cases[] = {
      {"status line over the limit",
       Script().ReadHead().Send(std::string(20000, 'H') + "\r\n").WaitForClientClose(),
       {"EMaxLineLengthExceeded", "Max line length exceeded."}},
      {"status line of exactly the limit with its CR",
       Script()
           .ReadHead()
           .Send("HTTP/1.1 200 " + std::string(16384 - 13, 'x') + "\r\n")
           .WaitForClientClose(),
       {"EMaxLineLengthExceeded", "Max line length exceeded."}},
      {"endless line without an end",
       Script().ReadHead().SendRepeated("HTTP/1.1 ", 0),
       {"EMaxLineLengthExceeded", "Max line length exceeded."}},
      {"head that stops coming",
       Script().ReadHead().Send("HTTP/1.1 200 OK\r\nX: 1\r\n").WaitForClientClose(),
       {"EReadTimeout", "Read Timeout"},
       300},
      {"chunk size 7fffffffffffffff",
       Script().ReadHead().Send(chunked + "7fffffffffffffff\r\n" + std::string(5000, 'z')),
       {"EConnClosedGracefully", "Connection Closed Gracefully."}},
      {"reset inside a chunk",
       Script().ReadHead().Send(chunked + "100\r\nabc").Pause(50).Reset(),
       {"ESocketError", "Socket Error # 10054\r\nConnection reset by peer.", 10054}},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.outcome.code == 10054 && !test::ResetsReachTheClient()) continue;
    ScriptedServer server;
    server.AddScript(c.script);
    server.AddScript(Script().ReadHead().Send(kOk));
    HttpClient client;
    client.ReadTimeout = c.readTimeout;
    const Outcome outcome = Catch([&] { client.Get(server.Url("/")); });
    EXPECT_EQ(outcome.kind, c.outcome.kind);
    EXPECT_EQ(outcome.message, c.outcome.message);
    EXPECT_EQ(outcome.code, c.outcome.code);
    EXPECT_EQ(client.Get(server.Url("/")), "ok");
  }
}

// An error body is kept only as far as its first 64 KiB; a head only up to
// 1 MiB or 10000 lines. Either way the connection is closed, not reused.
TEST(ClientBadInput, ErrorBodiesAndHeadsAreCut) {
  const std::string kib100(100 * 1024, 'z');
  const std::string chunkedBody = "19000\r\n" + kib100 + "\r\n0\r\n\r\n";
  std::string longHead;  // 1 MiB of lines in under 10000 of them
  while (longHead.size() <= 1024 * 1024) longHead += "X-Pad: " + std::string(200, 'p') + "\r\n";
  std::string manyLines;  // 10001 short lines
  for (int i = 0; i <= 10000; ++i) manyLines += "A: b\r\n";
  const char* tooLarge = "Response head too large: more than 1 MiB or 10000 lines.";
  const std::string z64k(65536, 'z');
  struct Case {
    const char* name;
    std::string answer;
    Outcome outcome;
    bool connectionKept;
  } cases[] = {
      {"counted 404",
       "HTTP/1.1 404 No\r\nContent-Length: 102400\r\n\r\n" + kib100,
       {"EHttpProtocolError", "HTTP/1.1 404 No", 404, z64k},
       false},
      {"chunked 500",
       "HTTP/1.1 500 No\r\nTransfer-Encoding: chunked\r\n\r\n" + chunkedBody,
       {"EHttpProtocolError", "HTTP/1.1 500 No", 500, z64k},
       false},
      {"small 404 whole",
       "HTTP/1.1 404 No\r\nContent-Length: 3\r\n\r\nabc",
       {"EHttpProtocolError", "HTTP/1.1 404 No", 404, "abc"},
       true},
      {"1 MiB of header lines",
       "HTTP/1.1 200 OK\r\n" + longHead + "\r\n",
       {"EMaxLineLengthExceeded", tooLarge},
       false},
      {"10001 header lines",
       "HTTP/1.1 200 OK\r\n" + manyLines + "\r\n",
       {"EMaxLineLengthExceeded", tooLarge},
       false},
      {"10000 header lines",
       "HTTP/1.1 200 OK\r\n" + manyLines.substr(2 * 6) + "Content-Length: 2\r\n\r\nok",
       {},
       true},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedServer server;
    server.AddScript(Script().ReadHead().Send(c.answer).ReadHead().Send(kOk).WaitForClientClose());
    server.AddScript(Script().ReadHead().Send(kOk));
    HttpClient client;
    const Outcome outcome = Catch([&] { client.Get(server.Url("/")); });
    EXPECT_EQ(outcome.kind, c.outcome.kind);
    EXPECT_EQ(outcome.message, c.outcome.message);
    EXPECT_EQ(outcome.code, c.outcome.code);
    EXPECT_EQ(outcome.errorText, c.outcome.errorText);
    // What was never read closes the connection: the next Get opens another.
    EXPECT_EQ(client.Get(server.Url("/")), "ok");
    EXPECT_EQ(server.AcceptedConnections(), c.connectionKept ? 1 : 2);
  }
}

TEST(ClientBadInput, HugeAnnouncedLengthsCostNoMemoryUpFront) {
  ScriptedServer server;
  server.AddScript(Script().ReadHead().Send(
      "HTTP/1.1 200 OK\r\nContent-Length: 9223372036854775807\r\n\r\n0123456789"));
  server.AddScript(Script().ReadHead().Send(
      "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n7fffffffffffffff\r\nabc"));
  HttpClient client;
  // Cut short by the close: the caller finds the shorter target.
  EXPECT_EQ(client.Get(server.Url("/")), "0123456789");
  // Past the largest stream size the target's position allows.
  MemoryStream target;
  target.Write("x", 1);
  const Outcome outcome = Catch([&] { client.Get(server.Url("/"), target); });
  EXPECT_EQ(outcome.kind, "EStreamError");
  EXPECT_EQ(target.Data(), "x");
  // A short reply keeps its limit: an announced length past it reads nothing.
  for (const std::string tail : {"Content-Length: 9223372036854775807\r\n\r\n0123456789",
                                 "Connection: close\r\n\r\n0123456789!"}) {
    server.AddScript(Script().ReadHead().Send("HTTP/1.1 200 OK\r\n" + tail));
    EXPECT_EQ(Catch([&] { client.Get(server.Url("/"), 10); }).kind, "EStreamError") << tail;
  }
}

TEST(ClientBadInput, ErrorBodyThatNeverComesTimesOutAfterTwoSeconds) {
  ScriptedServer server;
  server.AddScript(Script()
                       .ReadHead()
                       .Send("HTTP/1.1 404 Not Found\r\nContent-Length: 10\r\n\r\nabc")
                       .WaitForClientClose());
  server.AddScript(Script().ReadHead().Send(kOk));
  HttpClient client;
  const auto start = std::chrono::steady_clock::now();
  const Outcome outcome = Catch([&] { client.Get(server.Url("/")); });
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(outcome.kind, "EReadTimeout");
  EXPECT_GE(elapsed, std::chrono::milliseconds(1900));
  EXPECT_LT(elapsed, std::chrono::milliseconds(4000));
  EXPECT_EQ(client.ReadTimeout, 0);
  EXPECT_EQ(client.Get(server.Url("/")), "ok");
  EXPECT_EQ(server.AcceptedConnections(), 2);
}

}  // namespace
}  // namespace kalvoran
