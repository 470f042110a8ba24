#include "http_client.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <optional>

#include "chunk_size.h"
#include "connection.h"
#include "cookie_jar.h"
#include "errors.h"
#include "header_list.h"
#include "internet_date.h"
#include "memory_stream.h"
#include "proxy_request.h"
#include "response_head.h"
#include "uri.h"

namespace kalvoran {

namespace {

// An error body must come within this long per wait, whatever ReadTimeout is.
constexpr int kErrorBodyTimeoutMs = 2000;
// Nobody reads more of an error body than its start: the rest of it, however
// much a server announces or streams, is left unread and the connection
// closed.
constexpr std::size_t kErrorBodyLimit = 64 * 1024;
// A response head beyond these is no head a server means: the client would
// otherwise keep whatever a server streams as header lines.
constexpr std::size_t kHeadByteLimit = 1024 * 1024;
constexpr std::size_t kHeadLineLimit = 10000;
// A proxy's answer to CONNECT is a status line and a few headers.
constexpr int kTunnelHeadLineLimit = 100;

// The start of an error body: keeps the first `limit` bytes, then ends the
// read by raising BodyLimitReached.
class ErrorBodyStream final : public Stream {
 public:
  struct BodyLimitReached {};

  explicit ErrorBodyStream(std::size_t limit) : limit_(limit) {}
  std::int64_t Position() const override { return body_.Position(); }
  void Seek(std::int64_t position) override { body_.Seek(position); }
  std::int64_t Size() const override { return body_.Size(); }
  void SetSize(std::int64_t size) override { body_.SetSize(size); }
  void Write(const char* data, std::size_t count) override {
    const std::size_t kept = body_.Data().size();
    const std::size_t room = kept < limit_ ? limit_ - kept : 0;
    body_.Write(data, std::min(count, room));
    if (count >= room) throw BodyLimitReached{};
  }
  std::string TakeData() { return body_.TakeData(); }

 private:
  MemoryStream body_;
  std::size_t limit_;
};

void CheckTargetRoom(const Stream& target, std::int64_t count) {
  if (count > std::numeric_limits<std::int64_t>::max() - target.Position()) {
    throw EStreamError("Stream size out of range");
  }
}

}  // namespace

struct HttpClient::Impl {
  explicit Impl(HttpClient& owner);
  ~Impl();

  void DoRequest(const std::string& url, Stream& target, const ResumeFrom& from);
  void PrepareRequest(const std::string& url, const ResumeFrom& from);
  void PlaceResumedBody(Stream& target, const ResumeFrom& from);
  void OpenConnection();
  void ConnectThroughProxy(bool tunnel, int timeout);
  void OpenTunnel();
  void WriteRequest();
  void ReadResponseHead();
  void ReadBody(Stream& target);
  void ReadWholeBody(Stream& target);
  void ReadChunkedBody(Stream& target);
  [[noreturn]] void FailWithErrorBody();
  void EndRequest(bool inSync);

  HttpClient& owner;
  Connection connection;
  std::string host;  // the server of the open or next connection
  int port = 80;
  std::optional<ProxyServer> proxy;  // the proxy of the open or next connection
  // Where the open connection leads: the server, the proxy, or a tunnel
  // through the proxy to the server. Another route needs another connection.
  std::string route;
  bool keepAlive = true;  // the last response let the connection stay open
  Uri uri;                // the current address; relative ones resolve against it
  HttpRequest request;
  HttpResponse response;
  std::unique_ptr<CookieJar> jar;
  std::uint64_t heads = 0;  // response heads read
};

HttpClient::Impl::Impl(HttpClient& o) : owner(o) {
  uri.Port = "80";
  connection.OnWorkBegin = [this](TWorkMode mode, std::int64_t expected) {
    if (owner.OnWorkBegin) owner.OnWorkBegin(owner, mode, expected);
  };
  connection.OnWork = [this](TWorkMode mode, std::int64_t count) {
    if (owner.OnWork) owner.OnWork(owner, mode, count);
  };
  connection.OnWorkEnd = [this](TWorkMode mode) {
    if (owner.OnWorkEnd) owner.OnWorkEnd(owner, mode);
  };
}

HttpClient::Impl::~Impl() {
  try {
    connection.Disconnect();
  } catch (...) {  // nothing left to tell anyone
  }
}

void HttpClient::Impl::DoRequest(const std::string& url, Stream& target, const ResumeFrom& from) {
  response.ContentStream = &target;
  std::optional<std::chrono::steady_clock::time_point> deadline;
  if (owner.RequestTimeout > 0) {
    deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(owner.RequestTimeout);
  }
  connection.SetDeadline(deadline);
  // Whether the connection stands between two exchanges: a request that
  // failed halfway leaves unread bytes that must not pass for the next
  // response, so such a connection is never kept.
  bool inSync = true;
  try {
    PrepareRequest(url, from);
    OpenConnection();
    inSync = false;
    WriteRequest();
    ReadResponseHead();

    // Redirects are never followed and only a 2xx answer succeeds; any other
    // answer's body is read before the request fails with its status line.
    const int code = response.ResponseCode;
    const int d = code / 100;
    const bool redirect = (d == 3 && code != 304) || !response.Location.empty();
    if (redirect || d != 2) FailWithErrorBody();
    if (!connection.Connected()) throw EClientError("Undefined situation");
    if (from.Offset > 0) PlaceResumedBody(target, from);
    if (code != 204) ReadWholeBody(target);
    inSync = true;
  } catch (const EHttpProtocolError&) {
    response.ContentStream = nullptr;
    EndRequest(true);
    throw;
  } catch (...) {
    response.ContentStream = nullptr;
    EndRequest(inSync);
    throw;
  }
  response.ContentStream = nullptr;
  EndRequest(true);
}

void HttpClient::Impl::PrepareRequest(const std::string& url, const ResumeFrom& from) {
  request = HttpRequest{};
  if (from.Offset > 0) {
    request.ContentRangeStart = from.Offset;
    request.IfRange = from.Validator;
  }
  PrepareUri(uri, url);
  request.Username = uri.Username;
  request.Password = uri.Password;
  request.Url = RequestTarget(uri);
  request.Host = HostHeader(uri);
  request.ContentLength = -1;
  if (owner.ProtocolVersion == pv1_0) request.Connection = "keep-alive";
  if (jar) request.Cookie = jar->CookieHeader(uri.Host, uri.Path, NowUtc());
}

void HttpClient::Impl::OpenConnection() {
  // A port that is no number can name no socket address.
  const std::optional<std::int64_t> parsed = ParseDecimal(uri.Port);
  if (!parsed || *parsed < 0 || *parsed > 65535) throw ESocketError(10049);
  host = uri.Host;
  port = static_cast<int>(*parsed);
  const bool tls = EqualsNoCase(uri.Protocol, "https");
  if (tls && !TlsSession::Available()) throw EClientError("IOHandler value is not valid");
  proxy = owner.Proxies.For(uri.Protocol, uri.Host);
  if (proxy && !proxy->Error.empty()) {
    EClientError unusable(proxy->Error);
    unusable.MarkAtProxy();
    throw unusable;
  }

  std::string next;
  if (!proxy) {
    next = std::string(tls ? "https://" : "http://") + host + ":" + std::to_string(port);
  } else {
    // Plain requests to any server share the connection to their proxy.
    next = "proxy " + proxy->Name();
    if (tls) next += " tunnel " + host + ":" + std::to_string(port);
  }
  if (!EqualsNoCase(next, route)) {
    connection.Disconnect();
    route = next;
  }
  if (proxy && !tls) {
    request.Url = AbsoluteTarget(uri);
    request.ProxyAuthorization = ProxyAuthorization(*proxy);
  }

  if (!keepAlive) connection.Disconnect();
  connection.CheckForGracefulDisconnect(false);
  connection.ReadTimeout = owner.ReadTimeout;
  if (connection.Connected()) return;
  const TlsSettings settings{owner.CaFile};
  const int timeout = owner.ConnectTimeout < 0 ? owner.ReadTimeout : owner.ConnectTimeout;
  if (!proxy) {
    connection.Connect(host, port, timeout, tls ? &settings : nullptr);
    return;
  }
  const auto started = std::chrono::steady_clock::now();
  ConnectThroughProxy(tls, timeout);
  if (tls) {
    int left = timeout;
    if (timeout > 0) {
      const auto used = std::chrono::duration_cast<std::chrono::milliseconds>(
          std::chrono::steady_clock::now() - started);
      left = static_cast<int>(std::max<std::int64_t>(1, timeout - used.count()));
    }
    connection.StartTls(host, settings, left);
  }
}

void HttpClient::Impl::ConnectThroughProxy(bool tunnel, int timeout) {
  try {
    connection.Connect(proxy->Host, proxy->Port, timeout);
    if (tunnel) OpenTunnel();
  } catch (HttpError& e) {
    if (!dynamic_cast<EHttpProtocolError*>(&e)) e.AppendToMessage(" (proxy " + proxy->Name() + ")");
    e.MarkAtProxy();
    connection.Disconnect();
    throw;
  }
}

void HttpClient::Impl::OpenTunnel() {
  connection.OpenWriteBuffer(-1);
  try {
    connection.Write(ConnectHead(host, port, *proxy, request.UserAgent));
    connection.CloseWriteBuffer();
  } catch (...) {
    connection.CancelWriteBuffer();
    throw;
  }
  const std::string status = connection.ReadLn();
  int lines = 0;
  for (std::string line = connection.ReadLn(); !line.empty(); line = connection.ReadLn()) {
    if (++lines > kTunnelHeadLineLimit) {
      throw EMaxLineLengthExceeded("Proxy answer too large: more than 100 lines.");
    }
  }
  // A proxy that closed before its answer ended opened no tunnel.
  if (connection.ReadLnClosedEarly()) throw EConnClosedGracefully();
  const int code = ParseResponseCode(status);
  if (code / 100 != 2) {
    // Its body, if any, is the proxy's page about itself: the connection
    // cannot carry anything else now.
    EHttpProtocolError refused(code, "The proxy " + proxy->Name() + " answered: " + status, "");
    refused.MarkAtProxy();
    throw refused;
  }
}

void HttpClient::Impl::PlaceResumedBody(Stream& target, const ResumeFrom& from) {
  if (response.ResponseCode == 206) {
    const bool fits = response.ContentRangeStart == from.Offset &&
                      (from.Total < 0 || response.ContentRangeTotal == from.Total);
    if (!fits) throw ERangeMismatch();
    return;
  }
  // The server sent the whole body (it ignored the range, or the body has
  // changed since): it replaces what the target held of it.
  const std::int64_t start = target.Position() - from.Offset;
  target.Seek(start);
  target.SetSize(start);
}

void HttpClient::Impl::WriteRequest() {
  const std::string head = RequestHead(request, owner.ProtocolVersion);
  connection.OpenWriteBuffer(-1);
  try {
    connection.Write(head);
    connection.CloseWriteBuffer();
  } catch (...) {
    connection.CancelWriteBuffer();
    throw;
  }
}

void HttpClient::Impl::ReadResponseHead() {
  // Counted over every head of the response, skipped 100 answers included,
  // each line with its line end as CR LF.
  std::size_t headBytes = 0;
  std::size_t headLines = 0;
  auto count = [&](const std::string& line, int lines) {
    headBytes += line.size() + 2;
    headLines += static_cast<std::size_t>(lines);
    if (headLines > kHeadLineLimit || headBytes > kHeadByteLimit) {
      throw EMaxLineLengthExceeded("Response head too large: more than 1 MiB or 10000 lines.");
    }
  };
  do {
    response.ResponseText = connection.ReadLn();
    count(response.ResponseText, 0);
    response.RawHeaders.Clear();
    try {
      for (std::string line = connection.ReadLn(); !line.empty(); line = connection.ReadLn()) {
        count(line, 1);
        response.RawHeaders.AddLine(std::move(line));
      }
    } catch (const EConnClosedGracefully&) {
      // The server closed during the headers: what came is the whole head.
      connection.Disconnect();
    }
    const std::int64_t now = NowUtc();
    FillResponseFields(response, now);
    if (owner.AllowCookies) {
      if (!jar) jar = std::make_unique<CookieJar>();
      jar->Store(response.RawHeaders, uri.Host, now);
    }
    response.ResponseCode = ParseResponseCode(response.ResponseText);
    ++heads;
    if (owner.OnResponseHead) owner.OnResponseHead(owner);
  } while (response.ResponseCode == 100);
}

void HttpClient::Impl::ReadBody(Stream& target) {
  if (response.ContentLength > 0) {
    CheckTargetRoom(target, response.ContentLength);
    try {
      connection.ReadStream(target, response.ContentLength, false);
    } catch (const EConnClosedGracefully&) {
      // A body cut short by the server's close still counts as read; the
      // caller judges the shorter target.
    }
  } else if (response.RawHeaders.Value("Transfer-Encoding").find("chunked") != std::string::npos) {
    ReadChunkedBody(target);
  } else if (!response.HasContentLength) {
    connection.ReadStream(target, -1, true);
  }
}

void HttpClient::Impl::ReadWholeBody(Stream& target) {
  try {
    ReadBody(target);
  } catch (const EConnClosedGracefully&) {
    if (!connection.TlsCut()) throw;
  }
  // Over TLS only close-notify ends a body at a close: a bare close may be an
  // attacker's, and a cut file must not pass for a whole one.
  if (connection.TlsCut())
    throw ETlsError("TLS: the connection was cut before the end of the body", true);
}

void HttpClient::Impl::ReadChunkedBody(Stream& target) {
  std::int64_t size = ParseChunkSize(connection.ReadLn());
  while (size > 0) {
    CheckTargetRoom(target, size);
    connection.ReadStream(target, size, false);
    // A Disconnect during the chunk ends the body early, without an error.
    if (!connection.Connected()) return;
    connection.ReadLn();
    size = ParseChunkSize(connection.ReadLn());
  }
  connection.ReadLn();
}

void HttpClient::Impl::FailWithErrorBody() {
  ErrorBodyStream body(kErrorBodyLimit);
  Stream* const target = response.ContentStream;
  const int timeout = connection.ReadTimeout;
  response.ContentStream = &body;
  connection.ReadTimeout = kErrorBodyTimeoutMs;
  try {
    ReadBody(body);
  } catch (const ErrorBodyStream::BodyLimitReached&) {
    // The rest stays unread, so the connection cannot serve another request.
    connection.Disconnect();
  } catch (...) {
    connection.ReadTimeout = timeout;
    response.ContentStream = target;
    throw;
  }
  connection.ReadTimeout = timeout;
  response.ContentStream = target;
  std::string message = response.ResponseText;
  // Inside a tunnel only the server answers; otherwise the proxy may have.
  const bool viaProxy = proxy && !EqualsNoCase(uri.Protocol, "https");
  if (viaProxy && response.ResponseCode == 407) {
    message = "The proxy " + proxy->Name() + " answered: " + message;
  } else if (viaProxy) {
    message += " (through the proxy " + proxy->Name() + ")";
  }
  throw EHttpProtocolError(response.ResponseCode, message, body.TakeData());
}

void HttpClient::Impl::EndRequest(bool inSync) {
  try {
    bool keep = false;
    if (inSync && connection.Connected()) {
      const std::string_view conn = Trim(response.Connection);
      const std::string_view proxy = Trim(response.ProxyConnection);
      if (owner.ProtocolVersion == pv1_1) {
        keep = !EqualsNoCase(conn, "close") && !EqualsNoCase(proxy, "close");
      } else {
        keep = EqualsNoCase(conn, "keep-alive") || EqualsNoCase(proxy, "keep-alive");
      }
    }
    keepAlive = keep;
    if (!keep) connection.Disconnect();
  } catch (...) {
    keepAlive = false;
  }
}

HttpClient::HttpClient() : impl_(std::make_unique<Impl>(*this)) {}

HttpClient::~HttpClient() = default;

void HttpClient::Get(const std::string& url, Stream& target) {
  impl_->DoRequest(url, target, ResumeFrom{});
}

void HttpClient::Get(const std::string& url, Stream& target, const ResumeFrom& from) {
  impl_->DoRequest(url, target, from);
}

std::string HttpClient::Get(const std::string& url, std::size_t limit) {
  MemoryStream body(limit);
  impl_->DoRequest(url, body, ResumeFrom{});
  return body.TakeData();
}

void HttpClient::Disconnect() {
  impl_->connection.Disconnect();
}

const HttpResponse& HttpClient::Response() const {
  return impl_->response;
}

std::uint64_t HttpClient::ResponseHeads() const {
  return impl_->heads;
}

}  // namespace kalvoran
