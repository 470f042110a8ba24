#include "tinyproxy.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>

namespace kalvoran::test {

namespace {
std::string Script(const std::string& action, const std::string& dir) {
  return std::string("/bin/bash '" KALVORAN_TINYPROXY_SCRIPT "' ") + action + " '" + dir + "'";
}
}  // namespace

bool Tinyproxy::Available() {
  return ::access("/usr/bin/tinyproxy", X_OK) == 0;
}

Tinyproxy::Tinyproxy(const std::string& options) {
  if (!Available() || std::system((Script("start", dir_.Path()) + " " + options).c_str()) != 0) {
    return;
  }
  std::ifstream(dir_.Path() + "/port") >> port_;
  running_ = port_ > 0;
}

void Tinyproxy::Stop() {
  if (!running_) return;
  running_ = false;
  const int status = std::system(Script("stop", dir_.Path()).c_str());
  (void)status;  // nothing to do about a proxy that is gone already
}

std::vector<std::string> Tinyproxy::Requests() const {
  std::vector<std::string> requests;
  std::ifstream log(dir_.Path() + "/log");
  for (std::string line; std::getline(log, line);) {
    const std::size_t at = line.find("Request (file descriptor ");
    if (at != std::string::npos) requests.push_back(line.substr(line.find("): ", at) + 3));
  }
  return requests;
}

}  // namespace kalvoran::test
