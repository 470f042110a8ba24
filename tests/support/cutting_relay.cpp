#include "cutting_relay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace kalvoran::test {
namespace {

sockaddr_in Loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  return address;
}

}  // namespace

CuttingRelay::CuttingRelay(const std::string& upstream, std::size_t cutAfter)
    : upstreamPort_(std::stoi(upstream.substr(upstream.rfind(':') + 1))), cutAfter_(cutAfter) {
  listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address = Loopback(0);
  socklen_t length = sizeof address;
  if (listen_ < 0 || ::bind(listen_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      ::listen(listen_, 16) != 0 ||
      ::getsockname(listen_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    if (listen_ >= 0) ::close(listen_);
    throw std::runtime_error("the relay cannot listen");
  }
  port_ = ntohs(address.sin_port);
  acceptThread_ = std::thread([this] {
    for (;;) {
      const int client = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
      if (client < 0 || stopping_) {
        if (client >= 0) ::close(client);
        return;
      }
      const bool first = connections_++ == 0;
      std::lock_guard lock(mutex_);
      threads_.emplace_back([this, client, first] { Relay(client, first); });
    }
  });
}

CuttingRelay::~CuttingRelay() {
  stopping_ = true;
  ::shutdown(listen_, SHUT_RDWR);  // ends the accept
  acceptThread_.join();
  {
    std::lock_guard lock(mutex_);
    for (int s : sockets_) ::shutdown(s, SHUT_RDWR);
  }
  for (std::thread& t : threads_) t.join();
  ::close(listen_);
}

void CuttingRelay::Relay(int client, bool cut) {
  const int upstream = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const sockaddr_in address = Loopback(upstreamPort_);
  {
    std::lock_guard lock(mutex_);
    sockets_.insert(sockets_.end(), {client, upstream});
    if (stopping_) ::shutdown(client, SHUT_RDWR);
  }
  // Requests go up as they come, until the client's end.
  std::thread up;
  if (::connect(upstream, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
    up = std::thread([client, upstream] {
      char buffer[16384];
      for (ssize_t n; (n = ::recv(client, buffer, sizeof buffer, 0)) > 0;) {
        if (::send(upstream, buffer, static_cast<std::size_t>(n), MSG_NOSIGNAL) != n) break;
      }
      ::shutdown(upstream, SHUT_WR);
    });
    char buffer[16384];
    std::size_t down = 0;
    for (ssize_t n; (n = ::recv(upstream, buffer, sizeof buffer, 0)) > 0;) {
      auto count = static_cast<std::size_t>(n);
      if (cut && down + count > cutAfter_) count = cutAfter_ - down;
      if (::send(client, buffer, count, MSG_NOSIGNAL) != static_cast<ssize_t>(count)) break;
      down += count;
      bytesDown_ += count;
      if (cut && down == cutAfter_) break;
    }
  }
  // Either end gone, or the cut: both connections end here.
  ::shutdown(client, SHUT_RDWR);
  ::shutdown(upstream, SHUT_RDWR);
  if (up.joinable()) up.join();
  std::lock_guard lock(mutex_);
  std::erase(sockets_, client);
  std::erase(sockets_, upstream);
  ::close(client);
  ::close(upstream);
}

}  // namespace kalvoran::test
