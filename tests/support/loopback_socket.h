#pragma once
// Raw TCP sockets on 127.0.0.1 for tests that need a port in a given state
// (bound but refusing, or listening with a full queue), on POSIX sockets or
// Winsock alike.
#include <cstdint>

namespace kalvoran::test {

class LoopbackSocket {
 public:
  // A new TCP socket bound to 127.0.0.1 and `port`, or a free port for 0; it
  // refuses connections until Listen(). Throws std::runtime_error when it
  // cannot.
  explicit LoopbackSocket(int port = 0);
  ~LoopbackSocket();
  LoopbackSocket(const LoopbackSocket&) = delete;
  LoopbackSocket& operator=(const LoopbackSocket&) = delete;

  int Port() const { return port_; }
  bool Listen(int backlog);
  // Starts a connection attempt to 127.0.0.1:port from a fresh non-blocking
  // socket, which stays open with the object; false when the attempt failed
  // at once.
  bool StartConnect(int port);

 private:
  std::intptr_t socket_ = -1;
  std::intptr_t connecting_[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
  int port_ = 0;
};

}  // namespace kalvoran::test
