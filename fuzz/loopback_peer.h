#pragma once
// The server side of the targets that fuzz what a server sends: one loopback
// listener for the whole run; per input, a peer that accepts one connection,
// reads until the client's first message is complete, replays the input in
// pieces cut at points derived from the input, closes its sending side and
// waits for the client to go, recording every byte the client sent.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "fuzz_check.h"

namespace kalvoran::fuzz {

// Far more than any input needs: the peer closes after replaying, so no read
// ever waits for a time-out.
constexpr int kPeerWaitMs = 3000;

struct Listener {
  int fd = -1;
  int port = 0;
  Listener() {
    fd = ::socket(AF_INET, SOCK_STREAM, 0);
    FUZZ_CHECK(fd >= 0, "no socket for the peer");
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    FUZZ_CHECK(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0, "bind failed");
    FUZZ_CHECK(::listen(fd, 4) == 0, "listen failed");
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    port = ntohs(addr.sin_port);
  }
};

inline bool WaitReadable(int fd, int ms) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, ms) > 0;
}

// Cut points from a hash of the input, so that a run can be repeated; the
// last cut is the end of the reply. `choice` gets the hash's first bit.
inline std::vector<std::size_t> Cuts(std::string_view reply, bool& choice) {
  std::uint64_t h = 14695981039346656037ull;
  for (unsigned char c : reply) h = (h ^ c) * 1099511628211ull;
  auto next = [&h] {
    h ^= h << 13;
    h ^= h >> 7;
    h ^= h << 17;
    return h;
  };
  choice = (next() & 1) != 0;
  std::vector<std::size_t> cuts;
  const std::size_t pieces = next() % 8;
  for (std::size_t i = 0; i < pieces; ++i) cuts.push_back(next() % (reply.size() + 1));
  cuts.push_back(reply.size());
  std::sort(cuts.begin(), cuts.end());
  return cuts;
}

// One input's peer. It waits for the client's connection until `clientDone`
// (a client left waiting in the backlog would wait forever); `complete` says
// whether the bytes received so far hold the client's first message (a close
// with unread bytes would turn into a reset); `patch`, when given, may then
// change bytes of the reply (never its length) to fit that message. Returns
// everything the client sent.
inline std::string Serve(
    int listenFd, std::string_view input, const std::vector<std::size_t>& cuts,
    const std::atomic<bool>& clientDone, const std::function<bool(const std::string&)>& complete,
    const std::function<void(const std::string& received, std::string& reply)>& patch = {}) {
  std::string received;
  while (!WaitReadable(listenFd, 100)) {
    if (clientDone) return received;
  }
  const int fd = ::accept(listenFd, nullptr, nullptr);
  if (fd < 0) return received;
  const int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);

  char buffer[4096];
  auto take = [&] {
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n > 0) received.append(buffer, static_cast<std::size_t>(n));
    return n;
  };
  while (!complete(received) && WaitReadable(fd, kPeerWaitMs)) {
    if (take() <= 0) break;
  }

  std::string reply(input);
  if (patch) patch(received, reply);
  std::size_t from = 0;
  for (std::size_t cut : cuts) {
    while (from < cut) {
      const ssize_t n = ::send(fd, reply.data() + from, cut - from, MSG_NOSIGNAL);
      if (n <= 0) break;
      from += static_cast<std::size_t>(n);
    }
    if (from < cut) break;  // the client has gone
    // Give the client a moment to take this piece on its own.
    std::this_thread::sleep_for(std::chrono::microseconds(50));
    while (take() > 0) {
    }
  }
  ::shutdown(fd, SHUT_WR);
  while (WaitReadable(fd, kPeerWaitMs) && take() > 0) {
  }
  ::close(fd);
  return received;
}

}  // namespace kalvoran::fuzz
