#include "nginx_sites.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "temp_dir.h"

namespace kalvoran::test {
namespace fs = std::filesystem;

const char* NginxSites::Binary() {
  for (const char* path : {"/usr/sbin/nginx", "/usr/bin/nginx"}) {
    if (::access(path, X_OK) == 0) return path;
  }
  return nullptr;
}

NginxSites::NginxSites(const std::string& dir, std::vector<Site> sites)
    : dir_(dir), ports_(std::make_shared<std::vector<int>>()) {
  fs::create_directories(dir_ + "/www");
  fs::create_directories(dir_ + "/tmp");
  fs::permissions(dir_, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
  if (!Binary()) return;
  ServerProcess::Options options;
  options.arguments = [d = dir_, sites, ports = ports_](int port) -> std::vector<std::string> {
    // The first site's port is the one the start waits for; nginx binds all
    // of them before it accepts on any.
    ports->assign(1, port);
    while (ports->size() < sites.size()) {
      const int more = FreeLoopbackPort();
      if (std::find(ports->begin(), ports->end(), more) == ports->end()) ports->push_back(more);
    }
    std::ostringstream conf;
    conf << "worker_processes 1;\n"
         << "pid " << d << "/nginx.pid;\n"
         << "error_log " << d << "/error.log;\n"
         << (::geteuid() == 0 ? "user root;\n" : "") << "events { worker_connections 64; }\n"
         << "http {\n"
         << "  log_format conn '$server_port $connection \"$request\" $status $body_bytes_sent "
            "$ssl_protocol';\n"
         << "  access_log " << d << "/access.log conn;\n"
         << "  default_type application/octet-stream;\n"
         // A slow sanitizer build must still find its kept connection.
         << "  keepalive_timeout 600s;\n"
         << "  send_timeout 600s;\n"
         << "  client_body_temp_path " << d << "/tmp;\n"
         << "  proxy_temp_path " << d << "/tmp;\n"
         << "  fastcgi_temp_path " << d << "/tmp;\n"
         << "  uwsgi_temp_path " << d << "/tmp;\n"
         << "  scgi_temp_path " << d << "/tmp;\n";
    for (std::size_t i = 0; i < sites.size(); ++i) {
      conf << "  server {\n"
           << "    listen 127.0.0.1:" << (*ports)[i] << (sites[i].tls ? " ssl" : "") << ";\n"
           << "    root " << d << "/www;\n";
      if (sites[i].tls) {
        conf << "    ssl_certificate " << sites[i].tls->cert << ";\n"
             << "    ssl_certificate_key " << sites[i].tls->key << ";\n";
        if (!sites[i].protocols.empty()) {
          conf << "    ssl_protocols " << sites[i].protocols << ";\n";
        }
      }
      conf << sites[i].locations << "  }\n";
    }
    conf << "}\n";
    WriteFile(d + "/nginx.conf", conf.str());
    return {Binary(), "-p",         d, "-e", d + "/error.log", "-c", d + "/nginx.conf",
            "-g",     "daemon off;"};
  };
  options.stopSignal = SIGQUIT;  // graceful: the access log is complete afterwards
  process_ = std::make_unique<ServerProcess>(std::move(options));
}

void NginxSites::Stop() {
  if (process_) process_->Stop();
}

std::vector<std::string> NginxSites::Requests() const {
  std::istringstream log(ReadFile(dir_ + "/access.log"));
  std::vector<std::string> lines;
  for (std::string line; std::getline(log, line);) lines.push_back(line);
  return lines;
}

std::string NginxSites::ErrorLog() const {
  return ReadFile(dir_ + "/error.log");
}

}  // namespace kalvoran::test
