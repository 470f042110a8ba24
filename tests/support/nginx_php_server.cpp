#include "nginx_php_server.h"

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <vector>

namespace kalvoran::test {
namespace fs = std::filesystem;
namespace {

// The programs serve.sh is to run, as it would find them itself.
std::string Installed(const std::string& prefix, bool versioned) {
  for (const char* dir : {"/usr/sbin", "/usr/bin", "/usr/local/sbin", "/usr/local/bin"}) {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(dir, error)) {
      const std::string name = entry.path().filename().string();
      if ((name == prefix || (versioned && name.rfind(prefix, 0) == 0)) &&
          ::access(entry.path().c_str(), X_OK) == 0) {
        return entry.path().string();
      }
    }
  }
  return "";
}
std::string Nginx() {
  return Installed("nginx", false);
}
std::string PhpFpm() {
  return Installed("php-fpm", true);
}

}  // namespace

bool NginxPhpServer::Available() {
  return !Nginx().empty() && !PhpFpm().empty();
}

NginxPhpServer::NginxPhpServer(const std::string& serverDir, std::vector<std::string> settings,
                               const std::string& cert, const std::string& key)
    : site_(serverDir) {
  if (!Available()) return;
  ServerProcess::Options options;
  options.arguments = [script = site_.ServeScript(), cert,
                       key](int port) -> std::vector<std::string> {
    std::vector<std::string> args = {script, "--nginx", std::to_string(port)};
    if (!cert.empty()) args.insert(args.end(), {"--tls", cert, key});
    return args;
  };
  options.environment = site_.Environment();
  options.environment.insert(options.environment.end(),
                             {"KALVORAN_SERVER_USER=" + std::string(ServerSite::kWorkerUser),
                              "KALVORAN_NGINX=" + Nginx(), "KALVORAN_PHP_FPM=" + PhpFpm()});
  options.environment.insert(options.environment.end(), settings.begin(), settings.end());
  options.logPath = site_.Path() + "/serve.log";
  options.startLimit = std::chrono::seconds(30);  // PHP-FPM first, then nginx
  process_ = std::make_unique<ServerProcess>(std::move(options));
}

std::string NginxPhpServer::Log() const {
  return ReadFile(site_.Path() + "/serve.log");
}

}  // namespace kalvoran::test
