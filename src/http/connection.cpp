#include "connection.h"

#include <algorithm>
#include <chrono>
#include <limits>

#include "errors.h"

namespace kalvoran {

namespace {

constexpr int kWinSendRecvAfterClose = 10058;
constexpr int kWinConnectionAborted = 10053;
constexpr int kWinConnectionReset = 10054;
constexpr std::size_t kBlockSize = net::kRecvBufferSize;
// A connect without its own limit still looks every so often whether a
// Disconnect from another thread has given up on it.
constexpr int kConnectPollStepMs = 125;

}  // namespace

Connection::Connection() = default;

Connection::~Connection() {
  std::lock_guard lock(socketMutex_);
  CloseSocketLocked();
  tlsWhenUnused_.reset();
  if (closeWhenUnused_ != net::kNoSocket) {
    net::CloseSocket(closeWhenUnused_);
    closeWhenUnused_ = net::kNoSocket;
  }
}

void Connection::Status(TConnectionStatus status, const char* format, const std::string& argument) {
  if (!OnStatus) return;  // nobody listens: build no text
  std::string text(format);
  if (auto at = text.find("%s"); at != std::string::npos) text.replace(at, 2, argument);
  OnStatus(status, text);
}

int Connection::WithinDeadline(int timeoutMs) const {
  if (!deadline_) return timeoutMs;
  const auto left =
      std::chrono::ceil<std::chrono::milliseconds>(*deadline_ - std::chrono::steady_clock::now());
  if (left.count() <= 0) return 0;
  const auto bounded = std::min<std::int64_t>(left.count(), std::numeric_limits<int>::max());
  return timeoutMs < 0 ? static_cast<int>(bounded)
                       : static_cast<int>(std::min<std::int64_t>(timeoutMs, bounded));
}

// ---- the socket's lifetime

bool Connection::CloseSocketLocked() {
  closedGracefully_ = true;
  if (!open_) return false;
  open_ = false;
  // Only while no requester is inside the session, which is not thread-safe.
  if (inUse_ == 0 && tls_) tls_->SendCloseNotify();
  net::ShutdownBoth(socket_);  // also wakes a requester that waits on it
  if (inUse_ == 0) {
    tls_.reset();
    net::CloseSocket(socket_);
  } else {
    // The requester's last Release closes it; its TLS session goes with it.
    closeWhenUnused_ = socket_;
    tlsWhenUnused_ = std::move(tls_);
  }
  socket_ = net::kNoSocket;
  return true;
}

void Connection::CloseSocket() {
  std::lock_guard lock(socketMutex_);
  CloseSocketLocked();
}

net::SocketHandle Connection::AcquireSocket(TlsSession** tls) {
  std::lock_guard lock(socketMutex_);
  if (!hasSocket_ || !open_) return net::kNoSocket;
  ++inUse_;
  if (tls) *tls = tls_.get();
  return socket_;
}

void Connection::ReleaseSocket() {
  std::lock_guard lock(socketMutex_);
  if (--inUse_ == 0 && closeWhenUnused_ != net::kNoSocket) {
    tlsWhenUnused_.reset();
    net::CloseSocket(closeWhenUnused_);
    closeWhenUnused_ = net::kNoSocket;
  }
}

bool Connection::IsOpen() {
  std::lock_guard lock(socketMutex_);
  return hasSocket_ && open_;
}

void Connection::CheckClosed(bool raise, bool ignoreBuffer) {
  bool closed = false;
  bool noticedNow = false;
  {
    std::lock_guard lock(socketMutex_);
    if (!hasSocket_) return;  // the operations that need one say "Not Connected"
    if (closedGracefully_) {
      closed = true;
      noticedNow = CloseSocketLocked();
    } else {
      closed = !open_;
    }
  }
  if (noticedNow) {
    Status(csDisconnected, "Disconnected.");
    if (OnDisconnected) OnDisconnected();
  }
  if (closed && raise && (input_.Empty() || ignoreBuffer)) throw EConnClosedGracefully();
}

// ---- connect and disconnect

void Connection::Connect(const std::string& host, int port, int timeoutMs, const TlsSettings* tls) {
  timeoutMs = WithinDeadline(timeoutMs == 0 ? -1 : timeoutMs);
  if (timeoutMs == 0) throw EConnectTimeout();
  {
    std::lock_guard lock(socketMutex_);
    CloseSocketLocked();  // a handle left from before must not leak
    tls_.reset();         // nor a session that would run over the new socket
    hasSocket_ = true;
    closedGracefully_ = false;
  }
  tlsCut_ = false;
  input_.Clear();
  readLnClosedEarly_ = readLnTimedOut_ = readLnSplit_ = false;

  int error = 0;
  net::SocketHandle s = net::OpenStreamSocket(error);
  if (s == net::kNoSocket) throw ECannotAllocateSocket();
  {
    // Held as in use until connected, so that a Disconnect from another
    // thread cannot close the handle under the connect.
    std::lock_guard lock(socketMutex_);
    socket_ = s;
    open_ = true;
    ++inUse_;
  }
  try {
    error = net::BindAny(s);
    if (error == net::kAddressInUse) throw ECouldNotBindSocket();
    if (error != 0) throw ESocketError(error);
    Status(csResolving, "Resolving hostname %s.", host);
    std::string address;
    error = net::ResolveHost(host, address);
    if (error != 0) throw ESocketError(error);
    Status(csConnecting, "Connecting to %s.", address);
    const auto started = std::chrono::steady_clock::now();
    ConnectSocket(s, address, port, timeoutMs, tls != nullptr);
    if (tls) {
      int left = timeoutMs;
      if (timeoutMs != -1 && timeoutMs != 0) {
        const auto used = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - started);
        left = static_cast<int>(std::max<std::int64_t>(1, timeoutMs - used.count()));
      }
      BeginTls(s, host, *tls, left);
    }
  } catch (...) {
    CloseSocket();
    ReleaseSocket();
    throw;
  }
  ReleaseSocket();
  Status(csConnected, "Connected.");
}

void Connection::StartTls(const std::string& host, const TlsSettings& settings, int timeoutMs) {
  timeoutMs = WithinDeadline(timeoutMs == 0 ? -1 : timeoutMs);
  if (timeoutMs == 0) throw EConnectTimeout();
  // Whatever came before the handshake would pass for the server's own
  // protected bytes.
  if (!input_.Empty()) {
    CloseSocket();
    throw ETlsError("TLS: handshake failed: data came before it");
  }
  const net::SocketHandle s = AcquireSocket();
  if (s == net::kNoSocket) throw ENotConnected();
  try {
    const int error = net::SetBlocking(s, false);
    if (error != 0) throw ESocketError(error);
    BeginTls(s, host, settings, timeoutMs);
  } catch (...) {
    CloseSocket();
    ReleaseSocket();
    throw;
  }
  ReleaseSocket();
}

void Connection::BeginTls(net::SocketHandle s, const std::string& host, const TlsSettings& settings,
                          int timeoutMs) {
  auto session = TlsSession::Create(s, host, settings);
  TlsSession* const raw = session.get();
  {
    // A Disconnect from another thread since the connect has closed the
    // socket already: a session kept now would outlive it.
    std::lock_guard lock(socketMutex_);
    if (!open_) throw EConnClosedGracefully();
    tls_ = std::move(session);
  }
  Handshake(s, *raw, timeoutMs);
}

void Connection::ConnectSocket(net::SocketHandle s, const std::string& address, int port,
                               int timeoutMs, bool stayNonBlocking) {
  using Clock = std::chrono::steady_clock;
  const bool limited = timeoutMs != -1 && timeoutMs != 0;
  const auto deadline = Clock::now() + std::chrono::milliseconds(limited ? timeoutMs : 0);
  int error = 0;
  net::ConnectStep step = net::StartConnect(s, address, port, error);
  while (step == net::ConnectStep::kPending) {
    if (!IsOpen()) throw EConnClosedGracefully();  // disconnected meanwhile
    int slice = kConnectPollStepMs;
    if (limited) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) throw EConnectTimeout();
      slice = static_cast<int>(std::min<std::int64_t>(slice, left.count()));
    }
    step = net::AwaitConnect(s, slice, error);
  }
  if (step == net::ConnectStep::kFailed) {
    if (!IsOpen()) throw EConnClosedGracefully();
    throw ESocketError(error);
  }
  if (stayNonBlocking) return;
  error = net::SetBlocking(s, true);
  if (error != 0) throw ESocketError(error);
}

void Connection::Handshake(net::SocketHandle s, TlsSession& tls, int timeoutMs) {
  using Clock = std::chrono::steady_clock;
  const bool limited = timeoutMs != -1 && timeoutMs != 0;
  const auto deadline = Clock::now() + std::chrono::milliseconds(limited ? timeoutMs : 0);
  for (;;) {
    const TlsSession::Io io = tls.Handshake();
    if (io == TlsSession::Io::kDone) return;
    // A Disconnect from another thread shut the socket down: whatever the
    // handshake made of that, it is no failure of the server's.
    if (!IsOpen()) throw EConnClosedGracefully();
    if (io == TlsSession::Io::kFailed) FailTls(tls.SocketError(), tls.Failure());
    if (io == TlsSession::Io::kClosed) {
      throw ETlsError("TLS: handshake failed: the server closed the connection", true);
    }
    // Waits in short steps, so that a Disconnect from another thread ends it.
    int slice = kConnectPollStepMs;
    if (limited) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) throw EConnectTimeout();
      slice = static_cast<int>(std::min<std::int64_t>(slice, left.count()));
    }
    if (io == TlsSession::Io::kWantRead) {
      net::WaitReadable(s, slice);
    } else {
      net::WaitWritable(s, slice);
    }
  }
}

void Connection::FailTls(int socketError, const std::string& failure) {
  CloseSocket();
  if (socketError != 0) throw ESocketError(socketError);
  throw ETlsError(failure);
}

bool Connection::Secure() {
  std::lock_guard lock(socketMutex_);
  return open_ && tls_ != nullptr;
}

bool Connection::Connected() {
  CheckClosed(false, false);
  return IsOpen();
}

void Connection::Disconnect() {
  Status(csDisconnecting, "Disconnecting.");
  {
    std::lock_guard lock(socketMutex_);
    CloseSocketLocked();
    hasSocket_ = false;
  }
  if (OnDisconnected) OnDisconnected();
  Status(csDisconnected, "Disconnected.");
}

// ---- reading

std::ptrdiff_t Connection::ReceiveOnce(int timeout) {
  TlsSession* tls = nullptr;
  net::SocketHandle s = AcquireSocket(&tls);
  if (s == net::kNoSocket) return -3;
  // Bytes TLS has decrypted already are not on the socket any more.
  if (!(tls && tls->Pending()) && net::WaitReadable(s, timeout) != net::WaitResult::kReady) {
    ReleaseSocket();
    return -1;
  }
  int error = 0;
  char* into = input_.PrepareAppend(net::kRecvBufferSize);
  std::ptrdiff_t n = 0;
  bool cut = false;
  if (tls) {
    std::size_t got = 0;
    const TlsSession::Io io = tls->Read(into, net::kRecvBufferSize, got);
    if (io == TlsSession::Io::kWantWrite) net::WaitWritable(s, timeout);
    // Taken while the session surely lives: after the Release a Disconnect
    // from another thread may free it.
    const int tlsError = io == TlsSession::Io::kFailed ? tls->SocketError() : 0;
    const std::string failure = io == TlsSession::Io::kFailed ? tls->Failure() : std::string();
    cut = io == TlsSession::Io::kClosed && tls->ClosedWithoutNotify();
    ReleaseSocket();
    switch (io) {
      case TlsSession::Io::kDone:
        n = static_cast<std::ptrdiff_t>(got);
        break;
      case TlsSession::Io::kClosed:
        n = 0;
        break;
      case TlsSession::Io::kWantRead:
      case TlsSession::Io::kWantWrite:
        return -2;  // a record not yet whole, or one without application bytes
      case TlsSession::Io::kFailed:
        if (tlsError == 0) FailTls(0, failure);
        error = tlsError;
        n = -1;
        break;
    }
  } else {
    n = net::Receive(s, into, net::kRecvBufferSize, error);
    ReleaseSocket();
  }
  if (n > 0) {
    input_.Commit(static_cast<std::size_t>(n));
  } else if (n == 0) {
    std::lock_guard lock(socketMutex_);
    // Still open: the peer's close, not the end of a Disconnect of ours.
    if (cut && open_) tlsCut_ = true;
    closedGracefully_ = true;
  } else if (error == kWinSendRecvAfterClose || error == kWinConnectionAborted) {
    CloseSocket();
    if (input_.Empty()) throw ESocketError(error);
  } else {
    throw ESocketError(error);
  }
  return n < 0 ? 0 : n;
}

int Connection::ReadFromSocket(bool raiseIfClosed, int timeoutMs, bool raiseOnTimeout) {
  int timeout = timeoutMs == -1 ? ReadTimeout : timeoutMs;
  if (timeout <= 0) timeout = -1;  // no limit
  CheckClosed(raiseIfClosed, false);
  if (!IsOpen()) {
    if (raiseIfClosed) throw ENotConnected();
    return 0;
  }
  std::ptrdiff_t received = 0;
  do {
    const int wait = WithinDeadline(timeout);
    const std::ptrdiff_t n = wait == 0 ? -1 : ReceiveOnce(wait);
    if (n == -1) {
      if (raiseOnTimeout) throw EReadTimeout();
      return -1;
    }
    if (n == -3) {  // closed from another thread meanwhile
      if (raiseIfClosed) throw EConnClosedGracefully();
      return 0;
    }
    if (n > 0) received = n;
    CheckClosed(raiseIfClosed, false);
  } while (received == 0 && IsOpen());
  return static_cast<int>(received);
}

void Connection::TakeFromBuffer(std::size_t count) {
  input_.Consume(count);
  DoWork(wmRead, static_cast<std::int64_t>(count));
}

std::string Connection::ReadLn(int timeoutMs, int maxLength) {
  const std::size_t limit = static_cast<std::size_t>(maxLength < 0 ? MaxLineLength : maxLength);
  readLnClosedEarly_ = readLnTimedOut_ = readLnSplit_ = false;
  for (;;) {
    std::size_t lf = input_.FindLineEnd();
    std::size_t length = lf != InputBuffer::npos ? lf : input_.Size();  // CR included
    if (limit > 0 && length > limit) {
      if (MaxLineAction == maException) throw EMaxLineLengthExceeded();
      std::string line(input_.Data(), limit);
      TakeFromBuffer(limit);
      readLnSplit_ = true;
      return line;
    }
    if (lf != InputBuffer::npos) {
      std::size_t end = lf;
      if (end > 0 && input_.Data()[end - 1] == '\r') --end;
      std::string line(input_.Data(), end);
      TakeFromBuffer(lf + 1);
      return line;
    }
    int n = ReadFromSocket(true, timeoutMs, timeoutMs == -1);
    if (n < 0) {
      readLnTimedOut_ = true;
      return {};
    }
    if (n == 0) {
      // Closed under us from another thread with nothing buffered.
      if (input_.Empty()) throw EConnClosedGracefully();
      readLnClosedEarly_ = true;  // the partial line stays buffered
      return {};
    }
  }
}

void Connection::ReadStream(Stream& target, std::int64_t count, bool readUntilClose) {
  if (count >= 0) {
    // Sized once, to its final length, before the first byte.
    std::int64_t position = target.Position();
    target.SetSize(position + count);
    if (target.Position() != position) target.Seek(position);
  }
  BeginWork(wmRead, readUntilClose ? 0 : count);
  try {
    std::int64_t remaining = readUntilClose ? std::numeric_limits<std::int64_t>::max() : count;
    if (!input_.Empty() && remaining > 0) {
      auto k = static_cast<std::size_t>(
          std::min<std::int64_t>(static_cast<std::int64_t>(input_.Size()), remaining));
      target.Write(input_.Data(), k);
      TakeFromBuffer(k);
      remaining -= static_cast<std::int64_t>(k);
    }
    const auto block = static_cast<std::size_t>(
        std::min<std::int64_t>(remaining, static_cast<std::int64_t>(kBlockSize)));
    while (remaining > 0 && IsOpen()) {
      auto wanted = static_cast<std::size_t>(
          std::min<std::int64_t>(remaining, static_cast<std::int64_t>(block)));
      bool closed = false;
      while (input_.Size() < wanted) {
        try {
          ReadFromSocket(true, -1, true);
          CheckClosed(true, true);  // a close ends the block even with bytes buffered
        } catch (const EConnClosedGracefully&) {
          if (!readUntilClose) throw;
          closed = true;
          break;
        }
      }
      if (closed) {
        // The tail of an until-close body is written without an event.
        if (!input_.Empty()) target.Write(input_.Data(), input_.Size());
        input_.Clear();
        break;
      }
      // The bytes stay where they are until the next receive: an OnWork that
      // disconnects still gets this block written.
      const char* bytes = input_.Data();
      TakeFromBuffer(wanted);
      target.Write(bytes, wanted);
      remaining -= static_cast<std::int64_t>(wanted);
    }
  } catch (...) {
    try {
      EndWork(wmRead);
      if (target.Size() > target.Position()) target.SetSize(target.Position());
    } catch (...) {
      // the first error is the one that counts
    }
    throw;
  }
  EndWork(wmRead);
  if (target.Size() > target.Position()) target.SetSize(target.Position());
}

void Connection::CheckForGracefulDisconnect(bool raiseIfClosed) {
  try {
    ReadFromSocket(raiseIfClosed, 1, false);
  } catch (const ESocketError&) {
    if (raiseIfClosed) throw;
    // A connection the peer reset while idle is as good as closed: the next
    // request connects anew instead of failing on it.
    {
      std::lock_guard lock(socketMutex_);
      closedGracefully_ = true;
    }
    CheckClosed(false, false);
  }
}

std::size_t Connection::InputBufferSize() const {
  return input_.Size();
}

// ---- writing

void Connection::SendAll(const char* data, std::size_t size) {
  while (size > 0) {
    TlsSession* tls = nullptr;
    net::SocketHandle s = AcquireSocket(&tls);
    if (s == net::kNoSocket) {
      CheckClosed(true, true);
      throw ENotConnected();
    }
    int error = 0;
    std::ptrdiff_t n = 0;
    if (tls) {
      std::size_t put = 0;
      const TlsSession::Io io = tls->Write(data, size, put);
      if (io == TlsSession::Io::kWantWrite) net::WaitWritable(s, -1);
      if (io == TlsSession::Io::kWantRead) net::WaitReadable(s, -1);
      const int tlsError = io == TlsSession::Io::kFailed ? tls->SocketError() : 0;
      const std::string failure = io == TlsSession::Io::kFailed ? tls->Failure() : std::string();
      ReleaseSocket();
      if (io == TlsSession::Io::kFailed) {
        if (tlsError == 0) FailTls(0, failure);
        error = tlsError;
        n = -1;
      } else if (io == TlsSession::Io::kClosed) {
        error = kWinSendRecvAfterClose;
        n = -1;
      } else {
        n = static_cast<std::ptrdiff_t>(put);
      }
    } else {
      n = net::Send(s, data, size, error);
      ReleaseSocket();
    }
    if (n < 0) {
      if (error == kWinSendRecvAfterClose || error == kWinConnectionAborted ||
          error == kWinConnectionReset) {
        CloseSocket();
      }
      throw ESocketError(error);
    }
    data += n;
    size -= static_cast<std::size_t>(n);
    DoWork(wmWrite, n);
    CheckClosed(true, true);
  }
}

void Connection::Write(std::string_view bytes) {
  if (bytes.empty()) return;
  CheckClosed(true, true);
  if (!IsOpen()) throw ENotConnected();
  if (writeBuffering_) {
    writeBuffer_.append(bytes);
    if (writeThreshold_ > 0 && writeBuffer_.size() >= static_cast<std::size_t>(writeThreshold_)) {
      std::string out;
      out.swap(writeBuffer_);
      SendAll(out.data(), out.size());
    }
    return;
  }
  SendAll(bytes.data(), bytes.size());
}

void Connection::WriteLn(std::string_view text) {
  std::string line;
  line.reserve(text.size() + 2);
  line.append(text).append("\r\n");
  Write(line);
}

void Connection::OpenWriteBuffer(int threshold) {
  writeBuffering_ = true;
  writeThreshold_ = threshold;
}

void Connection::CloseWriteBuffer() {
  if (!writeBuffering_) return;
  writeBuffering_ = false;
  std::string out;
  out.swap(writeBuffer_);
  Write(out);
}

void Connection::CancelWriteBuffer() {
  writeBuffering_ = false;
  writeBuffer_.clear();
}

// ---- work accounting

void Connection::BeginWork(TWorkMode mode, std::int64_t expected) {
  WorkState& w = work_[mode];
  if (++w.level == 1) {
    w.expected = expected;
    w.count = 0;
    if (OnWorkBegin) OnWorkBegin(mode, expected);
  }
}

void Connection::DoWork(TWorkMode mode, std::int64_t count) {
  WorkState& w = work_[mode];
  if (w.level < 1) return;
  w.count += count;
  if (OnWork) OnWork(mode, w.count);
}

void Connection::EndWork(TWorkMode mode) {
  WorkState& w = work_[mode];
  if (w.level < 1) return;
  if (w.level == 1 && OnWorkEnd) OnWorkEnd(mode);
  --w.level;
}

}  // namespace kalvoran
