#pragma once
// The reference scripts as a vendor serves them: nginx in front of PHP-FPM,
// started by server/serve.sh --nginx on a free loopback port with the
// scripts' folders in a temporary directory; stopped at the end.
#include <memory>
#include <string>
#include <vector>

#include "server_process.h"
#include "temp_dir.h"

namespace kalvoran::test {

class NginxPhpServer {
 public:
  // serverDir: the checkout's server/; settings: KALVORAN_SERVER_DELETE=no, ...
  // With a certificate and its key (PEM files), it serves HTTPS (serve.sh --tls).
  explicit NginxPhpServer(const std::string& serverDir, std::vector<std::string> settings = {},
                          const std::string& cert = "", const std::string& key = "");

  // Whether nginx and PHP-FPM are installed.
  static bool Available();
  bool Running() const { return process_ && process_->Running(); }
  std::string Host() const {
    return "127.0.0.1:" + std::to_string(process_ ? process_->Port() : 0);
  }
  const std::string& Path() const { return root_.Path(); }
  std::string FilesRoot() const { return root_.Path() + "/files"; }
  std::string MarksRoot() const { return root_.Path() + "/marks"; }
  std::string StatsRoot() const { return root_.Path() + "/stats"; }

  // Makes files/<relative>, and the folders on the way, for the server's
  // workers too: they delete files in it on clean-up requests. Its path.
  std::string MakeFolder(const std::string& relative) const;
  // What serve.sh, nginx and PHP-FPM said.
  std::string Log() const;

 private:
  TempDir root_{"kalvoran-nginx-php"};
  std::unique_ptr<ServerProcess> process_;
};

}  // namespace kalvoran::test
