#pragma once
// A buffered TCP connection: received bytes gather in an input buffer, out of
// which lines and counted or until-close byte runs are read; their
// consumption drives the three transfer events.
//
// One thread requests at a time. Disconnect() may also come from a transfer
// event (same thread) or from another thread while the requester waits in a
// read: then the socket is only shut down and marked closed, and the objects
// the requester uses stay alive until it has left them.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "input_buffer.h"
#include "socket_platform.h"
#include "stream.h"
#include "tls_session.h"
#include "work_mode.h"

namespace kalvoran {

enum TMaxLineAction { maException, maSplit };

// The status passed to OnStatus with its text.
enum TConnectionStatus { csResolving, csConnecting, csConnected, csDisconnecting, csDisconnected };

class Connection {
 public:
  using WorkBeginHandler = std::function<void(TWorkMode mode, std::int64_t expected)>;
  using WorkHandler = std::function<void(TWorkMode mode, std::int64_t countSoFar)>;
  using WorkEndHandler = std::function<void(TWorkMode mode)>;
  using StatusHandler = std::function<void(int status, const std::string& text)>;

  Connection();
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Settings, changed only by the requesting thread between reads.
  int ReadTimeout = 0;  // ms per wait for data; 0 = no limit
  int MaxLineLength = 16384;
  TMaxLineAction MaxLineAction = maException;

  // A time by which everything must be done: connects, handshakes and reads
  // that would wait past it fail as they fail on their own time-outs. A
  // server that sends a byte now and then never trips a read time-out; this
  // ends it all the same. None by default.
  void SetDeadline(std::optional<std::chrono::steady_clock::time_point> deadline) {
    deadline_ = deadline;
  }

  // Opens the connection; timeoutMs -1 or 0 = the system's own connect time-out.
  // With `tls`, a TLS handshake follows on the new socket, within the same
  // time-out, and everything read and written goes through it.
  void Connect(const std::string& host, int port, int timeoutMs, const TlsSettings* tls = nullptr);
  // Starts TLS with `host` on the open plain connection (a tunnel through a
  // proxy), within timeoutMs (-1 or 0 = no limit but the deadline).
  void StartTls(const std::string& host, const TlsSettings& settings, int timeoutMs);
  // The open connection runs TLS.
  bool Secure();
  // The peer ended this TLS connection without close-notify: data that ended
  // at that close may have been cut short by anyone on the way. A Disconnect
  // of ours is no such end.
  bool TlsCut() const { return tlsCut_; }
  // Whether the connection is open, after noticing a close by the peer.
  bool Connected();
  // Bytes received into the input buffer, 0 when the connection closed, -1 on
  // a time-out that does not raise. timeoutMs -1 = ReadTimeout.
  int ReadFromSocket(bool raiseIfClosed, int timeoutMs = -1, bool raiseOnTimeout = true);
  // A line without its LF (and a CR before it). timeoutMs -1 = ReadTimeout,
  // maxLength -1 = MaxLineLength. Returns an empty line, leaving the partial
  // line buffered, when the peer closed before the line ended.
  std::string ReadLn(int timeoutMs = -1, int maxLength = -1);
  // The last ReadLn returned early because the connection closed.
  bool ReadLnClosedEarly() const { return readLnClosedEarly_; }
  // The last ReadLn with its own time-out returned an empty line because no
  // line end came in time.
  bool ReadLnTimedOut() const { return readLnTimedOut_; }
  // The last ReadLn returned the first MaxLineLength bytes of a longer line
  // (maSplit).
  bool ReadLnSplit() const { return readLnSplit_; }
  // count >= 0: exactly count bytes (the target sized to position + count
  // first). readUntilClose: until the peer closes.
  void ReadStream(Stream& target, std::int64_t count, bool readUntilClose);

  void Write(std::string_view bytes);
  void WriteLn(std::string_view text);
  // Writes gather while the write buffer is open; closing sends them in one write.
  void OpenWriteBuffer(int threshold = -1);
  void CloseWriteBuffer();
  void CancelWriteBuffer();

  // A 1 ms read that notices a connection the peer has closed meanwhile.
  void CheckForGracefulDisconnect(bool raiseIfClosed = false);
  // Safe from the transfer events and from another thread.
  void Disconnect();

  std::size_t InputBufferSize() const;

  // Work accounting: fire the transfer events at nesting level 1.
  void BeginWork(TWorkMode mode, std::int64_t expected);
  void DoWork(TWorkMode mode, std::int64_t count);
  void EndWork(TWorkMode mode);

  WorkBeginHandler OnWorkBegin;
  WorkHandler OnWork;
  WorkEndHandler OnWorkEnd;
  StatusHandler OnStatus;  // nobody assigns it in the program
  std::function<void()> OnDisconnected;

 private:
  struct WorkState {
    int level = 0;
    std::int64_t expected = 0;
    std::int64_t count = 0;
  };

  // Takes count bytes from the front of the input buffer and counts them.
  void TakeFromBuffer(std::size_t count);
  // Notices a close: a socket whose peer closed is closed here. Raises
  // EConnClosedGracefully when asked and the buffer is empty or ignored.
  void CheckClosed(bool raise, bool ignoreBuffer);
  // Socket object present and its handle open.
  bool IsOpen();
  // The handle for one call on the requesting thread, kNoSocket when the
  // socket is closed; every successful Acquire needs its Release. `tls`
  // receives the connection's TLS session (nullptr over plain TCP), alive
  // until the Release.
  net::SocketHandle AcquireSocket(TlsSession** tls = nullptr);
  void ReleaseSocket();
  // Marks the socket closed; the handle itself is closed at once, or by the
  // last Release when a requester still uses it. Whether it was open.
  bool CloseSocketLocked();
  void CloseSocket();
  void SendAll(const char* data, std::size_t size);
  void ConnectSocket(net::SocketHandle s, const std::string& address, int port, int timeoutMs,
                     bool stayNonBlocking);
  void BeginTls(net::SocketHandle s, const std::string& host, const TlsSettings& settings,
                int timeoutMs);
  void Handshake(net::SocketHandle s, TlsSession& tls, int timeoutMs);
  // One receive into the input buffer: bytes, 0 at the peer's close (or a
  // receive error that counts as one), -1 on a time-out, -2 when TLS took
  // bytes but has none to give yet, -3 when the socket was closed meanwhile.
  std::ptrdiff_t ReceiveOnce(int timeout);
  // Closes the socket and raises the socket error, or else the TLS failure.
  [[noreturn]] void FailTls(int socketError, const std::string& failure);
  void Status(TConnectionStatus status, const char* format, const std::string& argument = {});
  // A wait of timeoutMs (-1 = no limit) cut to the time left before the
  // deadline; 0 once the deadline has passed.
  int WithinDeadline(int timeoutMs) const;

  net::SocketStack stack_;
  InputBuffer input_;
  std::string writeBuffer_;
  bool writeBuffering_ = false;
  int writeThreshold_ = -1;
  WorkState work_[2];
  bool readLnClosedEarly_ = false;
  bool readLnTimedOut_ = false;
  bool readLnSplit_ = false;
  bool tlsCut_ = false;  // the requester's own
  std::optional<std::chrono::steady_clock::time_point> deadline_;

  // The socket's lifetime, shared with a Disconnect from another thread.
  mutable std::mutex socketMutex_;
  bool hasSocket_ = false;         // the socket object exists (Connect .. Disconnect)
  bool open_ = false;              // the handle is allocated and not closed
  bool closedGracefully_ = false;  // the peer closed, or we closed locally
  net::SocketHandle socket_ = net::kNoSocket;
  int inUse_ = 0;  // calls on the handle in progress
  net::SocketHandle closeWhenUnused_ = net::kNoSocket;
  std::unique_ptr<TlsSession> tls_;            // with socket_, over TLS
  std::unique_ptr<TlsSession> tlsWhenUnused_;  // freed with closeWhenUnused_
};

}  // namespace kalvoran
