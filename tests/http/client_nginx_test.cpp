// Against a server nobody here wrote: Debian's nginx on loopback serves a
// 64 MiB file, fetched twice over one kept-alive connection, and takes back
// a Cookie line longer than 1024 characters.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "file_stream.h"
#include "http_client.h"
#include "server_process.h"
#include "temp_dir.h"

namespace kalvoran {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::ServerProcess;
using test::TempDir;

constexpr std::size_t kFileSize = 64u << 20;

const char* NginxBinary() {
  for (const char* path : {"/usr/sbin/nginx", "/usr/bin/nginx"}) {
    if (::access(path, X_OK) == 0) return path;
  }
  return nullptr;
}

// nginx in the foreground with everything it writes inside `dir`.
// `locations` goes inside the server block.
ServerProcess::Options NginxOptions(const fs::path& dir, const char* binary,
                                    const std::string& locations = "") {
  ServerProcess::Options options;
  options.arguments = [dir, binary, locations](int port) -> std::vector<std::string> {
    const std::string d = dir.string();
    std::ofstream(dir / "nginx.conf")
        << "worker_processes 1;\n"
        << "pid " << d << "/nginx.pid;\n"
        << "error_log " << d << "/error.log;\n"
        << (::geteuid() == 0 ? "user root;\n" : "") << "events { worker_connections 16; }\n"
        << "http {\n"
        << "  log_format conn '$connection $request $status $body_bytes_sent';\n"
        << "  access_log " << d
        << "/access.log conn;\n"
        // Sanitizer builds on a busy machine check the first copy slowly; the
        // kept connection must still be there for the second fetch.
        << "  keepalive_timeout 600s;\n"
        << "  send_timeout 600s;\n"
        << "  client_body_temp_path " << d << "/tmp;\n"
        << "  proxy_temp_path " << d << "/tmp;\n"
        << "  fastcgi_temp_path " << d << "/tmp;\n"
        << "  uwsgi_temp_path " << d << "/tmp;\n"
        << "  scgi_temp_path " << d << "/tmp;\n"
        << "  server {\n"
        << "    listen 127.0.0.1:" << port << ";\n"
        << "    root " << d << "/www;\n"
        << locations << "  }\n"
        << "}\n";
    return {binary, "-p", d, "-e", d + "/error.log", "-c", d + "/nginx.conf", "-g", "daemon off;"};
  };
  options.stopSignal = SIGQUIT;  // graceful: the access log is complete afterwards
  return options;
}

TEST(ClientAgainstNginx, LargeFileTwiceOverOneKeptConnection) {
  const char* binary = NginxBinary();
  if (!binary) GTEST_SKIP() << "nginx is not installed";

  const TempDir scratch("kalvoran-nginx");
  const fs::path dir = scratch.Path();
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

  ServerProcess nginx(NginxOptions(dir, binary));
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
}

// nginx refuses folded request header lines with 400 Bad Request: a Cookie
// line past 1024 characters must go out whole for the next request to pass.
TEST(ClientAgainstNginx, TakesBackALongCookieLine) {
  const char* binary = NginxBinary();
  if (!binary) GTEST_SKIP() << "nginx is not installed";
  const TempDir scratch("kalvoran-nginx");
  const fs::path dir = scratch.Path();
  fs::create_directories(dir / "www");
  fs::create_directories(dir / "tmp");
  fs::permissions(dir, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
  std::ofstream(dir / "www" / "next.txt") << "next";
  std::string setCookies;
  for (int i = 0; i < 12; ++i) {
    setCookies += "      add_header Set-Cookie \"c" + std::to_string(i) + "=" +
                  std::string(100, static_cast<char>('a' + i)) + "; Path=/\";\n";
  }
  ServerProcess nginx(NginxOptions(
      dir, binary,
      "    location = /cookies {\n" + setCookies + "      return 200 \"set\";\n    }\n"));
  ASSERT_TRUE(nginx.Running()) << ReadFile(dir / "error.log");

  HttpClient client;
  const std::string base = "http://127.0.0.1:" + std::to_string(nginx.Port());
  EXPECT_EQ(client.Get(base + "/cookies"), "set");
  std::string next;
  try {
    next = client.Get(base + "/next.txt");
  } catch (const std::exception& e) {
    FAIL() << "the request with the long Cookie line failed: " << e.what();
  }
  EXPECT_EQ(next, "next");
}

}  // namespace
}  // namespace kalvoran
