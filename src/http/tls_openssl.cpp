// TLS sessions on OpenSSL. Nothing here runs before the first "https"
// connection: a plain-HTTP job never initialises the library.
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#ifndef _WIN32
#include <sys/socket.h>
#endif

#include <cerrno>
#include <map>
#include <mutex>

#include "errors.h"
#include "tls_session.h"

namespace kalvoran {

namespace {

bool IsIpAddress(const std::string& host) {
  ASN1_OCTET_STRING* ip = a2i_IPADDRESS(host.c_str());
  if (ip == nullptr) return false;
  ASN1_OCTET_STRING_free(ip);
  return true;
}

std::string ErrorQueueText() {
  const unsigned long e = ERR_peek_last_error();
  ERR_clear_error();
  if (e == 0) return "unknown error";
  const char* reason = ERR_reason_error_string(e);
  return reason ? reason : "unknown error";
}

// One context per trust store, made on first use and kept for the process:
// loading the system's store for every connection would cost more than the
// handshake.
SSL_CTX* ContextFor(const std::string& caFile) {
  static std::mutex mutex;
  // Never destroyed: the contexts stay reachable to the end of the process,
  // also for leak checkers that look after static destructors have run.
  static auto& contexts = *new std::map<std::string, SSL_CTX*>;
  std::lock_guard lock(mutex);
  if (auto it = contexts.find(caFile); it != contexts.end()) return it->second;
  SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
  if (ctx == nullptr) throw ETlsError("TLS: cannot set up: " + ErrorQueueText());
  SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
  SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
  // SSL_OP_IGNORE_UNEXPECTED_EOF stays off: it would make a close without
  // close-notify look like one with it, and a cut body like a whole one.
  SSL_CTX_set_mode(ctx, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
  const int loaded = caFile.empty() ? SSL_CTX_set_default_verify_paths(ctx)
                                    : SSL_CTX_load_verify_locations(ctx, caFile.c_str(), nullptr);
  if (loaded != 1) {
    const std::string why = ErrorQueueText();
    SSL_CTX_free(ctx);
    throw ETlsError("TLS: cannot load the trusted certificates" +
                    (caFile.empty() ? std::string() : " from " + caFile) + ": " + why);
  }
  contexts.emplace(caFile, ctx);
  return ctx;
}

#ifdef MSG_NOSIGNAL
// OpenSSL's socket BIO sends with write(), which raises SIGPIPE on a socket
// whose peer has gone. This one is that BIO but sends with MSG_NOSIGNAL, as
// plain connections do: a server gone mid-request is an error, not the end of
// the program.
int SendWithoutSignal(BIO* bio, const char* data, int size) {
  errno = 0;
  const auto n = ::send(static_cast<int>(BIO_get_fd(bio, nullptr)), data,
                        static_cast<std::size_t>(size), MSG_NOSIGNAL);
  BIO_clear_retry_flags(bio);
  if (n <= 0 && BIO_sock_should_retry(static_cast<int>(n))) BIO_set_retry_write(bio);
  return static_cast<int>(n);
}

const BIO_METHOD* SocketMethod() {
  static BIO_METHOD* const method = [] {
    const BIO_METHOD* socket = BIO_s_socket();
    BIO_METHOD* m = BIO_meth_new(BIO_TYPE_SOCKET, "socket without SIGPIPE");
    if (m == nullptr) return m;
    BIO_meth_set_write(m, SendWithoutSignal);
    BIO_meth_set_read(m, BIO_meth_get_read(socket));
    BIO_meth_set_puts(m, BIO_meth_get_puts(socket));
    BIO_meth_set_ctrl(m, BIO_meth_get_ctrl(socket));
    BIO_meth_set_create(m, BIO_meth_get_create(socket));
    BIO_meth_set_destroy(m, BIO_meth_get_destroy(socket));
    return m;
  }();
  return method;
}
#else
const BIO_METHOD* SocketMethod() {
  return BIO_s_socket();
}
#endif

class OpenSslSession final : public TlsSession {
 public:
  explicit OpenSslSession(SSL* ssl) : ssl_(ssl) {}
  ~OpenSslSession() override { SSL_free(ssl_); }

  Io Handshake() override {
    ERR_clear_error();
    errno = 0;
    const int r = SSL_connect(ssl_);
    if (r == 1) return Io::kDone;
    return Outcome(r, true);
  }

  Io Read(char* buffer, std::size_t size, std::size_t& done) override {
    ERR_clear_error();
    done = 0;
    errno = 0;
    const int r = SSL_read_ex(ssl_, buffer, size, &done);
    if (r == 1) return Io::kDone;
    return Outcome(r, false);
  }

  Io Write(const char* data, std::size_t size, std::size_t& done) override {
    ERR_clear_error();
    done = 0;
    errno = 0;
    const int r = SSL_write_ex(ssl_, data, size, &done);
    if (r == 1) return Io::kDone;
    return Outcome(r, false);
  }

  bool ClosedWithoutNotify() const override { return closedWithoutNotify_; }
  bool Pending() override { return SSL_pending(ssl_) > 0; }

  void SendCloseNotify() override {
    // OpenSSL forbids it after a fatal error; a session never through its
    // handshake has nothing to end.
    if (failed_ || !SSL_is_init_finished(ssl_)) return;
    failed_ = true;  // once
    ERR_clear_error();
    SSL_shutdown(ssl_);
    ERR_clear_error();
  }
  int SocketError() const override { return socketError_; }
  std::string Failure() const override { return failure_; }

 private:
  Io Outcome(int result, bool handshake) {
    const Io io = Classify(result, handshake);
    if (io == Io::kFailed || io == Io::kClosed) failed_ = true;
    return io;
  }

  Io Classify(int result, bool handshake) {
    const int e = SSL_get_error(ssl_, result);
    switch (e) {
      case SSL_ERROR_WANT_READ:
        return Io::kWantRead;
      case SSL_ERROR_WANT_WRITE:
        return Io::kWantWrite;
      case SSL_ERROR_ZERO_RETURN:
        return Io::kClosed;
      case SSL_ERROR_SYSCALL:
        if (errno != 0 && ERR_peek_error() == 0) {
          socketError_ = net::MapSocketError(errno);
          return Io::kFailed;
        }
        break;
      default:
        break;
    }
    // A TCP close without close-notify: an empty error queue (OpenSSL 1.1) or
    // an unexpected end of file. Outside the handshake it is a close that the
    // reader must not take for the end of the data.
    const bool bareClose = (e == SSL_ERROR_SYSCALL && ERR_peek_error() == 0) ||
                           (e == SSL_ERROR_SSL &&
                            ERR_GET_REASON(ERR_peek_error()) == SSL_R_UNEXPECTED_EOF_WHILE_READING);
    if (bareClose) {
      ERR_clear_error();
      if (!handshake) {
        closedWithoutNotify_ = true;
        return Io::kClosed;
      }
    }
    const long verify = SSL_get_verify_result(ssl_);
    if (handshake && verify != X509_V_OK) {
      ERR_clear_error();
      failure_ =
          std::string("TLS: certificate verify failed: ") + X509_verify_cert_error_string(verify);
    } else if (handshake && ERR_peek_error() == 0) {
      failure_ = "TLS: handshake failed: the server closed the connection";
    } else {
      failure_ = std::string(handshake ? "TLS: handshake failed: " : "TLS: ") + ErrorQueueText();
    }
    return Io::kFailed;
  }

  SSL* ssl_;
  bool failed_ = false;  // or ended: no close-notify of ours any more
  bool closedWithoutNotify_ = false;
  int socketError_ = 0;
  std::string failure_;
};

}  // namespace

bool TlsSession::Available() {
  return true;
}

std::unique_ptr<TlsSession> TlsSession::Create(net::SocketHandle s, const std::string& host,
                                               const TlsSettings& settings) {
  SSL_CTX* ctx = ContextFor(settings.CaFile);
  SSL* ssl = SSL_new(ctx);
  if (ssl == nullptr) throw ETlsError("TLS: cannot set up: " + ErrorQueueText());
  auto session = std::make_unique<OpenSslSession>(ssl);
  BIO* bio = SocketMethod() ? BIO_new(SocketMethod()) : nullptr;
  bool ok = bio != nullptr;
  if (ok) {
    BIO_set_fd(bio, static_cast<int>(s), BIO_NOCLOSE);
    SSL_set_bio(ssl, bio, bio);  // the session owns it now
  }
  if (IsIpAddress(host)) {
    ok = ok && X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), host.c_str()) == 1;
  } else {
    ok = ok && SSL_set_tlsext_host_name(ssl, host.c_str()) == 1;
    ok = ok && SSL_set1_host(ssl, host.c_str()) == 1;
  }
  if (!ok) throw ETlsError("TLS: cannot set up: " + ErrorQueueText());
  return session;
}

}  // namespace kalvoran
