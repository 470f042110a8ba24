#pragma once
// A loopback relay in front of a real server that breaks its first
// connection once that has carried a given number of bytes towards the
// client, as a bad network does; every later connection passes whole.
// POSIX only, like the servers it stands in front of.
#include <atomic>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kalvoran::test {

class CuttingRelay {
 public:
  // In front of "127.0.0.1:port". Throws std::runtime_error when it cannot
  // listen.
  CuttingRelay(const std::string& upstream, std::size_t cutAfter);
  ~CuttingRelay();
  CuttingRelay(const CuttingRelay&) = delete;
  CuttingRelay& operator=(const CuttingRelay&) = delete;

  std::string HostPort() const { return "127.0.0.1:" + std::to_string(port_); }
  int Connections() const { return connections_; }
  // Bytes that went towards the clients, over all connections.
  std::size_t BytesDown() const { return bytesDown_; }

 private:
  void Relay(int client, bool cut);

  int upstreamPort_;
  std::size_t cutAfter_;
  int listen_ = -1;
  int port_ = 0;
  std::atomic<int> connections_{0};
  std::atomic<std::size_t> bytesDown_{0};
  std::atomic<bool> stopping_{false};
  std::mutex mutex_;
  std::vector<int> sockets_;  // every open socket, shut down at the end
  std::vector<std::thread> threads_;
  std::thread acceptThread_;
};

}  // namespace kalvoran::test
