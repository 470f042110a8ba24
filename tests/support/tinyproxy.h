#pragma once
// Debian's tinyproxy on loopback for tests: a real proxy that logs every
// request it is given ("GET http://...", "CONNECT host:port").
#include <memory>
#include <string>
#include <vector>

#include "server_process.h"
#include "temp_dir.h"

namespace kalvoran::test {

class Tinyproxy {
 public:
  struct Settings {
    std::string user;        // with password: Basic credentials required
    std::string password;    // tinyproxy takes letters and digits only
    bool refuseAll = false;  // answers every client 403
  };

  static bool Available();

  Tinyproxy();
  explicit Tinyproxy(Settings settings);
  bool Running() const { return process_ && process_->Running(); }
  int Port() const { return process_ ? process_->Port() : 0; }
  // "http://127.0.0.1:port"
  std::string Url() const { return "http://127.0.0.1:" + std::to_string(Port()); }
  // The request lines it was given, in order.
  std::vector<std::string> Requests() const;
  void Stop() {
    if (process_) process_->Stop();
  }

 private:
  TempDir dir_{"kalvoran-proxy"};
  std::unique_ptr<ServerProcess> process_;
};

}  // namespace kalvoran::test
