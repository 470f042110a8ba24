// Against a server nobody here wrote: Debian's nginx on loopback serves a
// 64 MiB file, fetched twice over one kept-alive connection, and takes back
// a Cookie line longer than 1024 characters.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "file_stream.h"
#include "http_client.h"
#include "nginx_sites.h"
#include "temp_dir.h"

namespace kalvoran {
namespace {

namespace fs = std::filesystem;
using test::NginxSites;
using test::ReadFile;
using test::TempDir;

constexpr std::size_t kFileSize = 64u << 20;

TEST(ClientAgainstNginx, LargeFileTwiceOverOneKeptConnection) {
  if (!NginxSites::Binary()) GTEST_SKIP() << "nginx is not installed";
  const TempDir scratch("kalvoran-nginx");
  const fs::path dir = scratch.Path();
  NginxSites nginx(scratch.Path(), {{nullptr}});
  ASSERT_TRUE(nginx.Running()) << nginx.ErrorLog();

  const std::string content = test::TestBytes(kFileSize, 1);
  std::ofstream(dir / "www" / "big.bin", std::ios::binary).write(content.data(), content.size());

  HttpClient client;
  std::int64_t works = 0;
  client.OnWork = [&](HttpClient&, TWorkMode, std::int64_t) { ++works; };
  const std::string url = "http://127.0.0.1:" + std::to_string(nginx.Port(0)) + "/big.bin";
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
  // "port connection "request" status bytes protocol"
  std::vector<std::string> connections;
  for (const std::string& line : nginx.Requests()) {
    EXPECT_NE(line.find("\"GET /big.bin HTTP/1.1\" 200 " + std::to_string(kFileSize)),
              std::string::npos)
        << line;
    std::istringstream fields(line);
    std::string port, connection;
    fields >> port >> connection;
    connections.push_back(connection);
  }
  ASSERT_EQ(connections.size(), 2u);
  EXPECT_EQ(connections[0], connections[1]) << "the second fetch opened a new connection";
}

// nginx refuses folded request header lines with 400 Bad Request: a Cookie
// line past 1024 characters must go out whole for the next request to pass.
TEST(ClientAgainstNginx, TakesBackALongCookieLine) {
  if (!NginxSites::Binary()) GTEST_SKIP() << "nginx is not installed";
  const TempDir scratch("kalvoran-nginx");
  std::string setCookies;
  for (int i = 0; i < 12; ++i) {
    setCookies += "      add_header Set-Cookie \"c" + std::to_string(i) + "=" +
                  std::string(100, static_cast<char>('a' + i)) + "; Path=/\";\n";
  }
  NginxSites nginx(scratch.Path(), {{nullptr, "    location = /cookies {\n" + setCookies +
                                                  "      return 200 \"set\";\n    }\n"}});
  ASSERT_TRUE(nginx.Running()) << nginx.ErrorLog();
  test::WriteFile(scratch.Path() + "/www/next.txt", "next");

  HttpClient client;
  const std::string base = "http://127.0.0.1:" + std::to_string(nginx.Port(0));
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
