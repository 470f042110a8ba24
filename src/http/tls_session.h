#pragma once
// TLS over a connected socket, for "https" addresses. The connection drives
// it step by step on a non-blocking socket and does the waiting itself, so
// time-outs and a Disconnect from another thread work as over plain TCP.
//
// Only the requesting thread calls a session; it is freed by whoever closes
// the socket once no call is in progress. A build without a TLS library has
// no sessions: Create() then raises the error of an unknown I/O handler.
#include <cstddef>
#include <memory>
#include <string>

#include "socket_platform.h"

namespace kalvoran {

struct TlsSettings {
  // Trusted certificates (PEM); empty = the system's trust store.
  std::string CaFile;
};

class TlsSession {
 public:
  // What a step needs before it can go on, or how it ended.
  enum class Io { kDone, kWantRead, kWantWrite, kClosed, kFailed };

  // A client session for `host` (sent as the server name unless it is an IP
  // address, and checked against the certificate) over socket s. Raises
  // ETlsError when the trust store cannot be set up.
  static std::unique_ptr<TlsSession> Create(net::SocketHandle s, const std::string& host,
                                            const TlsSettings& settings);
  // Whether this build can make sessions at all.
  static bool Available();

  virtual ~TlsSession() = default;

  virtual Io Handshake() = 0;
  // kDone with `done` > 0 bytes read; kClosed at the peer's end (close-notify
  // or a plain close).
  virtual Io Read(char* buffer, std::size_t size, std::size_t& done) = 0;
  // After kClosed: the TCP connection ended without close-notify. Anyone on
  // the way can end it so, and what the server sent last may be missing.
  virtual bool ClosedWithoutNotify() const = 0;
  // kDone with `done` > 0 bytes taken.
  virtual Io Write(const char* data, std::size_t size, std::size_t& done) = 0;
  // Decrypted bytes are waiting: read them before waiting on the socket.
  virtual bool Pending() = 0;

  // Before an orderly close of the socket, with no call in progress: tells
  // the server that the stream ends here (close-notify), once, without
  // waiting for the socket. Nothing after a failure or the server's own end.
  virtual void SendCloseNotify() = 0;

  // After kFailed: the Windows socket code when the socket itself failed
  // (a reset, say), else 0 and Failure() says what went wrong in TLS.
  virtual int SocketError() const = 0;
  // "TLS: certificate verify failed: ...", "TLS: handshake failed: ...".
  virtual std::string Failure() const = 0;
};

}  // namespace kalvoran
