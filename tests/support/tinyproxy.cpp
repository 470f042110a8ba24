#include "tinyproxy.h"

#include <unistd.h>

#include <fstream>
#include <sstream>

namespace kalvoran::test {

namespace {
constexpr const char* kBinary = "/usr/bin/tinyproxy";
}

bool Tinyproxy::Available() {
  return ::access(kBinary, X_OK) == 0;
}

Tinyproxy::Tinyproxy() : Tinyproxy(Settings{}) {}

Tinyproxy::Tinyproxy(Settings settings) {
  if (!Available()) return;
  ServerProcess::Options options;
  options.arguments = [d = dir_.Path(), settings](int port) -> std::vector<std::string> {
    std::ofstream conf(d + "/tinyproxy.conf", std::ios::trunc);
    // No ConnectPort line: CONNECT to any port, as the tests' servers have.
    conf << "Port " << port << "\nListen 127.0.0.1\nTimeout 30\nMaxClients 50\n"
         << "LogFile \"" << d << "/tinyproxy.log\"\nLogLevel Connect\n"
         << "PidFile \"" << d << "/tinyproxy.pid\"\nDisableViaHeader Yes\n"
         << "Allow " << (settings.refuseAll ? "192.0.2.1" : "127.0.0.1") << "\n";
    if (!settings.user.empty())
      conf << "BasicAuth " << settings.user << " " << settings.password << "\n";
    return {kBinary, "-d", "-c", d + "/tinyproxy.conf"};
  };
  options.logPath = dir_.Path() + "/tinyproxy.out";
  process_ = std::make_unique<ServerProcess>(std::move(options));
}

std::vector<std::string> Tinyproxy::Requests() const {
  std::vector<std::string> requests;
  std::ifstream log(dir_.Path() + "/tinyproxy.log");
  const std::string mark = "): ";
  for (std::string line; std::getline(log, line);) {
    const std::size_t at = line.find("Request (file descriptor ");
    if (at == std::string::npos) continue;
    requests.push_back(line.substr(line.find(mark, at) + mark.size()));
  }
  return requests;
}

}  // namespace kalvoran::test
