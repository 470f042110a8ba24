// An https Get against a peer that answers the ClientHello with the input, in
// pieces cut at points derived from the input, and then closes: garbage,
// truncated or hostile handshake messages. No server here holds a key the
// client trusts, so the Get must end with a TLS, socket or close error within
// bounded time, never normally: a normal end would mean a request went out
// without a verified handshake. The client must send nothing but TLS records,
// so nothing ever falls back to plain HTTP.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "errors.h"
#include "fuzz_check.h"
#include "http_client.h"
#include "loopback_peer.h"

namespace {

using namespace kalvoran;
using Clock = std::chrono::steady_clock;

constexpr auto kGetLimit = std::chrono::seconds(5);

// Whether the bytes hold a whole first record (the ClientHello).
bool FirstRecordComplete(const std::string& bytes) {
  if (bytes.size() < 5) return false;
  const std::size_t length =
      (static_cast<unsigned char>(bytes[3]) << 8) | static_cast<unsigned char>(bytes[4]);
  return bytes.size() >= 5 + length;
}

// A TLS 1.3 server echoes the client's session id in its ServerHello (and in
// a HelloRetryRequest, which is one): each record of the reply that starts a
// ServerHello whose session id has the length of the ClientHello's gets the
// client's id, so that stored flights of real servers get past that check to
// the rest of the handshake.
void EchoSessionId(const std::string& clientHello, std::string& reply) {
  // record header (5), handshake header (4), version (2), random (32)
  constexpr std::size_t kIdLength = 5 + 4 + 2 + 32;
  if (clientHello.size() <= kIdLength) return;
  const auto length = static_cast<unsigned char>(clientHello[kIdLength]);
  if (clientHello.size() < kIdLength + 1 + length) return;
  for (std::size_t at = 0; at + 5 <= reply.size();) {
    if (reply[at] == 22 && at + kIdLength + 1 + length <= reply.size() && reply[at + 5] == 2 &&
        reply[at + kIdLength] == clientHello[kIdLength]) {
      reply.replace(at + kIdLength + 1, length, clientHello, kIdLength + 1, length);
    }
    at += 5 + ((static_cast<unsigned char>(reply[at + 3]) << 8) |
               static_cast<unsigned char>(reply[at + 4]));
  }
}

// The client's bytes as TLS records: each with a known content type
// (change_cipher_spec, alert, handshake, application_data) and a 3.x version;
// a last record may be cut short by the close.
bool OnlyTlsRecords(std::string_view bytes) {
  while (bytes.size() >= 5) {
    const auto type = static_cast<unsigned char>(bytes[0]);
    if (type < 20 || type > 23 || bytes[1] != 3) return false;
    const std::size_t length =
        (static_cast<unsigned char>(bytes[3]) << 8) | static_cast<unsigned char>(bytes[4]);
    bytes.remove_prefix(std::min(bytes.size(), 5 + length));
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fuzz::Listener listener;
  const std::string_view reply = fuzz::AsText(data, size);
  bool byName = false;  // "localhost" (sent as the server name) or 127.0.0.1
  const std::vector<std::size_t> cuts = fuzz::Cuts(reply, byName);
  std::string sent;
  std::atomic<bool> clientDone{false};
  std::thread peer([&] {
    sent = fuzz::Serve(listener.fd, reply, cuts, clientDone, FirstRecordComplete, EchoSessionId);
  });

  const std::string url = std::string("https://") + (byName ? "localhost" : "127.0.0.1") + ":" +
                          std::to_string(listener.port) + "/DOWNLOADER/DownloadStream1v1.php";
  int works = 0;
  const Clock::time_point start = Clock::now();
  {
    HttpClient client;
    client.OnWorkBegin = [&](HttpClient&, TWorkMode, std::int64_t) { ++works; };
    try {
      client.Get(url);
      FUZZ_CHECK(false, "a Get ended normally without a trusted server");
    } catch (const ETlsError& e) {
      FUZZ_CHECK(std::string_view(e.what()).substr(0, 5) == "TLS: ",
                 std::string("a TLS error without its prefix: ") + e.what());
    } catch (const HttpError& e) {
      const std::string_view kind = e.Kind();
      FUZZ_CHECK(kind == "ESocketError" || kind == "EConnClosedGracefully",
                 std::string("an unexpected error kind: ") + e.Kind() + ": " + e.what());
    } catch (const std::exception& e) {
      FUZZ_CHECK(false, std::string("the Get raised: ") + e.what());
    }
    FUZZ_CHECK(works == 0, "a body read before the handshake was trusted");
  }
  clientDone = true;
  FUZZ_CHECK(Clock::now() - start < kGetLimit, "the Get took too long");
  peer.join();
  FUZZ_CHECK(!sent.empty() && static_cast<unsigned char>(sent[0]) == 22,
             "the client did not start with a handshake record");
  FUZZ_CHECK(OnlyTlsRecords(sent), "the client sent something other than TLS records");
  return 0;
}
