#include "socket_platform.h"

#include <algorithm>
#include <climits>
#include <mutex>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>

#include <chrono>
#include <vector>
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace kalvoran::net {

namespace {

std::mutex stackMutex;
int stackUsers = 0;

// Four dot-separated decimal numbers from 0 to 255, nothing else.
bool IsDottedQuad(const std::string& text, std::uint32_t& hostOrder) {
  std::uint32_t value = 0;
  int parts = 0;
  std::size_t i = 0;
  while (parts < 4) {
    std::size_t start = i;
    unsigned part = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && i - start < 3) {
      part = part * 10 + static_cast<unsigned>(text[i] - '0');
      ++i;
    }
    if (i == start || part > 255) return false;
    value = (value << 8) | part;
    ++parts;
    if (parts < 4) {
      if (i >= text.size() || text[i] != '.') return false;
      ++i;
    }
  }
  if (i != text.size()) return false;
  hostOrder = value;
  return true;
}

bool EqualsNoCase(const std::string& a, const char* b) {
  std::size_t i = 0;
  for (; i < a.size() && b[i] != '\0'; ++i) {
    char x = a[i] >= 'a' && a[i] <= 'z' ? static_cast<char>(a[i] - 32) : a[i];
    char y = b[i] >= 'a' && b[i] <= 'z' ? static_cast<char>(b[i] - 32) : b[i];
    if (x != y) return false;
  }
  return i == a.size() && b[i] == '\0';
}

std::string DottedText(std::uint32_t hostOrder) {
  return std::to_string(hostOrder >> 24) + '.' + std::to_string((hostOrder >> 16) & 255) + '.' +
         std::to_string((hostOrder >> 8) & 255) + '.' + std::to_string(hostOrder & 255);
}

int LastError() {
#ifdef _WIN32
  return MapSocketError(WSAGetLastError());
#else
  return MapSocketError(errno);
#endif
}

// One recv or send: a call cut short by a signal before any byte moved is
// made again; a failure returns -1 with the socket error in `error`.
template <typename Call>
std::ptrdiff_t Transfer(Call call, int& error) {
  for (;;) {
    const auto n = call();
    if (n >= 0) return n;
#ifndef _WIN32
    if (errno == EINTR) continue;
#endif
    error = LastError();
    return -1;
  }
}

#ifdef _WIN32
// Winsock counts in int: a larger buffer moves in more than one call.
int WinsockLength(std::size_t size) {
  return static_cast<int>(std::min<std::size_t>(size, INT_MAX));
}

// Winsock does not promise that a shutdown from one thread wakes a select()
// of another thread on the same socket. Sockets are noted here when they are
// shut down, until they are closed, and a wait looks every kWaitStepMs
// whether its socket has been noted.
constexpr int kWaitStepMs = 100;
std::mutex shutMutex;
std::vector<SocketHandle> shutSockets;  // a few at a time

bool IsShutDown(SocketHandle s) {
  std::lock_guard lock(shutMutex);
  return std::find(shutSockets.begin(), shutSockets.end(), s) != shutSockets.end();
}

WaitResult WaitWinsock(SocketHandle s, bool forWriting, int timeoutMs) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
  for (;;) {
    // As after a shutdown on Linux, the receive or send that follows ends at once.
    if (IsShutDown(s)) return WaitResult::kReady;
    long step = kWaitStepMs;
    if (timeoutMs >= 0) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      step = std::clamp<long>(static_cast<long>(left), 0, kWaitStepMs);
    }
    fd_set set;
    FD_ZERO(&set);
    FD_SET(static_cast<SOCKET>(s), &set);
    timeval limit{0, step * 1000};
    const int n =
        ::select(0, forWriting ? nullptr : &set, forWriting ? &set : nullptr, nullptr, &limit);
    if (n > 0) return WaitResult::kReady;
    if (n < 0) return WaitResult::kFailed;
    if (timeoutMs >= 0 && Clock::now() >= deadline) return WaitResult::kTimedOut;
  }
}
#endif

}  // namespace

SocketStack::SocketStack() {
  std::lock_guard lock(stackMutex);
  if (stackUsers++ == 0) {
#ifdef _WIN32
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
#endif
  }
}

SocketStack::~SocketStack() {
  std::lock_guard lock(stackMutex);
  if (--stackUsers == 0) {
#ifdef _WIN32
    WSACleanup();
#endif
  }
}

int MapSocketError(int e) {
#ifdef _WIN32
  return e;  // Winsock reports its own codes already
#else
  switch (e) {
    case EINTR:
      return 10004;
    case EBADF:
      return 10009;
    case EACCES:
      return 10013;
    case EFAULT:
      return 10014;
    case EINVAL:
      return 10022;
    case EMFILE:
      return 10024;
    case EWOULDBLOCK:
      return 10035;
    case EINPROGRESS:
      return 10036;
    case EALREADY:
      return 10037;
    case ENOTSOCK:
      return 10038;
    case EDESTADDRREQ:
      return 10039;
    case EMSGSIZE:
      return 10040;
    case EPROTOTYPE:
      return 10041;
    case ENOPROTOOPT:
      return 10042;
    case EPROTONOSUPPORT:
      return 10043;
    case ESOCKTNOSUPPORT:
      return 10044;
    case EOPNOTSUPP:
      return 10045;
    case EPFNOSUPPORT:
      return 10046;
    case EAFNOSUPPORT:
      return 10047;
    case EADDRINUSE:
      return 10048;
    case EADDRNOTAVAIL:
      return 10049;
    case ENETDOWN:
      return 10050;
    case ENETUNREACH:
      return 10051;
    case ENETRESET:
      return 10052;
    case ECONNABORTED:
      return 10053;
    case ECONNRESET:
      return 10054;
    case ENOBUFS:
      return 10055;
    case EISCONN:
      return 10056;
    case ENOTCONN:
      return 10057;
    case EPIPE:
    case ESHUTDOWN:
      return 10058;
    case ETOOMANYREFS:
      return 10059;
    case ETIMEDOUT:
      return 10060;
    case ECONNREFUSED:
      return 10061;
    case ELOOP:
      return 10062;
    case ENAMETOOLONG:
      return 10063;
    case EHOSTDOWN:
      return 10064;
    case EHOSTUNREACH:
      return 10065;
    case ENOTEMPTY:
      return 10066;
    default:
      return e;  // no Windows counterpart: the message has no text
  }
#endif
}

int ResolveHost(const std::string& host, std::string& address) {
  std::uint32_t quad = 0;
  if (EqualsNoCase(host, "LOCALHOST")) {
    address = "127.0.0.1";
    return 0;
  }
  if (IsDottedQuad(host, quad)) {
    address = host;
    return 0;
  }
  // A name with an embedded NUL would be looked up cut short.
  if (host.empty() || host.find('\0') != std::string::npos) return kHostNotFound;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) {
    return kHostNotFound;
  }
  int result = kHostNotFound;
  for (addrinfo* a = found; a != nullptr; a = a->ai_next) {
    if (a->ai_family == AF_INET && a->ai_addr != nullptr) {
      const auto* in = reinterpret_cast<const sockaddr_in*>(a->ai_addr);
      address = DottedText(ntohl(in->sin_addr.s_addr));
      result = 0;
      break;
    }
  }
  freeaddrinfo(found);
  return result;
}

SocketHandle OpenStreamSocket(int& error) {
#ifdef _WIN32
  SOCKET s = WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
  if (s == INVALID_SOCKET) {
    error = LastError();
    return kNoSocket;
  }
  return static_cast<SocketHandle>(s);
#else
  int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  if (s < 0) {
    error = LastError();
    return kNoSocket;
  }
  return s;
#endif
}

int BindAny(SocketHandle s) {
#if defined(IP_BIND_ADDRESS_NO_PORT)
  // Let connect pick the port: an explicit port-0 bind would otherwise take
  // a port exclusively, whatever the destination.
  int one = 1;
  ::setsockopt(s, IPPROTO_IP, IP_BIND_ADDRESS_NO_PORT, &one, sizeof one);
#endif
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  local.sin_port = 0;
  if (::bind(s, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) return LastError();
  return 0;
}

ConnectStep StartConnect(SocketHandle s, const std::string& address, int port, int& error) {
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(static_cast<std::uint16_t>(port));
  if (inet_pton(AF_INET, address.c_str(), &peer.sin_addr) != 1) {
    error = kHostNotFound;
    return ConnectStep::kFailed;
  }
#ifdef _WIN32
  u_long nonBlocking = 1;
  if (ioctlsocket(s, FIONBIO, &nonBlocking) != 0) {
    error = LastError();
    return ConnectStep::kFailed;
  }
  if (::connect(s, reinterpret_cast<sockaddr*>(&peer), sizeof peer) == 0) {
    return ConnectStep::kConnected;
  }
  int e = WSAGetLastError();
  if (e == WSAEWOULDBLOCK) return ConnectStep::kPending;
  error = e;
  return ConnectStep::kFailed;
#else
  int flags = ::fcntl(s, F_GETFL);
  if (flags < 0 || ::fcntl(s, F_SETFL, flags | O_NONBLOCK) != 0) {
    error = LastError();
    return ConnectStep::kFailed;
  }
  int r;
  do {
    r = ::connect(s, reinterpret_cast<sockaddr*>(&peer), sizeof peer);
  } while (r != 0 && errno == EINTR);
  if (r == 0) return ConnectStep::kConnected;
  if (errno == EINPROGRESS) return ConnectStep::kPending;
  error = LastError();
  return ConnectStep::kFailed;
#endif
}

ConnectStep AwaitConnect(SocketHandle s, int timeoutMs, int& error) {
#ifdef _WIN32
  fd_set writable, failed;
  FD_ZERO(&writable);
  FD_ZERO(&failed);
  FD_SET(static_cast<SOCKET>(s), &writable);
  FD_SET(static_cast<SOCKET>(s), &failed);
  timeval limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
  int n = ::select(0, nullptr, &writable, &failed, timeoutMs < 0 ? nullptr : &limit);
  if (n == 0) return ConnectStep::kPending;
  if (n < 0) {
    error = LastError();
    return ConnectStep::kFailed;
  }
  int soError = 0;
  int len = sizeof soError;
  getsockopt(static_cast<SOCKET>(s), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soError), &len);
  if (FD_ISSET(static_cast<SOCKET>(s), &failed) || soError != 0) {
    error = soError != 0 ? soError : WSAECONNREFUSED;
    return ConnectStep::kFailed;
  }
  return ConnectStep::kConnected;
#else
  pollfd p{s, POLLOUT, 0};
  int n = ::poll(&p, 1, timeoutMs);
  if (n == 0 || (n < 0 && errno == EINTR)) return ConnectStep::kPending;
  if (n < 0) {
    error = LastError();
    return ConnectStep::kFailed;
  }
  int soError = 0;
  socklen_t len = sizeof soError;
  if (::getsockopt(s, SOL_SOCKET, SO_ERROR, &soError, &len) != 0) {
    error = LastError();
    return ConnectStep::kFailed;
  }
  if (soError != 0) {
    error = MapSocketError(soError);
    return ConnectStep::kFailed;
  }
  // Woken without an error but not writable: the socket was shut down under us.
  if ((p.revents & POLLOUT) == 0) {
    error = MapSocketError(ECONNABORTED);
    return ConnectStep::kFailed;
  }
  return ConnectStep::kConnected;
#endif
}

int SetBlocking(SocketHandle s, bool blocking) {
#ifdef _WIN32
  u_long nonBlocking = blocking ? 0 : 1;
  if (ioctlsocket(s, FIONBIO, &nonBlocking) != 0) return LastError();
#else
  const int flags = ::fcntl(s, F_GETFL);
  if (flags < 0) return LastError();
  if (::fcntl(s, F_SETFL, blocking ? flags & ~O_NONBLOCK : flags | O_NONBLOCK) != 0) {
    return LastError();
  }
#endif
  return 0;
}

WaitResult WaitReadable(SocketHandle s, int timeoutMs) {
#ifdef _WIN32
  return WaitWinsock(s, false, timeoutMs);
#else
  pollfd p{s, POLLIN, 0};
  int n;
  do {
    n = ::poll(&p, 1, timeoutMs < 0 ? -1 : timeoutMs);
  } while (n < 0 && errno == EINTR);
  if (n > 0) return WaitResult::kReady;
  return n == 0 ? WaitResult::kTimedOut : WaitResult::kFailed;
#endif
}

WaitResult WaitWritable(SocketHandle s, int timeoutMs) {
#ifdef _WIN32
  return WaitWinsock(s, true, timeoutMs);
#else
  pollfd p{s, POLLOUT, 0};
  int n;
  do {
    n = ::poll(&p, 1, timeoutMs < 0 ? -1 : timeoutMs);
  } while (n < 0 && errno == EINTR);
  if (n > 0) return WaitResult::kReady;
  return n == 0 ? WaitResult::kTimedOut : WaitResult::kFailed;
#endif
}

std::ptrdiff_t Receive(SocketHandle s, char* buffer, std::size_t size, int& error) {
  return Transfer(
      [&] {
#ifdef _WIN32
        return ::recv(static_cast<SOCKET>(s), buffer, WinsockLength(size), 0);
#else
        return ::recv(s, buffer, size, 0);
#endif
      },
      error);
}

std::ptrdiff_t Send(SocketHandle s, const char* data, std::size_t size, int& error) {
  return Transfer(
      [&] {
#ifdef _WIN32
        return ::send(static_cast<SOCKET>(s), data, WinsockLength(size), 0);
#else
        return ::send(s, data, size, MSG_NOSIGNAL);  // a closed peer is an error, not a signal
#endif
      },
      error);
}

void ShutdownBoth(SocketHandle s) {
#ifdef _WIN32
  {
    std::lock_guard lock(shutMutex);
    shutSockets.push_back(s);
  }
  ::shutdown(static_cast<SOCKET>(s), SD_BOTH);
#else
  ::shutdown(s, SHUT_RDWR);
#endif
}

void CloseSocket(SocketHandle s) {
#ifdef _WIN32
  {
    // The handle's number may be given out again once it is closed.
    std::lock_guard lock(shutMutex);
    shutSockets.erase(std::remove(shutSockets.begin(), shutSockets.end(), s), shutSockets.end());
  }
  ::closesocket(static_cast<SOCKET>(s));
#else
  // Linux releases the descriptor even when close reports EINTR: never retry.
  ::close(s);
#endif
}

}  // namespace kalvoran::net
