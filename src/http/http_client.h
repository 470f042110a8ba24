#pragma once
// The HTTP/1.1 client of a download job: GET into a stream or into a string,
// over one kept-alive connection, with its own cookie jar. Every outcome but a
// 2xx answer without Location ends the Get with an HttpError.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "http_request.h"
#include "http_response.h"
#include "proxy_rules.h"
#include "stream.h"
#include "work_mode.h"

namespace kalvoran {

// Enough for the one-word replies of the clean-up and statistics scripts,
// and no more: a server must not fill the job's memory through them.
constexpr std::size_t kShortReplyLimit = 64 * 1024;

// A request for the rest of a body whose first Offset bytes the target holds
// already: the target's position at the call is the body's byte Offset.
struct ResumeFrom {
  std::int64_t Offset = 0;  // 0: the whole body, no range asked for
  // The first answer's strong ETag or Last-Modified, sent as If-Range; empty:
  // none sent, and only the body's whole length tells it is the same body.
  std::string Validator;
  std::int64_t Total = -1;  // the whole body's length, when known
};

class HttpClient {
 public:
  using WorkBeginHandler =
      std::function<void(HttpClient& sender, TWorkMode mode, std::int64_t expected)>;
  using WorkHandler =
      std::function<void(HttpClient& sender, TWorkMode mode, std::int64_t countSoFar)>;
  using WorkEndHandler = std::function<void(HttpClient& sender, TWorkMode mode)>;

  HttpClient();
  ~HttpClient();  // closes the connection, releases the jar
  HttpClient(const HttpClient&) = delete;
  HttpClient& operator=(const HttpClient&) = delete;

  // The body goes into target from its position at the call. A counted body
  // that a close cuts short returns normally; the caller judges the shorter
  // target. Over TLS a body ended by a close without close-notify fails with
  // ETlsError instead: there nobody can tell a cut from the end.
  void Get(const std::string& url, Stream& target);
  // The same with "Range: bytes=Offset-". A 206 whose Content-Range starts at
  // Offset (and names Total, when known) goes on at the target's position; a
  // 200 is the whole body again and goes to where the body began, the target
  // cut there first; another 206 ends the Get with ERangeMismatch before any
  // of its body is written.
  void Get(const std::string& url, Stream& target, const ResumeFrom& from);
  // The body as bytes; empty when there is none. A body longer than `limit`
  // ends the Get with EStreamError before more than `limit` bytes are kept.
  std::string Get(const std::string& url, std::size_t limit = SIZE_MAX);
  // Safe from the transfer events and from another thread.
  void Disconnect();

  // Valid during the transfer events and after a request.
  const HttpResponse& Response() const;
  // How many response heads this client has read: whether a failed request
  // got as far as an answer.
  std::uint64_t ResponseHeads() const;

  std::int64_t Tag = 0;  // the caller's; the client never reads it

  // Settings. HTTP/1.1, cookies kept, no time-outs unless set (a download
  // job sets them), no proxy unless set. Redirects are never followed and
  // servers get no credentials. "https" addresses run TLS with the server's
  // certificate verified; nothing ever falls back to plain HTTP.
  TProtocolVersion ProtocolVersion = pv1_1;  // also chooses the keep-alive rule
  bool AllowCookies = true;
  int ReadTimeout = 0;  // ms per wait for data; 0 = no limit
  // ms for connecting, TLS handshake included; -1 = ReadTimeout, 0 = the
  // system's own.
  int ConnectTimeout = -1;
  // ms for a whole request, from connecting to its last byte; 0 = no limit.
  int RequestTimeout = 0;
  std::string CaFile;  // trusted certificates (PEM) for TLS; empty = the system's
  // The proxy of each request: http goes to it in absolute form over a
  // connection kept per proxy, https through a CONNECT tunnel with TLS to the
  // server inside. Its failures name it.
  ProxyRules Proxies;

  // After every response head has been read and parsed (a skipped 100 one
  // included), before its body; for diagnostics.
  std::function<void(HttpClient& sender)> OnResponseHead;

  WorkBeginHandler OnWorkBegin;
  WorkHandler OnWork;
  WorkEndHandler OnWorkEnd;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace kalvoran
