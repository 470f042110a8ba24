#include "nginx_php_server.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
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

// Run as root, serve.sh gives the workers to this user.
constexpr const char* kWorkerUser = "nobody";

// The workers may change the folder: as root, it becomes theirs.
void HandToWorkers(const std::string& path) {
  if (::geteuid() != 0) return;
  if (const passwd* user = ::getpwnam(kWorkerUser)) {
    if (::chown(path.c_str(), user->pw_uid, user->pw_gid) != 0) {
      throw fs::filesystem_error("chown", path, std::error_code(errno, std::generic_category()));
    }
  }
}

}  // namespace

bool NginxPhpServer::Available() {
  return !Nginx().empty() && !PhpFpm().empty();
}

NginxPhpServer::NginxPhpServer(const std::string& serverDir, std::vector<std::string> settings,
                               const std::string& cert, const std::string& key) {
  // The workers reach the folders through the temporary directory.
  fs::permissions(root_.Path(), fs::perms::owner_all | fs::perms::group_read |
                                    fs::perms::group_exec | fs::perms::others_read |
                                    fs::perms::others_exec);
  for (const std::string& folder : {FilesRoot(), MarksRoot(), StatsRoot()}) {
    fs::create_directories(folder);
    HandToWorkers(folder);
  }
  CopyServerScripts(serverDir, root_.Path());
  if (!Available()) return;
  ServerProcess::Options options;
  options.arguments = [script = root_.Path() + "/serve.sh", cert,
                       key](int port) -> std::vector<std::string> {
    std::vector<std::string> args = {script, "--nginx", std::to_string(port)};
    if (!cert.empty()) args.insert(args.end(), {"--tls", cert, key});
    return args;
  };
  options.environment = {"KALVORAN_SERVER_FILES=" + FilesRoot(),
                         "KALVORAN_SERVER_MARKS=" + MarksRoot(),
                         "KALVORAN_SERVER_STATS=" + StatsRoot(),
                         "KALVORAN_SERVER_USER=" + std::string(kWorkerUser),
                         "KALVORAN_NGINX=" + Nginx(),
                         "KALVORAN_PHP_FPM=" + PhpFpm()};
  options.environment.insert(options.environment.end(), settings.begin(), settings.end());
  options.logPath = root_.Path() + "/serve.log";
  options.startLimit = std::chrono::seconds(30);  // PHP-FPM first, then nginx
  process_ = std::make_unique<ServerProcess>(std::move(options));
}

std::string NginxPhpServer::MakeFolder(const std::string& relative) const {
  fs::path path = FilesRoot();
  for (const auto& segment : fs::path(relative)) {
    path /= segment;
    if (fs::create_directory(path)) HandToWorkers(path.string());
  }
  return path.string();
}

std::string NginxPhpServer::Log() const {
  return ReadFile(root_.Path() + "/serve.log");
}

}  // namespace kalvoran::test
