#pragma once
// The reference scripts as a vendor serves them: nginx in front of PHP-FPM,
// started by serve.sh --nginx on a free loopback port, from a copy of the
// scripts with their folders (ServerSite); stopped at the end.
#include <memory>
#include <string>
#include <vector>

#include "server_process.h"
#include "server_site.h"

namespace kalvoran::test {

class NginxPhpServer {
 public:
  // serverDir: the checkout's server/ folder. settings: the server's own
  // (KALVORAN_SERVER_DELETE=no, ...). With a certificate and its key (PEM
  // files), it serves over HTTPS (serve.sh --tls).
  explicit NginxPhpServer(const std::string& serverDir, std::vector<std::string> settings = {},
                          const std::string& cert = "", const std::string& key = "");

  // Whether nginx and PHP-FPM are installed.
  static bool Available();
  bool Running() const { return process_ && process_->Running(); }
  std::string Host() const {
    return "127.0.0.1:" + std::to_string(process_ ? process_->Port() : 0);
  }
  const ServerSite& Site() const { return site_; }
  std::string FilesRoot() const { return site_.FilesRoot(); }
  std::string MarksRoot() const { return site_.MarksRoot(); }
  std::string StatsRoot() const { return site_.StatsRoot(); }
  std::string MakeFolder(const std::string& relative) const { return site_.MakeFolder(relative); }
  // What serve.sh, nginx and PHP-FPM said.
  std::string Log() const;

 private:
  ServerSite site_;
  std::unique_ptr<ServerProcess> process_;
};

}  // namespace kalvoran::test
