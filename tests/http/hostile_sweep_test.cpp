// A server that goes away at any moment. Each well-formed answer is cut after
// every byte of its head and at several places in its body, by a graceful
// close and by a reset, with the bytes before the cut in one packet or two,
// and as the second answer on a kept connection. Every Get must end within a
// bound with the outcome the client's rules give for that byte, and the same
// client must then fetch a healthy answer over a new connection.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <set>
#include <thread>

#include "client_test_helpers.h"
#include "http_client.h"
#include "memory_stream.h"
#include "scripted_server.h"

namespace kalvoran {
namespace {

using namespace std::chrono_literals;
using test::Catch;
using test::Outcome;
using test::Script;
using test::ScriptedServer;

constexpr auto kBound = 5s;            // per Get; a healthy run takes milliseconds
constexpr std::size_t kBlock = 32768;  // the most one receive takes

enum class Framing { kLength, kChunked, kUntilClose, kNone };

// One piece of a chunked body: a line (size line, the line end after the
// data, the closing empty line) or a run of chunk data.
struct Piece {
  std::string bytes;
  bool line;
};

struct Answer {
  const char* name;
  std::string interim;  // a "100 Continue" answer before the real one, or ""
  std::string head;     // status line, header lines and the empty line
  Framing framing;
  std::vector<Piece> pieces;  // the body, in pieces
  std::string content;        // what a complete body leaves in the target

  std::string Body() const {
    std::string body;
    for (const Piece& p : pieces) body += p.bytes;
    return body;
  }
  std::string Bytes() const { return interim + head + Body(); }
  std::string StatusLine() const { return head.substr(0, head.find("\r\n")); }
  int Code() const { return std::stoi(head.substr(9, 3)); }
};

Answer Counted(const char* name, std::string head, std::string body) {
  return {name, "", std::move(head), Framing::kLength, {{body, false}}, body};
}

std::vector<Answer> Answers() {
  std::string big(70000, '\0');  // more than two receive blocks
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>((i * 7919) >> 3);
  const std::string letters = "abcdefghijklmnopqrstuvwxyz";
  std::string longer;
  for (int i = 0; i < 40; ++i) longer += letters;

  std::vector<Answer> answers;
  answers.push_back(Counted("length",
                            "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n"
                            "Content-Length: 70000\r\n\r\n",
                            big));
  answers.push_back({"chunked",
                     "",
                     "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n",
                     Framing::kChunked,
                     {{"5\r\n", true},
                      {"hello", false},
                      {"\r\n", true},
                      {"1a\r\n", true},
                      {letters, false},
                      {"\r\n", true},
                      {"3 ext\r\n", true},
                      {"end", false},
                      {"\r\n", true},
                      {"0\r\n", true},
                      {"\r\n", true}},
                     "hello" + letters + "end"});
  Answer chunkedError = answers.back();
  chunkedError.name = "404 chunked";
  chunkedError.head = "HTTP/1.1 404 Not Found\r\nTransfer-Encoding: chunked\r\n\r\n";
  answers.push_back(chunkedError);
  answers.push_back({"until close",
                     "",
                     "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Type: text/plain\r\n\r\n",
                     Framing::kUntilClose,
                     {{longer, false}},
                     longer});
  answers.push_back(
      Counted("404 with body",
              "HTTP/1.1 404 Not Found\r\nContent-Type: text/html\r\nContent-Length: 10\r\n\r\n",
              "not found!"));
  answers.push_back({"200 with length 0",
                     "",
                     "HTTP/1.1 200 OK\r\nContent-Length: 0\r\nServer: test\r\n\r\n",
                     Framing::kNone,
                     {},
                     ""});
  Answer continued =
      Counted("100 then 200", "HTTP/1.1 200 OK\r\nContent-Length: 12\r\n\r\n", "continued ok");
  continued.interim = "HTTP/1.1 100 Continue\r\n\r\n";
  answers.push_back(continued);
  return answers;
}

// What a Get must end with.
struct Expected {
  std::string kind = "ok";
  std::string message;
  int code = 0;
  // For a Get that returns (or an error body): the target holds a prefix of
  // `content` of at most `atMost` bytes, or exactly `content` when `exact`.
  std::string content;
  std::size_t atMost = 0;
  bool exact = false;
  bool checkContent = false;
};

Expected Error(const char* kind, std::string message = {}, int code = 0) {
  Expected e;
  e.kind = kind;
  e.message = std::move(message);
  e.code = code;
  return e;
}
Expected Returns(std::string content, std::size_t atMost, bool exact) {
  Expected e;
  e.content = std::move(content);
  e.atMost = atMost;
  e.exact = exact;
  e.checkContent = true;
  return e;
}
const Expected kClosedBeforeStatus =
    Error("EConnClosedGracefully", "Connection Closed Gracefully.");
const Expected kNotConnected = Error("ENotConnected", "Not Connected");

// The rules for a server that closes gracefully after `cut` bytes of a.Bytes():
// a read that finds nothing buffered on a closed connection is "closed
// gracefully"; a line cut short comes back as an empty line, and the next
// read with those bytes still buffered is "not connected"; a head that ends
// early leaves a 2xx answer undecided and still fails any other one; a
// counted body cut short is no error; a chunked one is.
Expected AfterGracefulClose(const Answer& a, std::size_t cut) {
  if (!a.interim.empty()) {
    if (cut == 0) return kClosedBeforeStatus;
    // Within the interim answer the next status line is read from a closed
    // connection with its head (or part of it) unread or gone.
    if (cut < a.interim.size()) return kNotConnected;
    cut -= a.interim.size();
  }
  const std::size_t statusEnd = a.head.find("\r\n") + 2;
  if (cut == 0) return kClosedBeforeStatus;
  if (cut < statusEnd) return kNotConnected;
  if (cut < a.head.size()) {
    if (a.Code() / 100 == 2) return Error("EClientError", "Undefined situation");
    // An error answer's body is read first: a chunked one needs a size line
    // from the closed connection, and that read's error takes the place of
    // the answer's.
    if (a.head.substr(0, cut).find("Transfer-Encoding: chunked\r\n") != std::string::npos) {
      return kNotConnected;
    }
    return Error("EHttpProtocolError", a.StatusLine(), a.Code());
  }
  const std::size_t at = cut - a.head.size();
  const std::string body = a.Body();
  switch (a.framing) {
    case Framing::kLength: {
      // Whole blocks and what came with them; never more than arrived.
      Expected e =
          a.Code() / 100 == 2 ? Expected{} : Error("EHttpProtocolError", a.StatusLine(), a.Code());
      e.content = body;
      e.atMost = at;
      e.checkContent = true;
      return e;
    }
    case Framing::kUntilClose:
      return Returns(body.substr(0, at), at, true);
    case Framing::kNone:
      return Returns("", 0, true);  // not reached: nothing follows the head
    case Framing::kChunked:
      break;
  }
  std::size_t start = 0;
  for (std::size_t i = 0; i < a.pieces.size(); ++i) {
    const Piece& p = a.pieces[i];
    if (at < start + p.bytes.size()) {
      // At the start of a piece nothing is buffered; inside chunk data the
      // close ends the read at once.
      if (at == start || !p.line) return kClosedBeforeStatus;
      // Inside a line: the closing empty line cut short still ends the body.
      if (i + 1 == a.pieces.size()) {
        if (a.Code() / 100 == 2) return Returns(a.content, a.content.size(), true);
        Expected e = Error("EHttpProtocolError", a.StatusLine(), a.Code());
        e.content = a.content;
        e.exact = e.checkContent = true;
        return e;
      }
      return kNotConnected;
    }
    start += p.bytes.size();
  }
  return {};
}

const Expected kReset =
    Error("ESocketError", "Socket Error # 10054\r\nConnection reset by peer.", 10054);

// The byte counts after which the server goes away: every one in the heads,
// a spread in the body (every one in a chunked body, whose framing matters).
std::vector<std::size_t> Cuts(const Answer& a) {
  std::set<std::size_t> cuts;
  const std::size_t headEnd = a.interim.size() + a.head.size();
  for (std::size_t k = 0; k < headEnd; ++k) cuts.insert(k);
  const std::size_t n = a.Body().size();
  if (a.framing == Framing::kChunked) {
    for (std::size_t k = 0; k < n; ++k) cuts.insert(headEnd + k);
  } else if (n > 0) {
    for (std::size_t k : {std::size_t{0}, std::size_t{1}, n / 2, n - 1}) cuts.insert(headEnd + k);
    // Around the end of the first whole receive block.
    for (std::size_t k = kBlock - 1; k <= kBlock + 1 && k < n; ++k) cuts.insert(headEnd + k);
  }
  return {cuts.begin(), cuts.end()};
}

const std::string kHealthy = "HTTP/1.1 200 OK\r\nContent-Length: 7\r\n\r\nhealthy";

// Runs the call on a thread of its own; a call still running after the
// bound is cut off by a Disconnect and reported.
bool Bounded(HttpClient& client, const std::function<void()>& call, Outcome& outcome) {
  auto future = std::async(std::launch::async, [&] { return Catch(call); });
  if (future.wait_for(kBound) == std::future_status::ready) {
    outcome = future.get();
    return true;
  }
  client.Disconnect();
  outcome = future.get();
  return false;
}

// Begin, work..., end, and again; nothing nested, nothing left open.
testing::AssertionResult Balanced(const std::vector<test::ClientEvent>& events) {
  bool open = false;
  for (std::size_t i = 0; i < events.size(); ++i) {
    const char kind = events[i].kind;
    if ((kind == 'B') == open || (kind == 'W' && !open)) {
      return testing::AssertionFailure() << "event " << i << " '" << kind << "' out of turn";
    }
    if (kind != 'W') open = kind == 'B';
  }
  if (open) return testing::AssertionFailure() << "a read began and never ended";
  return testing::AssertionSuccess();
}

struct Sweep {
  std::size_t answer;
  bool reset;
  // The bytes before the cut come in two packets with a pause between,
  // so the end meets a client that already holds part of them.
  bool trickled;
  // The cut answer is the second on a kept connection.
  bool kept = false;
};

std::string SweepName(const Sweep& sweep) {
  std::string name = Answers()[sweep.answer].name;
  for (char& c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  return name + (sweep.reset ? "_reset" : "_closed") + (sweep.trickled ? "_trickled" : "") +
         (sweep.kept ? "_kept" : "");
}
void PrintTo(const Sweep& sweep, std::ostream* os) {
  *os << SweepName(sweep);
}

class HostileServer : public testing::TestWithParam<Sweep> {};

// One cut: the Get, its outcome against the rules, then the next Get.
void CheckCut(const Answer& answer, const Sweep& sweep, std::size_t cut,
              std::chrono::steady_clock::duration& took) {
  const std::string bytes = answer.Bytes();
  SCOPED_TRACE(testing::Message() << "cut after " << cut << " of " << bytes.size() << " bytes");
  const Expected expected = sweep.reset ? kReset : AfterGracefulClose(answer, cut);
  ScriptedServer server(30s);
  Script first = Script().ReadHead();
  if (sweep.kept) first.Send(kHealthy).ReadHead();
  if (sweep.trickled) {
    first.Send(bytes.substr(0, cut / 2)).Pause(3).Send(bytes.substr(cut / 2, cut - cut / 2));
  } else {
    first.Send(bytes.substr(0, cut));
  }
  server.AddScript(sweep.reset ? first.Reset() : first.Close());
  server.AddScript(Script().ReadHead().Send(kHealthy).Close());
  const std::string url = server.Url("/file");

  HttpClient client;
  Outcome outcome;
  if (sweep.kept) {
    std::string first;
    ASSERT_TRUE(Bounded(
        client, [&] { first = client.Get(url); }, outcome));
    ASSERT_EQ(outcome.kind, "ok") << outcome.message;
    ASSERT_EQ(first, "healthy");
  }
  test::ClientEvents events;
  events.Attach(client);
  MemoryStream target;
  const auto begin = std::chrono::steady_clock::now();
  ASSERT_TRUE(Bounded(
      client, [&] { client.Get(url, target); }, outcome))
      << "the Get hung";
  took = std::chrono::steady_clock::now() - begin;

  EXPECT_EQ(outcome.kind, expected.kind);
  if (expected.kind != "ok") {
    EXPECT_EQ(outcome.message, expected.message);
  }
  if (expected.code != 0) {
    EXPECT_EQ(outcome.code, expected.code);
  }
  if (expected.checkContent) {
    // The target of a Get that returned, or the error text of an error answer.
    const std::string got = expected.kind == "ok" ? target.Data() : outcome.errorText;
    if (expected.exact) {
      EXPECT_TRUE(got == expected.content) << got.size() << " bytes";
    } else {
      EXPECT_LE(got.size(), expected.atMost);
      EXPECT_TRUE(expected.content.compare(0, got.size(), got) == 0) << "not a prefix";
    }
  }
  // Whatever the end, the target holds only body bytes that arrived, and
  // is not left at an announced size it never reached.
  EXPECT_EQ(target.Size(), static_cast<std::int64_t>(target.Data().size()));
  const std::string own = answer.Code() / 100 == 2 ? answer.content : std::string();
  EXPECT_TRUE(own.compare(0, target.Data().size(), target.Data()) == 0)
      << target.Data().size() << " bytes in the target are no prefix of the body";
  // Every begun read has ended: the progress display is never left open.
  EXPECT_TRUE(Balanced(events.events));

  // The next Get on the same client opens a new connection and succeeds.
  std::string second;
  ASSERT_TRUE(Bounded(
      client, [&] { second = client.Get(url); }, outcome))
      << "the next Get hung";
  EXPECT_EQ(outcome.kind, "ok") << outcome.message;
  EXPECT_EQ(second, "healthy");
  EXPECT_EQ(server.AcceptedConnections(), 2);
}

TEST_P(HostileServer, EveryCutEndsAsTheRulesSayAndTheClientStaysUsable) {
  if (GetParam().reset && !test::ResetsReachTheClient()) {
    GTEST_SKIP() << "resets arrive as orderly closes here";
  }
  const Answer answer = Answers()[GetParam().answer];
  const std::vector<std::size_t> cuts = Cuts(answer);
  const auto started = std::chrono::steady_clock::now();
  // The cuts are independent, each with its own server and client: a few
  // run at once, which keeps the sweep short on a busy machine.
  std::atomic<std::size_t> next{0};
  std::atomic<std::int64_t> slowestMs{0};
  auto work = [&] {
    for (std::size_t i = next++; i < cuts.size() && !HasFailure(); i = next++) {
      std::chrono::steady_clock::duration took{};
      CheckCut(answer, GetParam(), cuts[i], took);
      const std::int64_t ms = std::chrono::duration_cast<std::chrono::milliseconds>(took).count();
      for (std::int64_t seen = slowestMs;
           ms > seen && !slowestMs.compare_exchange_weak(seen, ms);) {
      }
    }
  };
  std::vector<std::thread> runners;
  for (int i = 0; i < 4; ++i) runners.emplace_back(work);
  for (std::thread& t : runners) t.join();

  const auto total = std::chrono::steady_clock::now() - started;
  RecordProperty("cuts", static_cast<int>(cuts.size()));
  RecordProperty("slowest_ms", static_cast<int>(slowestMs.load()));
  RecordProperty(
      "total_ms",
      static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(total).count()));
}

std::vector<Sweep> Sweeps() {
  std::vector<Sweep> sweeps;
  for (std::size_t i = 0; i < Answers().size(); ++i) {
    for (const bool reset : {false, true}) {
      for (const bool trickled : {false, true}) sweeps.push_back({i, reset, trickled});
    }
    sweeps.push_back({i, false, false, true});
  }
  return sweeps;
}

INSTANTIATE_TEST_SUITE_P(Cuts, HostileServer, testing::ValuesIn(Sweeps()),
                         [](const testing::TestParamInfo<Sweep>& info) {
                           return SweepName(info.param);
                         });

}  // namespace
}  // namespace kalvoran
