#include "test_certificates.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "program_run.h"
#include "temp_dir.h"

namespace kalvoran::test {

// ---- certificates

std::string TestCertificates::Openssl() {
  for (const char* path : {"/usr/bin/openssl", "/usr/local/bin/openssl"}) {
    if (::access(path, X_OK) == 0) return path;
  }
  return "";
}

TestCertificates::TestCertificates(const std::string& dir) {
  if (Openssl().empty()) throw std::runtime_error("openssl is not installed");
  const ProgramRun run = RunProgram({"/bin/bash", KALVORAN_MAKE_CERTIFICATES, dir});
  if (run.status != 0) throw std::runtime_error(run.err);
  const auto files = [&](const std::string& name) -> CertificateFiles {
    return {dir + "/" + name + ".pem", dir + "/" + name + ".key"};
  };
  caFile = dir + "/ca.pem";
  otherCaFile = dir + "/other-ca.pem";
  local = files("local");
  otherHost = files("other-host");
  expired = files("expired");
  unknownCa = files("unknown-ca");
  selfSigned = files("self-signed");
}

// ---- our own TLS server

namespace {

[[noreturn]] void Fail(const std::string& what) {
  std::string why = std::strerror(errno);
  if (const unsigned long e = ERR_get_error()) why = ERR_reason_error_string(e);
  throw std::runtime_error("TLS scripted server: " + what + ": " + why);
}

enum class Wait { kReady, kStopped, kTimedOut };

// Waits for `events` on fd (or only for the time-out when fd < 0), giving up
// as soon as the wake descriptor turns readable.
Wait PollWith(int fd, short events, int wakeFd, int timeoutMs) {
  pollfd fds[2] = {{wakeFd, POLLIN, 0}, {fd, events, 0}};
  for (;;) {
    const int n = ::poll(fds, fd >= 0 ? 2 : 1, timeoutMs);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Wait::kStopped;
    if (n == 0) return Wait::kTimedOut;
    if (fds[0].revents != 0) return Wait::kStopped;
    return Wait::kReady;
  }
}

}  // namespace

TlsScriptedServer::TlsScriptedServer(const CertificateFiles& certificate,
                                     std::chrono::milliseconds lifetime)
    : deadline_(std::chrono::steady_clock::now() + lifetime) {
  ctx_ = SSL_CTX_new(TLS_server_method());
  if (!ctx_) Fail("SSL_CTX_new");
  if (SSL_CTX_use_certificate_chain_file(ctx_, certificate.cert.c_str()) != 1 ||
      SSL_CTX_use_PrivateKey_file(ctx_, certificate.key.c_str(), SSL_FILETYPE_PEM) != 1) {
    SSL_CTX_free(ctx_);
    Fail("loading " + certificate.cert);
  }
  int wake[2];
  if (::pipe2(wake, O_CLOEXEC) != 0) {
    SSL_CTX_free(ctx_);
    Fail("pipe2");
  }
  wakeRead_ = wake[0];
  wakeWrite_ = wake[1];
  listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  if (listenFd_ < 0 || ::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(listenFd_, 16) != 0 ||
      ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    const int saved = errno;
    if (listenFd_ >= 0) ::close(listenFd_);
    ::close(wakeRead_);
    ::close(wakeWrite_);
    SSL_CTX_free(ctx_);
    errno = saved;
    Fail("listen");
  }
  port_ = ntohs(addr.sin_port);
  acceptThread_ = std::thread([this] {
    AcceptLoop();
    ::close(listenFd_);
  });
}

TlsScriptedServer::~TlsScriptedServer() {
  Stop();
  ::close(wakeRead_);
  ::close(wakeWrite_);
  SSL_CTX_free(ctx_);
}

void TlsScriptedServer::AddScript(Script script, bool closeNotify) {
  AddEntry({std::move(script), closeNotify});
}

void TlsScriptedServer::Stop() {
  std::call_once(stopOnce_, [this] {
    NoteStopping();
    char byte = 1;
    while (::write(wakeWrite_, &byte, 1) < 0 && errno == EINTR) {
    }
    acceptThread_.join();
    for (auto& worker : workers_) worker.join();
  });
}

void TlsScriptedServer::AcceptLoop() {
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline_ - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    const Wait w = PollWith(listenFd_, POLLIN, wakeRead_, static_cast<int>(left.count()) + 1);
    if (w == Wait::kStopped) return;
    if (w == Wait::kTimedOut) continue;
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) continue;
    const int index = NoteAccepted();
    workers_.emplace_back([this, index, fd] { Serve(index, fd); });
  }
  NoteStopping();
  char byte = 1;
  while (::write(wakeWrite_, &byte, 1) < 0 && errno == EINTR) {
  }
}

void TlsScriptedServer::Serve(int index, int fd) {
  const Entry entry = EntryFor(index);
  // OpenSSL writes with write(): a client that has gone would raise SIGPIPE.
  // Blocked on this thread, the write fails with EPIPE instead, and the
  // pending signal goes with the thread.
  sigset_t pipe;
  sigemptyset(&pipe);
  sigaddset(&pipe, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
  const Script& script = entry.script;
  const bool closeNotify = entry.closeNotify;
  SSL* ssl = SSL_new(ctx_);
  SSL_set_fd(ssl, fd);

  // One SSL call, waited for on the non-blocking socket until it completes;
  // false when it fails, the client goes or the server stops.
  auto drive = [&](const std::function<int()>& call) -> bool {
    for (;;) {
      ERR_clear_error();
      const int r = call();
      if (r > 0) return true;
      const int e = SSL_get_error(ssl, r);
      const short events = e == SSL_ERROR_WANT_READ    ? POLLIN
                           : e == SSL_ERROR_WANT_WRITE ? POLLOUT
                                                       : 0;
      if (events == 0 || PollWith(fd, events, wakeRead_, -1) != Wait::kReady) return false;
    }
  };
  std::string pending;  // received, not yet taken by a read step
  auto receive = [&]() -> bool {
    char buf[16384];
    std::size_t n = 0;
    if (!drive([&] { return SSL_read_ex(ssl, buf, sizeof buf, &n); })) return false;
    pending.append(buf, n);
    NoteReceived(index, buf, n);
    return true;
  };
  auto send = [&](const char* data, std::size_t size) -> bool {
    while (size > 0) {
      std::size_t n = 0;
      if (!drive([&] { return SSL_write_ex(ssl, data, size, &n); })) return false;
      data += n;
      size -= n;
    }
    return true;
  };
  auto pause = [&](int ms) { return PollWith(-1, 0, wakeRead_, ms) == Wait::kTimedOut; };

  ScriptOutcome outcome{drive([&] { return SSL_accept(ssl); }), false};
  if (const char* name = SSL_get_servername(ssl, TLSEXT_NAMETYPE_host_name); outcome.ok && name) {
    const std::lock_guard lock(namesMutex_);
    serverNames_[index] = name;
  }
  if (outcome.ok) {
    outcome = Play(script, pending, receive, send, pause, [&] {
      const int one = 1;
      ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    });
  }

  if (SSL_get_shutdown(ssl) & SSL_RECEIVED_SHUTDOWN) {
    const std::lock_guard lock(namesMutex_);
    closeNotified_.insert(index);
  }
  if (outcome.reset) {
    const linger hard{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
  } else {
    if (outcome.ok && closeNotify) {
      ERR_clear_error();
      SSL_shutdown(ssl);  // sends close-notify; the client's answer is not awaited
    }
    // Unread bytes at close would turn the FIN into a RST.
    ::shutdown(fd, SHUT_WR);
    char buf[16384];
    while (::recv(fd, buf, sizeof buf, 0) > 0) {
    }
  }
  SSL_free(ssl);
  ::close(fd);
  NoteFinished();
}

}  // namespace kalvoran::test
