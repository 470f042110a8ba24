// A whole Get against a peer that replays the input as the server's reply,
// in pieces cut at points derived from the input, and then closes. The Get
// ends normally or with one of the client's error kinds, in bounded time;
// the target is never sized beyond what arrived plus what was announced, the
// transfer events pair up, and a normal end is a 2xx answer.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <limits>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "errors.h"
#include "fuzz_check.h"
#include "http_client.h"
#include "loopback_peer.h"
#include "stream.h"

namespace {

using namespace kalvoran;
using Clock = std::chrono::steady_clock;

// Far more than any input needs: the peer closes after replaying.
constexpr auto kGetLimit = std::chrono::seconds(5);

// A target that checks how the client sizes and fills it.
class CheckedStream final : public Stream {
 public:
  std::int64_t Position() const override { return position_; }
  void Seek(std::int64_t position) override {
    FUZZ_CHECK(position >= 0 && position <= size_, "a seek outside the target");
    position_ = position;
  }
  std::int64_t Size() const override { return size_; }
  void SetSize(std::int64_t size) override {
    FUZZ_CHECK(size >= 0, "a negative target size");
    size_ = size;
    maxSize_ = std::max(maxSize_, size);
    if (static_cast<std::uint64_t>(size) < data_.size())
      data_.resize(static_cast<std::size_t>(size));
    if (position_ > size_) position_ = size_;
  }
  void Write(const char* data, std::size_t count) override {
    const auto pos = static_cast<std::size_t>(position_);
    FUZZ_CHECK(pos <= data_.size(), "a write beyond the bytes written so far");
    data_.replace(pos, std::min(count, data_.size() - pos), data, count);
    position_ += static_cast<std::int64_t>(count);
    size_ = std::max(size_, position_);
    maxSize_ = std::max(maxSize_, size_);
  }
  const std::string& Data() const { return data_; }
  std::int64_t MaxSize() const { return maxSize_; }

 private:
  std::string data_;
  std::int64_t size_ = 0;
  std::int64_t position_ = 0;
  std::int64_t maxSize_ = 0;
};

// The transfer events, checked for pairing and for the target's size.
struct EventLog {
  const Stream* target = nullptr;  // nullptr: a Get into a string
  int depth = 0;
  std::int64_t expected = 0;
  std::int64_t last = 0;
  std::int64_t startPosition = 0;
  std::int64_t announced = 0;  // the sum of all announced counts
  static constexpr std::int64_t kMaxCount = std::numeric_limits<std::int64_t>::max();

  void Attach(HttpClient& client) {
    client.OnWorkBegin = [this](HttpClient& sender, TWorkMode mode, std::int64_t count) {
      FUZZ_CHECK(mode == wmRead, "a GET that writes");
      FUZZ_CHECK(depth == 0, "work begins twice");
      FUZZ_CHECK(count >= 0, "a negative expected count");
      depth = 1;
      expected = count;
      last = 0;
      // Saturating: two huge chunks must not wrap the sum.
      announced = count > kMaxCount - announced ? kMaxCount : announced + count;
      const Stream* stream = sender.Response().ContentStream;
      FUZZ_CHECK(stream != nullptr, "a body without a stream");
      if (stream == target && count > 0) {
        startPosition = stream->Position();
        FUZZ_CHECK(stream->Size() == startPosition + count, "the target is not sized to the body");
      }
    };
    client.OnWork = [this](HttpClient& sender, TWorkMode, std::int64_t count) {
      FUZZ_CHECK(depth == 1, "work outside begin and end");
      FUZZ_CHECK(count > last, "work counts that do not rise");
      FUZZ_CHECK(expected == 0 || count <= expected, "more work than announced");
      last = count;
      const Stream* stream = sender.Response().ContentStream;
      if (stream == target && expected > 0) {
        FUZZ_CHECK(stream->Size() == startPosition + expected, "the target's size moved");
      }
    };
    client.OnWorkEnd = [this](HttpClient&, TWorkMode) {
      FUZZ_CHECK(depth == 1, "work ends without a begin");
      depth = 0;
    };
  }
};

bool ListedKind(const HttpError& e) {
  const std::string_view kind = e.Kind();
  for (std::string_view listed :
       {"EHttpProtocolError", "EClientError", "ESocketError", "EConnClosedGracefully",
        "ENotConnected", "EReadTimeout", "EMaxLineLengthExceeded", "EStreamError"}) {
    if (kind == listed) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fuzz::Listener listener;
  const std::string_view reply = fuzz::AsText(data, size);
  bool intoString = false;
  const std::vector<std::size_t> cuts = fuzz::Cuts(reply, intoString);
  std::atomic<bool> clientDone{false};
  std::thread peer([&] {
    fuzz::Serve(listener.fd, reply, cuts, clientDone, [](const std::string& request) {
      return request.find("\r\n\r\n") != std::string::npos;
    });
  });

  const std::string url = "http://127.0.0.1:" + std::to_string(listener.port) +
                          "/DOWNLOADER/DownloadStream1v1.php?Reg=1&Subor=a.pdf";
  CheckedStream target;
  std::string body;
  EventLog events;
  bool ok = false;
  const Clock::time_point start = Clock::now();
  {
    HttpClient client;
    events.target = intoString ? nullptr : &target;
    events.Attach(client);
    try {
      if (intoString) {
        body = client.Get(url);
      } else {
        client.Get(url, target);
        body = target.Data();
      }
      ok = true;
    } catch (const EHttpProtocolError& e) {
      // what() is a C string: a NUL byte in the status line ends the message.
      const std::string& status = client.Response().ResponseText;
      FUZZ_CHECK(e.what() == status.substr(0, status.find('\0')),
                 "the message is not the status line");
      FUZZ_CHECK(e.ErrorCode() == client.Response().ResponseCode, "the error's code differs");
    } catch (const HttpError& e) {
      FUZZ_CHECK(ListedKind(e), std::string("an unlisted error kind: ") + e.Kind());
    } catch (const std::exception& e) {
      FUZZ_CHECK(false, std::string("the Get raised: ") + e.what());
    }
    FUZZ_CHECK(events.depth == 0, "work begun and never ended");

    const HttpResponse& r = client.Response();
    if (ok) {
      FUZZ_CHECK(r.ResponseCode >= 200 && r.ResponseCode <= 299 && r.Location.empty(),
                 "a normal end without a 2xx answer: " + r.ResponseText);
      // An unchunked body is one run of the reply's bytes.
      if (r.ContentLength > 0 ||
          r.RawHeaders.Value("Transfer-Encoding").find("chunked") == std::string::npos) {
        FUZZ_CHECK(reply.find(body) != std::string_view::npos, "body bytes that never arrived");
      }
    }
  }
  clientDone = true;
  FUZZ_CHECK(Clock::now() - start < kGetLimit, "the Get took too long");
  peer.join();

  FUZZ_CHECK(body.size() <= reply.size(), "a body longer than the reply");
  FUZZ_CHECK(target.Size() == static_cast<std::int64_t>(target.Data().size()),
             "the target was not cut back to the bytes written");
  FUZZ_CHECK(target.MaxSize() - static_cast<std::int64_t>(reply.size()) <= events.announced,
             "the target grew beyond what arrived and what was announced");
  return 0;
}
