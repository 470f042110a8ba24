#include "scripted_server.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <regex>
#include <stdexcept>

namespace kalvoran::test {

Script& Script::Add(Step step) {
  steps_.push_back(std::move(step));
  return *this;
}
Script& Script::ReadHead() {
  return Add({Step::kReadHead, {}, 0});
}
Script& Script::Read(std::size_t count) {
  return Add({Step::kRead, {}, count});
}
Script& Script::Send(std::string bytes) {
  return Add({Step::kSend, std::move(bytes), 0});
}
Script& Script::ServeRange(std::string body, std::string headers, std::size_t count) {
  return Add({Step::kServeRange, std::move(body), count, std::move(headers)});
}

Script& Script::SendBytewise(std::string bytes) {
  return Add({Step::kSendBytewise, std::move(bytes), 0});
}
Script& Script::SendRepeated(std::string pattern, std::size_t totalBytes) {
  return Add({Step::kSendRepeated, std::move(pattern), totalBytes});
}
Script& Script::Pause(int milliseconds) {
  return Add({Step::kPause, {}, static_cast<std::size_t>(milliseconds < 0 ? 0 : milliseconds)});
}
Script& Script::Close() {
  return Add({Step::kClose, {}, 0});
}
Script& Script::Reset() {
  return Add({Step::kReset, {}, 0});
}
Script& Script::WaitForClientClose() {
  return Add({Step::kWaitForClientClose, {}, 0});
}
Script& Script::Signal() {
  return Add({Step::kSignal, {}, 0});
}
Script& Script::WaitForRelease() {
  return Add({Step::kWaitForRelease, {}, 0});
}
Script& Script::Then(const Script& more) {
  steps_.insert(steps_.end(), more.steps_.begin(), more.steps_.end());
  return *this;
}

namespace {

using SocketId = std::intptr_t;

// The few socket calls whose form differs between POSIX and Winsock.
#ifdef _WIN32
SOCKET Native(SocketId s) {
  return static_cast<SOCKET>(s);
}
int LastError() {
  return WSAGetLastError();
}
bool Interrupted(int error) {
  return error == WSAEINTR;
}
bool WouldBlock(int error) {
  return error == WSAEWOULDBLOCK;
}
std::string ErrorText(int error) {
  return "Winsock error " + std::to_string(error);
}
void CloseSocket(SocketId s) {
  ::closesocket(Native(s));
}
int PollSockets(pollfd* fds, int count, int timeoutMs) {
  return ::WSAPoll(fds, static_cast<ULONG>(count), timeoutMs);
}
std::ptrdiff_t Receive(SocketId s, char* buffer, std::size_t size) {
  return ::recv(Native(s), buffer, static_cast<int>(std::min<std::size_t>(size, INT_MAX)), 0);
}
std::ptrdiff_t SendSome(SocketId s, const char* data, std::size_t size) {
  return ::send(Native(s), data, static_cast<int>(std::min<std::size_t>(size, INT_MAX)), 0);
}
// A new socket of ours that no child process inherits, non-blocking if asked.
SocketId Prepare(SOCKET s, bool nonBlocking) {
  if (s == INVALID_SOCKET) return -1;
  SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
  u_long on = 1;
  if (nonBlocking) ::ioctlsocket(s, FIONBIO, &on);
  return static_cast<SocketId>(s);
}
constexpr int kShutdownSend = SD_SEND;
#else
int Native(SocketId s) {
  return static_cast<int>(s);
}
int LastError() {
  return errno;
}
bool Interrupted(int error) {
  return error == EINTR;
}
bool WouldBlock(int error) {
  return error == EAGAIN || error == EWOULDBLOCK;
}
std::string ErrorText(int error) {
  return std::strerror(error);
}
void CloseSocket(SocketId s) {
  ::close(Native(s));
}
int PollSockets(pollfd* fds, int count, int timeoutMs) {
  return ::poll(fds, static_cast<nfds_t>(count), timeoutMs);
}
std::ptrdiff_t Receive(SocketId s, char* buffer, std::size_t size) {
  return ::recv(Native(s), buffer, size, 0);
}
std::ptrdiff_t SendSome(SocketId s, const char* data, std::size_t size) {
  return ::send(Native(s), data, size, MSG_NOSIGNAL);
}
constexpr int kShutdownSend = SHUT_WR;
#endif

[[noreturn]] void Fail(const char* what, int error) {
  throw std::runtime_error(std::string("scripted server: ") + what + ": " + ErrorText(error));
}

enum class Wait { kReady, kStopped, kTimedOut };

// Waits for `events` on fd (or only for the time-out when fd < 0), giving up
// as soon as the wake descriptor turns readable.
Wait PollWith(SocketId fd, short events, SocketId wakeFd, int timeoutMs) {
  pollfd fds[2] = {{Native(wakeFd), POLLIN, 0}, {Native(fd), events, 0}};
  for (;;) {
    int n = PollSockets(fds, fd >= 0 ? 2 : 1, timeoutMs);
    if (n < 0 && Interrupted(LastError())) continue;
    if (n < 0) return Wait::kStopped;
    if (n == 0) return Wait::kTimedOut;
    if (fds[0].revents != 0) return Wait::kStopped;
    return Wait::kReady;
  }
}

}  // namespace

bool ResetsReachTheClient() {
#ifdef _WIN32
  // Wine's ntdll names its version; Windows' does not.
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll == nullptr || GetProcAddress(ntdll, "wine_get_version") == nullptr;
#else
  return true;
#endif
}

ScriptedServer::ScriptedServer(std::chrono::milliseconds lifetime, int port)
    : deadline_(std::chrono::steady_clock::now() + lifetime) {
#ifdef _WIN32
  WSADATA winsock;
  if (const int error = ::WSAStartup(MAKEWORD(2, 2), &winsock)) Fail("WSAStartup", error);
  // No pipe for socket waits on Windows: a datagram socket that sends to
  // itself once, and is never read, wakes every waiter.
  wakeRead_ = wakeWrite_ = Prepare(::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP), false);
  sockaddr_in self{};
  self.sin_family = AF_INET;
  self.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (wakeRead_ < 0 ||
      ::bind(Native(wakeRead_), reinterpret_cast<sockaddr*>(&self), sizeof self) != 0) {
    const int error = LastError();
    if (wakeRead_ >= 0) CloseSocket(wakeRead_);
    ::WSACleanup();
    Fail("wake socket", error);
  }
  listenFd_ = Prepare(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP), true);
#else
  int wake[2];
  if (::pipe2(wake, O_CLOEXEC) != 0) Fail("pipe2", errno);
  wakeRead_ = wake[0];
  wakeWrite_ = wake[1];
  listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
#endif
  auto closeWake = [this] {
    CloseSocket(wakeRead_);
    if (wakeWrite_ != wakeRead_) CloseSocket(wakeWrite_);
#ifdef _WIN32
    ::WSACleanup();
#endif
  };
  if (listenFd_ < 0) {
    const int error = LastError();
    closeWake();
    Fail("socket", error);
  }
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<std::uint16_t>(port));
#ifndef _WIN32
  // The port of a server that stopped a moment ago: its closed connections
  // must not keep it.
  const int reuse = 1;
  ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
#endif
  socklen_t len = sizeof addr;
  if (::bind(Native(listenFd_), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(Native(listenFd_), 16) != 0 ||
      ::getsockname(Native(listenFd_), reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    const int error = LastError();
    CloseSocket(listenFd_);
    closeWake();
    Fail("listen", error);
  }
  port_ = ntohs(addr.sin_port);
  // The listening socket closes as soon as the server stops accepting, so a
  // client that connects after Stop() or after the lifetime is refused at once
  // instead of waiting in the backlog for an accept that never comes.
  acceptThread_ = std::thread([this] {
    AcceptLoop();
    CloseSocket(listenFd_);
  });
}

ScriptedServer::~ScriptedServer() {
  Stop();
  CloseSocket(wakeRead_);
  if (wakeWrite_ != wakeRead_) CloseSocket(wakeWrite_);
#ifdef _WIN32
  ::WSACleanup();
#endif
}

void ScriptedServer::Wake() {
#ifdef _WIN32
  sockaddr_in self{};
  int len = sizeof self;
  ::getsockname(Native(wakeWrite_), reinterpret_cast<sockaddr*>(&self), &len);
  const char byte = 1;
  ::sendto(Native(wakeWrite_), &byte, 1, 0, reinterpret_cast<sockaddr*>(&self), len);
#else
  char byte = 1;
  // The pipe is never read, so one byte keeps it readable for every poller.
  while (::write(Native(wakeWrite_), &byte, 1) < 0 && errno == EINTR) {
  }
#endif
}

// ---- the bookkeeping of both servers

namespace {

// What a script is played with on one connection, plain or over TLS.
struct ScriptConnection {
  // Receives once, appending to the pending bytes (and the record); false
  // when the client closed or reset, or the server stops.
  std::function<bool()> receive;
  // Sends all of it; false when the client went away or the server stops.
  std::function<bool(const char*, std::size_t)> send;
  // Waits; false when the server stops meanwhile.
  std::function<bool(int milliseconds)> pause;
  std::function<void()> noDelay;  // Nagle off, for bytewise sends
  std::function<bool()> stopping;
  std::function<void()> signal;
  // Waits for the test's Release(); false when the server stops instead.
  std::function<bool()> waitForRelease;
};

// Plays the steps in turn until one fails, the script closes or resets, or
// the server stops. `pending` holds what was received and not yet read by a
// step; the connection's receive appends to it.
// Takes a request head (up to its empty line) out of the pending bytes,
// receiving until it is whole; bytes after it stay for the next step.
bool TakeHead(std::string& pending, const ScriptConnection& c, std::string& head) {
  std::size_t end = 0;
  while ((end = pending.find("\r\n\r\n")) == std::string::npos) {
    if (!c.receive()) return false;
  }
  head = pending.substr(0, end + 2);
  pending.erase(0, end + 4);
  return true;
}

// A server of ranges: "Range: bytes=N-" gets a 206 from N unless an If-Range
// names nothing in the step's header lines; everything else the whole body.
std::string RangeAnswer(const Script::Step& step, const std::string& head) {
  std::smatch range, ifRange;
  const std::size_t size = step.bytes.size();
  std::size_t from = 0;
  if (std::regex_search(head, range, std::regex("\r\nRange: bytes=([0-9]+)-\r\n")) &&
      (!std::regex_search(head, ifRange, std::regex("\r\nIf-Range: ([^\r]*)\r\n")) ||
       step.headers.find(ifRange[1].str()) != std::string::npos)) {
    from = std::min<std::size_t>(std::stoull(range[1].str()), size);
  }
  std::string answer = from == 0 ? "HTTP/1.1 200 OK\r\n"
                                 : "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes " +
                                       std::to_string(from) + "-" + std::to_string(size - 1) + "/" +
                                       std::to_string(size) + "\r\n";
  answer += step.headers + "Content-Length: " + std::to_string(size - from) + "\r\n\r\n";
  return answer.append(step.bytes, from, step.count);
}

ScriptOutcome PlayScript(const Script& script, std::string& pending, const ScriptConnection& c) {
  ScriptOutcome outcome;
  bool& ok = outcome.ok;
  bool closed = false;
  for (const auto& step : script.Steps()) {
    if (!ok || closed || c.stopping()) break;
    switch (step.kind) {
      case Script::Step::kReadHead: {
        std::string head;
        ok = TakeHead(pending, c, head);
        break;
      }
      case Script::Step::kServeRange: {
        std::string head;
        if (!(ok = TakeHead(pending, c, head))) break;
        const std::string answer = RangeAnswer(step, head);
        ok = c.send(answer.data(), answer.size());
        break;
      }
      case Script::Step::kRead:
        while (pending.size() < step.count && (ok = c.receive())) {
        }
        if (ok) pending.erase(0, step.count);
        break;
      case Script::Step::kSend:
        ok = c.send(step.bytes.data(), step.bytes.size());
        break;
      case Script::Step::kSendBytewise:
        c.noDelay();
        for (std::size_t i = 0; ok && i < step.bytes.size(); ++i) {
          ok = c.send(&step.bytes[i], 1) && c.pause(2);
        }
        break;
      case Script::Step::kSendRepeated: {
        if (step.bytes.empty()) break;
        std::string block;
        while (block.size() < 65536) block += step.bytes;
        std::size_t left = step.count;
        while (ok && (step.count == 0 || left > 0)) {
          std::size_t n = step.count == 0 ? block.size() : std::min(left, block.size());
          ok = c.send(block.data(), n);
          left -= step.count == 0 ? 0 : n;
        }
        // Running out of takers ends an endless run normally.
        if (step.count == 0) {
          ok = true;
          closed = true;
        }
        break;
      }
      case Script::Step::kPause:
        ok = c.pause(static_cast<int>(step.count));
        break;
      case Script::Step::kClose:
        closed = true;
        break;
      case Script::Step::kReset:
        outcome.reset = closed = true;
        break;
      case Script::Step::kWaitForClientClose:
        while (c.receive()) {
        }
        closed = true;
        break;
      case Script::Step::kSignal:
        c.signal();
        break;
      case Script::Step::kWaitForRelease:
        ok = c.waitForRelease();
        break;
    }
  }
  return outcome;
}

}  // namespace

int ScriptedConnections::AcceptedConnections() const {
  std::lock_guard lock(mutex_);
  return accepted_;
}

int ScriptedConnections::FinishedConnections() const {
  std::lock_guard lock(mutex_);
  return finished_;
}

std::string ScriptedConnections::Received(int connection) const {
  std::lock_guard lock(mutex_);
  if (connection < 0 || connection >= static_cast<int>(received_.size())) return {};
  return received_[static_cast<std::size_t>(connection)];
}

int ScriptedConnections::Signals() const {
  std::lock_guard lock(mutex_);
  return signals_;
}

bool ScriptedConnections::WaitFor(std::chrono::milliseconds limit,
                                  const std::function<bool()>& done) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, limit, done);
}

bool ScriptedConnections::WaitForConnections(int count, std::chrono::milliseconds limit) {
  return WaitFor(limit, [&] { return accepted_ >= count; });
}

bool ScriptedConnections::WaitForFinished(int count, std::chrono::milliseconds limit) {
  return WaitFor(limit, [&] { return finished_ >= count; });
}

bool ScriptedConnections::WaitForSignals(int count, std::chrono::milliseconds limit) {
  return WaitFor(limit, [&] { return signals_ >= count; });
}

void ScriptedConnections::Release() {
  std::lock_guard lock(mutex_);
  ++releases_;
  changed_.notify_all();
}

void ScriptedConnections::AddEntry(Entry entry) {
  std::lock_guard lock(mutex_);
  scripts_.push_back(std::move(entry));
}

ScriptedConnections::Entry ScriptedConnections::EntryFor(int index) const {
  std::lock_guard lock(mutex_);
  if (index < 0 || index >= static_cast<int>(scripts_.size())) return {};
  return scripts_[static_cast<std::size_t>(index)];
}

int ScriptedConnections::NoteAccepted() {
  std::lock_guard lock(mutex_);
  received_.emplace_back();
  changed_.notify_all();
  return accepted_++;
}

void ScriptedConnections::NoteReceived(int index, const char* data, std::size_t size) {
  std::lock_guard lock(mutex_);
  received_[static_cast<std::size_t>(index)].append(data, size);
  changed_.notify_all();
}

void ScriptedConnections::NoteFinished() {
  std::lock_guard lock(mutex_);
  ++finished_;
  changed_.notify_all();
}

void ScriptedConnections::NoteStopping() {
  std::lock_guard lock(mutex_);
  stopping_ = true;
  changed_.notify_all();
}

bool ScriptedConnections::Stopping() const {
  std::lock_guard lock(mutex_);
  return stopping_;
}

ScriptOutcome ScriptedConnections::Play(const Script& script, std::string& pending,
                                        std::function<bool()> receive,
                                        std::function<bool(const char*, std::size_t)> send,
                                        std::function<bool(int)> pause,
                                        std::function<void()> noDelay) {
  ScriptConnection c;
  c.receive = std::move(receive);
  c.send = std::move(send);
  c.pause = std::move(pause);
  c.noDelay = std::move(noDelay);
  c.stopping = [this] { return Stopping(); };
  c.signal = [this] {
    std::lock_guard lock(mutex_);
    ++signals_;
    changed_.notify_all();
  };
  c.waitForRelease = [this] {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return releases_ > 0 || stopping_; });
    if (releases_ > 0) --releases_;
    return !stopping_;
  };
  return PlayScript(script, pending, c);
}

// ---- the plain server

void ScriptedServer::AddScript(Script script) {
  AddEntry({std::move(script)});
}

void ScriptedServer::Stop() {
  std::call_once(stopOnce_, [this] {
    NoteStopping();
    Wake();
    acceptThread_.join();
    for (auto& worker : workers_) worker.join();
  });
}

void ScriptedServer::AcceptLoop() {
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline_ - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    Wait w = PollWith(listenFd_, POLLIN, wakeRead_, static_cast<int>(left.count()) + 1);
    if (w == Wait::kStopped) return;
    if (w == Wait::kTimedOut) continue;
#ifdef _WIN32
    const SocketId fd = Prepare(::accept(Native(listenFd_), nullptr, nullptr), true);
#else
    const SocketId fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
#endif
    if (fd < 0) continue;  // the client gave up already, or EINTR
    const int index = NoteAccepted();
    workers_.emplace_back([this, index, fd] { Serve(index, fd); });
  }
  // Lifetime over: wake every script and every waiting test.
  NoteStopping();
  Wake();
}

void ScriptedServer::Serve(int index, SocketId fd) {
  const Script script = EntryFor(index).script;
  std::string pending;  // received, not yet taken by a read step

  // Receives once; false when the client closed/reset or the server stops.
  auto receive = [&]() -> bool {
    for (;;) {
      char buf[16384];
      const std::ptrdiff_t n = Receive(fd, buf, sizeof buf);
      if (n > 0) {
        pending.append(buf, static_cast<std::size_t>(n));
        NoteReceived(index, buf, static_cast<std::size_t>(n));
        return true;
      }
      if (n == 0) return false;
      const int error = LastError();
      if (Interrupted(error)) continue;
      if (!WouldBlock(error)) return false;
      if (PollWith(fd, POLLIN, wakeRead_, -1) != Wait::kReady) return false;
    }
  };
  auto sendAll = [&](const char* data, std::size_t size) -> bool {
    while (size > 0) {
      const std::ptrdiff_t n = SendSome(fd, data, size);
      if (n > 0) {
        data += n;
        size -= static_cast<std::size_t>(n);
        continue;
      }
      const int error = n < 0 ? LastError() : 0;
      if (n < 0 && Interrupted(error)) continue;
      if (n < 0 && WouldBlock(error)) {
        if (PollWith(fd, POLLOUT, wakeRead_, -1) != Wait::kReady) return false;
        continue;
      }
      return false;
    }
    return true;
  };
  auto pause = [&](int ms) { return PollWith(-1, 0, wakeRead_, ms) == Wait::kTimedOut; };

  const ScriptOutcome outcome = Play(script, pending, receive, sendAll, pause, [&] {
    int one = 1;
    ::setsockopt(Native(fd), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one),
                 sizeof one);
  });

  if (outcome.reset) {
    linger hard{1, 0};
    ::setsockopt(Native(fd), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&hard),
                 sizeof hard);
  } else {
    // Unread bytes at close would turn the FIN into a RST: take (and record)
    // what the client has sent so far first.
    ::shutdown(Native(fd), kShutdownSend);
    for (;;) {
      char buf[16384];
      const std::ptrdiff_t n = Receive(fd, buf, sizeof buf);
      if (n < 0 && Interrupted(LastError())) continue;
      if (n <= 0) break;
      NoteReceived(index, buf, static_cast<std::size_t>(n));
    }
  }
  CloseSocket(fd);
  NoteFinished();
}

}  // namespace kalvoran::test
