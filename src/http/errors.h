#pragma once
// The error kinds that end a request. Every one carries a fixed English
// message; callers catch them all alike (HttpError, or std::exception).
#include <cstdint>
#include <stdexcept>
#include <string>

namespace kalvoran {

class HttpError : public std::runtime_error {
 public:
  explicit HttpError(const std::string& message) : std::runtime_error(message), message_(message) {}
  const char* what() const noexcept override { return message_.c_str(); }
  // The kind's own name, e.g. "ESocketError", for diagnostics and tools.
  virtual const char* Kind() const noexcept = 0;
  // Adds where the error happened, e.g. " (proxy 10.0.0.1:3128)", keeping
  // the kind: callers still tell the errors apart by their kinds.
  void AppendToMessage(const std::string& text) { message_ += text; }
  // Whether the proxy, not the server, failed: it could not be reached,
  // refused, or its setting cannot be used.
  bool AtProxy() const noexcept { return atProxy_; }
  void MarkAtProxy() noexcept { atProxy_ = true; }

 private:
  std::string message_;
  bool atProxy_ = false;
};

#define KALVORAN_FIXED_ERROR(Name, Message)                      \
  class Name : public HttpError {                                \
   public:                                                       \
    Name() : HttpError(Message) {}                               \
    const char* Kind() const noexcept override { return #Name; } \
  }

KALVORAN_FIXED_ERROR(EConnClosedGracefully, "Connection Closed Gracefully.");
KALVORAN_FIXED_ERROR(ENotConnected, "Not Connected");
KALVORAN_FIXED_ERROR(EReadTimeout, "Read Timeout");
KALVORAN_FIXED_ERROR(EConnectTimeout, "Connect timed out.");
KALVORAN_FIXED_ERROR(ECannotAllocateSocket, "Cannot allocate socket.");
KALVORAN_FIXED_ERROR(ECouldNotBindSocket,
                     "Could not bind socket. Address and port are already in use.");
#undef KALVORAN_FIXED_ERROR

// A line too long to read; also a response head too large to keep, which
// says so in its own message.
class EMaxLineLengthExceeded : public HttpError {
 public:
  EMaxLineLengthExceeded() : HttpError("Max line length exceeded.") {}
  explicit EMaxLineLengthExceeded(const std::string& message) : HttpError(message) {}
  const char* Kind() const noexcept override { return "EMaxLineLengthExceeded"; }
};

// The text of a Windows socket error code; empty for codes without one.
std::string SocketErrorText(int code);

// "Socket Error # " + code + CR LF + text.
class ESocketError : public HttpError {
 public:
  explicit ESocketError(int code);
  int Code() const noexcept { return code_; }
  const char* Kind() const noexcept override { return "ESocketError"; }

 private:
  int code_;
};

class EClientError : public HttpError {
 public:
  explicit EClientError(const std::string& message) : HttpError(message) {}
  const char* Kind() const noexcept override { return "EClientError"; }
};

// A non-2xx or redirect answer: the status line as received is the message,
// the body as read is the error text.
class EHttpProtocolError : public HttpError {
 public:
  EHttpProtocolError(int code, const std::string& statusLine, std::string errorText)
      : HttpError(statusLine), code_(code), errorText_(std::move(errorText)) {}
  int ErrorCode() const noexcept { return code_; }
  const std::string& ErrorMessage() const noexcept { return errorText_; }
  const char* Kind() const noexcept override { return "EHttpProtocolError"; }

 private:
  int code_;
  std::string errorText_;
};

// A TLS connection that cannot be trusted or kept: an unverifiable
// certificate, a failed handshake, an alert, a body cut by a close without
// close-notify. The message says what failed.
class ETlsError : public HttpError {
 public:
  explicit ETlsError(const std::string& message, bool cut = false)
      : HttpError(message), cut_(cut) {}
  const char* Kind() const noexcept override { return "ETlsError"; }
  // The connection broke (under a body, or in the handshake): a network's
  // fault, worth another try, unlike a certificate or protocol failure.
  bool ConnectionCut() const noexcept { return cut_; }

 private:
  bool cut_;
};

// A 206 answer to a request for the rest of a body that is not that rest:
// another start, or another whole length (the body changed meanwhile).
class ERangeMismatch : public HttpError {
 public:
  ERangeMismatch() : HttpError("The server sent another part of the body than was asked for.") {}
  const char* Kind() const noexcept override { return "ERangeMismatch"; }
};

// A target stream that cannot be written, sized or closed (disk full, folder gone).
class EStreamError : public HttpError {
 public:
  explicit EStreamError(const std::string& message, int systemError = 0)
      : HttpError(message), systemError_(systemError) {}
  const char* Kind() const noexcept override { return "EStreamError"; }
  // The file system's errno value when it refused, so that the user can be
  // told a full disk from a folder that cannot be written; 0 when unknown.
  int SystemError() const noexcept { return systemError_; }

 private:
  int systemError_;
};

}  // namespace kalvoran
