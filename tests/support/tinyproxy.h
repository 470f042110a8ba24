#pragma once
// Debian's tinyproxy on loopback for a test, started and stopped by the same
// script as the fixture of the Windows tests: a real proxy that logs every
// request it is given ("GET http://...", "CONNECT host:port HTTP/1.1").
#include <string>
#include <vector>

#include "temp_dir.h"

namespace kalvoran::test {

class Tinyproxy {
 public:
  static bool Available();

  // `options` are the script's: "--auth USER PASSWORD", "--refuse".
  explicit Tinyproxy(const std::string& options = "");
  ~Tinyproxy() { Stop(); }
  Tinyproxy(const Tinyproxy&) = delete;
  Tinyproxy& operator=(const Tinyproxy&) = delete;

  bool Running() const { return running_; }
  int Port() const { return port_; }
  std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_); }
  // The request lines it was given, in order.
  std::vector<std::string> Requests() const;
  void Stop();

 private:
  TempDir dir_{"kalvoran-proxy"};
  int port_ = 0;
  bool running_ = false;
};

}  // namespace kalvoran::test
