// How the client takes a response apart: bodies, events, and the outcome of
// each kind of answer, each delivered whole and one byte per packet.
#include <gtest/gtest.h>

#include <cstdio>
#include <optional>

#include "client_test_helpers.h"
#include "file_stream.h"
#include "http_client.h"
#include "memory_stream.h"
#include "scripted_server.h"
#include "temp_dir.h"

namespace kalvoran {
namespace {

using test::Catch;
using test::ClientEvents;
using test::Outcome;
using test::Script;
using test::ScriptedServer;

const std::string k26 = "abcdefghijklmnopqrstuvwxyz";

struct ResponseCase {
  const char* name;
  std::string reply;  // sent after the request head; the server closes after it
  Outcome outcome;
  std::string body;        // for a Get that returns
  const char* pairs;       // ClientEvents::Pairs(); nullptr: depends on delivery
  bool wholeOnly = false;  // the result depends on how the bytes arrive
};

const ResponseCase kCases[] = {
    {"counted",
     "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n0123456789",
     {},
     "0123456789",
     "10:10"},
    {"chunked, size cut at the blank",
     "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1a ext\r\n" + k26 +
         "\r\n5\r\nabcde\r\n0\r\n\r\n",
     {},
     k26 + "abcde",
     "26:26 5:5"},
    {"chunked, glued extension reads as the end",
     "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1a;ext\r\n" + k26 + "\r\n0\r\n\r\n",
     {},
     "",
     ""},
    {"until close", "HTTP/1.1 200 OK\r\n\r\n" + k26 + k26, {}, k26 + k26, nullptr},
    {"negative length reads until close",
     "HTTP/1.1 200 OK\r\nContent-Length: -5\r\n\r\n" + k26,
     {},
     k26,
     nullptr},
    {"non-numeric length reads until close",
     "HTTP/1.1 200 OK\r\nContent-Length: 12abc\r\n\r\n" + k26,
     {},
     k26,
     nullptr},
    {"204 has no body", "HTTP/1.1 204 No Content\r\n\r\nextra", {}, "", ""},
    {"length 0 has no body", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", {}, "", ""},
    {"100 is skipped",
     "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok",
     {},
     "ok",
     "2:2"},
    {"404 with its body",
     "HTTP/1.1 404 Not Found\r\nContent-Length: 10\r\n\r\nnot here!!",
     {"EHttpProtocolError", "HTTP/1.1 404 Not Found", 404, "not here!!"},
     "",
     "10:10"},
    {"302 with its body",
     "HTTP/1.1 302 Found\r\nLocation: /x\r\nContent-Length: 3\r\n\r\nabc",
     {"EHttpProtocolError", "HTTP/1.1 302 Found", 302, "abc"},
     "",
     "3:3"},
    {"Location on a 200",
     "HTTP/1.1 200 Fine\r\nLocation: /x\r\nContent-Length: 2\r\n\r\nhi",
     {"EHttpProtocolError", "HTTP/1.1 200 Fine", 200, "hi"},
     "",
     "2:2"},
    {"304 reads to the close",
     "HTTP/1.1 304 Not Modified\r\n\r\n",
     {"EHttpProtocolError", "HTTP/1.1 304 Not Modified", 304, ""},
     "",
     "0:0"},
    {"101 fails",
     "HTTP/1.1 101 Switching\r\nContent-Length: 0\r\n\r\n",
     {"EHttpProtocolError", "HTTP/1.1 101 Switching", 101, ""},
     "",
     ""},
    {"no code",
     "garbage\r\nContent-Length: 0\r\n\r\n",
     {"EHttpProtocolError", "garbage", -1, ""},
     "",
     ""},
    {"closed before the head's end",
     "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n",
     {"EClientError", "Undefined situation"},
     "",
     ""},
    {"closed before the status line",
     "",
     {"EConnClosedGracefully", "Connection Closed Gracefully."},
     "",
     ""},
    {"closed inside the status line", "HTTP/1.1 20", {"ENotConnected", "Not Connected"}, "", ""},
    {"closed inside a chunk",
     "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1a\r\nabc",
     {"EConnClosedGracefully", "Connection Closed Gracefully."},
     "",
     nullptr},
    {"closed inside a chunked error body",
     "HTTP/1.1 500 Oops\r\nTransfer-Encoding: chunked\r\n\r\n1a\r\nabc",
     {"EConnClosedGracefully", "Connection Closed Gracefully."},
     "",
     nullptr},
    {"closed after half a body",
     "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n01234",
     {},
     "01234",
     "10:5",
     /*wholeOnly=*/true},
};

class ClientResponse : public testing::TestWithParam<bool> {
 protected:
  bool Bytewise() const { return GetParam(); }
  Script Reply(const std::string& bytes) const {
    Script s;
    s.ReadHead();
    if (!bytes.empty()) Bytewise() ? s.SendBytewise(bytes) : s.Send(bytes);
    return s;
  }
};

TEST_P(ClientResponse, EachKindOfAnswerEndsAsItShould) {
  for (const ResponseCase& c : kCases) {
    if (c.wholeOnly && Bytewise()) continue;
    SCOPED_TRACE(c.name);
    ScriptedServer server;
    server.AddScript(Reply(c.reply));
    HttpClient client;
    ClientEvents events;
    events.Attach(client);
    std::string body;
    const Outcome outcome = Catch([&] { body = client.Get(server.Url("/x")); });
    EXPECT_EQ(outcome.kind, c.outcome.kind);
    EXPECT_EQ(outcome.message, c.outcome.message);
    EXPECT_EQ(outcome.code, c.outcome.code);
    EXPECT_EQ(outcome.errorText, c.outcome.errorText);
    EXPECT_EQ(body, c.body);
    if (c.pairs) {
      EXPECT_EQ(events.Pairs(), c.pairs);
    }
    EXPECT_EQ(client.Response().ContentStream, nullptr);
  }
}

TEST_P(ClientResponse, ErrorBodyGoesToAnInternalStreamNotTheTarget) {
  ScriptedServer server;
  server.AddScript(Reply(
      "HTTP/1.1 404 Not Found\r\nContent-Type: error\r\nContent-Length: 10\r\n\r\n0123456789"));
  HttpClient client;
  ClientEvents events;
  std::string typeAtBegin;
  events.Attach(client, [&](char kind) {
    if (kind == 'B') typeAtBegin = client.Response().ContentType;
  });
  MemoryStream target;
  const Outcome outcome = Catch([&] { client.Get(server.Url("/"), target); });
  EXPECT_EQ(outcome.kind, "EHttpProtocolError");
  EXPECT_EQ(typeAtBegin, "error");
  ASSERT_FALSE(events.events.empty());
  for (const auto& e : events.events) {
    EXPECT_NE(e.contentStream, nullptr);
    EXPECT_NE(e.contentStream, &target);
  }
  EXPECT_EQ(target.Size(), 0);
  EXPECT_EQ(client.Response().ResponseCode, 404);
}

INSTANTIATE_TEST_SUITE_P(Delivery, ClientResponse, testing::Bool(),
                         [](const auto& info) { return info.param ? "Bytewise" : "Whole"; });

TEST(ClientBody, ThousandBytesInSeveralPacketsKeepTheFileAtFullSize) {
  const std::string body = [] {
    std::string b(1000, '\0');
    for (std::size_t i = 0; i < b.size(); ++i) b[i] = static_cast<char>(i * 7);
    return b;
  }();
  ScriptedServer server;
  server.AddScript(
      Script()
          .ReadHead()
          .Send("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n" + body.substr(0, 100))
          .Pause(30)
          .Send(body.substr(100, 400))
          .Pause(30)
          .Send(body.substr(500)));
  const test::TempDir dir("kalvoran-client");
  const std::string path = dir.Path() + "/tmp.tmp";
  {
    FileStream target(path, FileStream::OpenMode::kCreateOrTruncate);
    HttpClient client;
    ClientEvents events;
    events.Attach(client);
    client.Get(server.Url("/f"), target);
    EXPECT_EQ(events.Pairs(), "1000:1000");
    ASSERT_GE(events.events.size(), 3u);
    EXPECT_EQ(events.events.front().value, 1000);
    for (const auto& e : events.events) {
      EXPECT_EQ(e.targetSize, 1000) << e.kind << e.value;
      EXPECT_EQ(e.contentStream, &target);
    }
    target.Close();
  }
  std::string written(1000, '\0');
  FILE* f = std::fopen(path.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(std::fread(written.data(), 1, written.size() + 1, f), 1000u);
  std::fclose(f);
  EXPECT_EQ(written, body);
}

TEST(ClientBody, WritesFromTheTargetsPositionAndCutsNothingBeforeIt) {
  ScriptedServer server;
  server.AddScript(Script().ReadHead().Send(
      "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n2\r\nde\r\n0\r\n\r\n"));
  MemoryStream target;
  target.Write("head:", 5);
  HttpClient client;
  ClientEvents events;
  events.Attach(client);
  client.Get(server.Url("/"), target);
  EXPECT_EQ(target.Data(), "head:abcde");
  // During a chunk the target is what came so far plus that chunk.
  ASSERT_EQ(events.events.front().kind, 'B');
  EXPECT_EQ(events.events.front().targetSize, 8);
  EXPECT_EQ(events.Pairs(), "3:3 2:2");
}

}  // namespace
}  // namespace kalvoran
