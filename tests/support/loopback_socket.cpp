#include "loopback_socket.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#endif

#include <stdexcept>

namespace kalvoran::test {
namespace {

#ifdef _WIN32
SOCKET Native(std::intptr_t s) {
  return static_cast<SOCKET>(s);
}
void Close(std::intptr_t s) {
  ::closesocket(Native(s));
}
std::intptr_t NewSocket(bool nonBlocking) {
  const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return -1;
  SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
  u_long on = 1;
  if (nonBlocking) ::ioctlsocket(s, FIONBIO, &on);
  return static_cast<std::intptr_t>(s);
}
bool InProgress() {
  return WSAGetLastError() == WSAEWOULDBLOCK;
}
#else
int Native(std::intptr_t s) {
  return static_cast<int>(s);
}
void Close(std::intptr_t s) {
  ::close(Native(s));
}
std::intptr_t NewSocket(bool nonBlocking) {
  return ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | (nonBlocking ? SOCK_NONBLOCK : 0), 0);
}
bool InProgress() {
  return errno == EINPROGRESS;
}
#endif

sockaddr_in Loopback(int port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<unsigned short>(port));
  return a;
}

}  // namespace

LoopbackSocket::LoopbackSocket(int port) {
#ifdef _WIN32
  WSADATA winsock;
  if (::WSAStartup(MAKEWORD(2, 2), &winsock) != 0) throw std::runtime_error("WSAStartup failed");
#endif
  socket_ = NewSocket(false);
#ifndef _WIN32
  // The port of a server that stopped a moment ago: its closed connections
  // must not keep it.
  const int reuse = 1;
  if (socket_ >= 0) ::setsockopt(Native(socket_), SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
#endif
  sockaddr_in a = Loopback(port);
  socklen_t len = sizeof a;
  if (socket_ < 0 || ::bind(Native(socket_), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      ::getsockname(Native(socket_), reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    if (socket_ >= 0) Close(socket_);
#ifdef _WIN32
    ::WSACleanup();
#endif
    throw std::runtime_error("cannot bind a loopback socket");
  }
  port_ = ntohs(a.sin_port);
}

LoopbackSocket::~LoopbackSocket() {
  for (std::intptr_t s : connecting_) {
    if (s >= 0) Close(s);
  }
  Close(socket_);
#ifdef _WIN32
  ::WSACleanup();
#endif
}

bool LoopbackSocket::Listen(int backlog) {
  return ::listen(Native(socket_), backlog) == 0;
}

bool LoopbackSocket::StartConnect(int port) {
  for (std::intptr_t& slot : connecting_) {
    if (slot >= 0) continue;
    slot = NewSocket(true);
    if (slot < 0) return false;
    const sockaddr_in a = Loopback(port);
    return ::connect(Native(slot), reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0 ||
           InProgress();
  }
  return false;
}

}  // namespace kalvoran::test
