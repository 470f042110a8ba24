// Against a server nobody here wrote: Debian's nginx on loopback serves a
// 64 MiB file, fetched twice over one kept-alive connection.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "file_stream.h"
#include "http_client.h"

extern char** environ;

namespace kalvoran {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kFileSize = 64u << 20;

const char* NginxBinary() {
  for (const char* path : {"/usr/sbin/nginx", "/usr/bin/nginx"}) {
    if (::access(path, X_OK) == 0) return path;
  }
  return nullptr;
}

// A port that was free a moment ago.
int FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  int port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  ::close(fd);
  return port;
}

bool Accepts(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return ok;
}

// nginx in the foreground with everything it writes inside `dir`; stopped
// (and waited for) by the destructor.
class Nginx {
 public:
  Nginx(const fs::path& dir, const char* binary) : dir_(dir) {
    for (int attempt = 0; attempt < 3 && pid_ < 0; ++attempt) Start(binary);
  }
  ~Nginx() { Stop(); }

  bool Running() const { return pid_ > 0; }
  int Port() const { return port_; }

  void Stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGQUIT);  // graceful: the access log is complete afterwards
    int status = 0;
    for (int i = 0; i < 500 && ::waitpid(pid_, &status, WNOHANG) == 0; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      if (i == 300) ::kill(pid_, SIGKILL);
    }
    pid_ = -1;
  }

 private:
  void Start(const char* binary) {
    port_ = FreePort();
    const std::string d = dir_.string();
    std::ofstream(dir_ / "nginx.conf")
        << "worker_processes 1;\n"
        << "pid " << d << "/nginx.pid;\n"
        << "error_log " << d << "/error.log;\n"
        << (::geteuid() == 0 ? "user root;\n" : "") << "events { worker_connections 16; }\n"
        << "http {\n"
        << "  log_format conn '$connection $request $status $body_bytes_sent';\n"
        << "  access_log " << d << "/access.log conn;\n"
        << "  client_body_temp_path " << d << "/tmp;\n"
        << "  proxy_temp_path " << d << "/tmp;\n"
        << "  fastcgi_temp_path " << d << "/tmp;\n"
        << "  uwsgi_temp_path " << d << "/tmp;\n"
        << "  scgi_temp_path " << d << "/tmp;\n"
        << "  server {\n"
        << "    listen 127.0.0.1:" << port_ << ";\n"
        << "    root " << d << "/www;\n"
        << "  }\n"
        << "}\n";
    const std::string conf = d + "/nginx.conf";
    const std::string errorLog = d + "/error.log";
    std::vector<std::string> args = {binary, "-p", d,    "-e",         errorLog,
                                     "-c",   conf, "-g", "daemon off;"};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (::posix_spawn(&pid, binary, nullptr, nullptr, argv.data(), environ) != 0) return;
    pid_ = pid;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) break;  // it gave up (port taken?)
      if (Accepts(port_)) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    Stop();
  }

  fs::path dir_;
  pid_t pid_ = -1;
  int port_ = 0;
};

std::string ReadFile(const fs::path& path) {
  std::error_code error;
  const auto size = fs::file_size(path, error);
  if (error) return {};
  std::string bytes(size, '\0');
  std::ifstream(path, std::ios::binary).read(bytes.data(), static_cast<std::streamsize>(size));
  return bytes;
}

TEST(ClientAgainstNginx, LargeFileTwiceOverOneKeptConnection) {
  const char* binary = NginxBinary();
  if (!binary) GTEST_SKIP() << "nginx is not installed";

  const fs::path dir = fs::temp_directory_path() / ("kalvoran_nginx_" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir / "www");
  fs::create_directories(dir / "tmp");
  fs::permissions(dir, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);

  std::string content(kFileSize, '\0');
  std::uint64_t x = 0x9E3779B97F4A7C15u;
  for (std::size_t i = 0; i < kFileSize; i += 8) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    std::memcpy(&content[i], &x, 8);
  }
  std::ofstream(dir / "www" / "big.bin", std::ios::binary).write(content.data(), content.size());

  Nginx nginx(dir, binary);
  ASSERT_TRUE(nginx.Running()) << ReadFile(dir / "error.log");

  HttpClient client;
  std::int64_t works = 0;
  client.OnWork = [&](HttpClient&, TWorkMode, std::int64_t) { ++works; };
  const std::string url = "http://127.0.0.1:" + std::to_string(nginx.Port()) + "/big.bin";
  for (int round = 1; round <= 2; ++round) {
    const fs::path target = dir / ("copy" + std::to_string(round));
    FileStream file(target.string(), FileStream::OpenMode::kCreateOrTruncate);
    client.Get(url, file);
    file.Close();
    EXPECT_EQ(client.Response().ResponseCode, 200);
    EXPECT_EQ(client.Response().ContentLength, static_cast<std::int64_t>(kFileSize));
    ASSERT_EQ(fs::file_size(target), kFileSize);
    EXPECT_TRUE(ReadFile(target) == content) << "round " << round << ": bytes differ";
  }
  // At least one event per 32 KiB block, none per byte.
  EXPECT_GE(works, 2 * static_cast<std::int64_t>(kFileSize / 32768));
  EXPECT_LE(works, 2 * static_cast<std::int64_t>(kFileSize / 32768) + 2);

  nginx.Stop();
  std::istringstream log(ReadFile(dir / "access.log"));
  std::vector<std::string> connections;
  for (std::string line; std::getline(log, line);) {
    EXPECT_NE(line.find("GET /big.bin HTTP/1.1 200 " + std::to_string(kFileSize)),
              std::string::npos)
        << line;
    connections.push_back(line.substr(0, line.find(' ')));
  }
  ASSERT_EQ(connections.size(), 2u);
  EXPECT_EQ(connections[0], connections[1]) << "the second fetch opened a new connection";
  fs::remove_all(dir);
}

}  // namespace
}  // namespace kalvoran
