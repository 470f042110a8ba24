#pragma once
// Shared by the client tests: a recorder of the client's transfer events, and
// the catching of the error a Get ends with.
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "errors.h"
#include "http_client.h"

namespace kalvoran::test {

struct ClientEvent {
  char kind;  // 'B'egin, 'W'ork, 'E'nd
  std::int64_t value;
  std::int64_t targetSize;      // Response().ContentStream's size at the event
  const Stream* contentStream;  // Response().ContentStream at the event
};

class ClientEvents {
 public:
  // Records every event of `client`; `extra` runs after recording.
  void Attach(HttpClient& client, std::function<void(char)> extra = {}) {
    auto record = [this, extra](HttpClient& sender, char kind, std::int64_t value) {
      const Stream* s = sender.Response().ContentStream;
      events.push_back({kind, value, s ? s->Size() : -1, s});
      if (extra) extra(kind);
    };
    client.OnWorkBegin = [record](HttpClient& c, TWorkMode, std::int64_t n) { record(c, 'B', n); };
    client.OnWork = [record](HttpClient& c, TWorkMode, std::int64_t n) { record(c, 'W', n); };
    client.OnWorkEnd = [record](HttpClient& c, TWorkMode) { record(c, 'E', 0); };
  }

  // One "expected:final count" item per begin/end pair, e.g. "26:26 0:40000";
  // also checks that counts rise within a pair.
  std::string Pairs() const {
    std::string out;
    std::int64_t last = 0;
    for (const ClientEvent& e : events) {
      if (e.kind == 'B') {
        if (!out.empty()) out += ' ';
        out += std::to_string(e.value) + ":";
        last = 0;
      } else if (e.kind == 'W') {
        if (e.value <= last) return "falling count " + std::to_string(e.value);
        last = e.value;
      } else {
        out += std::to_string(last);
      }
    }
    return out;
  }

  std::vector<ClientEvent> events;
};

// The error kind and message a call ends with; "ok" when it returns.
struct Outcome {
  Outcome() = default;
  Outcome(std::string k, std::string m, int c = 0, std::string text = {})
      : kind(std::move(k)), message(std::move(m)), code(c), errorText(std::move(text)) {}

  std::string kind = "ok";
  std::string message;
  int code = 0;           // EHttpProtocolError's status code, ESocketError's code
  std::string errorText;  // EHttpProtocolError's body
};

inline Outcome Catch(const std::function<void()>& call) {
  Outcome outcome;
  try {
    call();
  } catch (const EHttpProtocolError& e) {
    outcome = {e.Kind(), e.what(), e.ErrorCode(), e.ErrorMessage()};
  } catch (const ESocketError& e) {
    outcome = {e.Kind(), e.what(), e.Code(), ""};
  } catch (const HttpError& e) {
    outcome = {e.Kind(), e.what(), 0, ""};
  }
  return outcome;
}

}  // namespace kalvoran::test
