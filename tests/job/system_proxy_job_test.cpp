// The Windows user's proxy settings, written to the registry as Windows keeps
// them: a whole job through tinyproxy, which the test's fixture runs beside
// Wine, and the variables that count before them.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <windows.h>

#include <chrono>
#include <cstdint>

#include "job_test_support.h"
#include "proxy_rules.h"

namespace kalvoran {
namespace {

using namespace std::chrono_literals;
using namespace test;

constexpr const wchar_t* kConnections =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";

class SystemProxy : public ::testing::Test {
 protected:
  // Whatever the environment of the test run holds would take precedence.
  void SetUp() override {
    for (const char* name : {"http_proxy", "https_proxy", "all_proxy"}) _putenv_s(name, "");
  }
  void TearDown() override {
    SetUp();
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kConnections, L"DefaultConnectionSettings");
  }

  // The user's fixed proxy, as Windows keeps it in the test's prefix: version
  // 0x46, a counter, flags (2: a fixed proxy), then proxy, bypass list and
  // script address, each a length and its bytes. Wine reads another version
  // as "detect the proxy", and refuses a value without the script address.
  static void SetUserProxy(const std::string& proxy, const std::string& bypass) {
    std::string value;
    const auto add = [&value](std::uint32_t n, const std::string& text = "") {
      value.append(reinterpret_cast<const char*>(&n), 4) += text;
    };
    add(0x46), add(1), add(2), add(proxy.size(), proxy), add(bypass.size(), bypass), add(0);
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kConnections, L"DefaultConnectionSettings",
                              REG_BINARY, value.data(), static_cast<DWORD>(value.size())),
              ERROR_SUCCESS);
  }
};

TEST_F(SystemProxy, AWholeJobGoesThroughTheUsersProxy) {
  const std::string port = ReadFile(KALVORAN_TINYPROXY_DIR "/port");
  ASSERT_NE(port, "") << "tinyproxy is started by the test's fixture under ctest";
  ScriptedServer server{30s};
  const std::string file = TestBytes(100000, 3);
  server.AddScript(CountedReply(file));
  server.AddScript(CountedReply(" Saved"));
  WorkingDir dir;
  HeadlessWindow window{KeyFor("0;noo;p;f.bin;")};
  SetUserProxy("127.0.0.1:" + port.substr(0, port.find('\n')), "<-loopback>");
  DownloadJobOptions options = OptionsFor(server, dir);
  options.Proxies = SystemProxyRules();

  TDownloadThread worker(window, options);
  worker.Start();
  ASSERT_TRUE(worker.WaitFor(20s));
  EXPECT_EQ(worker.ReturnValue, 0);
  EXPECT_TRUE(ReadFile(dir.Folder() + "/f.bin") == file);
  // tinyproxy logs a request line before it connects to the server.
  const std::string log = ReadFile(KALVORAN_TINYPROXY_DIR "/log");
  EXPECT_NE(log.find("GET " + server.Url("/DOWNLOADER/DownloadStream1v1.php?")), std::string::npos)
      << log;

  // A proxy variable counts before the user's settings, in any case here.
  _putenv_s("HTTP_PROXY", "env.test:8080");
  const auto proxy = SystemProxyRules().For("http", "example.com");
  EXPECT_EQ(proxy ? proxy->Name() : "direct", "env.test:8080");
  EXPECT_FALSE(SystemProxyRules().For("https", "example.com"));
}

// Over https the job tunnels through the proxy with CONNECT and speaks
// Windows' own TLS inside the tunnel, to nginx beside Wine.
TEST_F(SystemProxy, AWholeJobOverHttpsTunnelsThroughTheUsersProxy) {
  const std::string proxyPort = ReadFile(KALVORAN_TINYPROXY_DIR "/port");
  const std::string tlsPort = ReadFile(KALVORAN_TLS_SERVERS_DIR "/port-local");
  ASSERT_NE(proxyPort, "") << "tinyproxy is started by the test's fixture under ctest";
  ASSERT_NE(tlsPort, "") << "nginx is started by the test's fixture under ctest";
  const std::string server = "https://127.0.0.1:" + tlsPort.substr(0, tlsPort.find('\n'));
  SetUserProxy("127.0.0.1:" + proxyPort.substr(0, proxyPort.find('\n')), "<-loopback>");
  WorkingDir dir;
  HeadlessWindow window{KeyFor("0;;pack;a.bin*c.bin;c.bin")};
  DownloadJobOptions options;
  options.Servers = {{server, server, server}, server};
  options.WorkingDirectory = dir.Path();
  options.CaFile = KALVORAN_TLS_SERVERS_DIR "/pki/ca.pem";
  options.Proxies = SystemProxyRules();
  TDownloadThread worker(window, options);
  worker.Start();
  ASSERT_TRUE(worker.WaitFor(60s));
  EXPECT_EQ(worker.ReturnValue, 0);
  for (const char* name : {"a.bin", "c.bin"}) {
    EXPECT_TRUE(ReadFile(dir.Folder() + "/" + name) ==
                ReadFile(std::string(KALVORAN_TLS_SERVERS_DIR "/www/pack/") + name))
        << name;
  }
  const std::string log = ReadFile(KALVORAN_TINYPROXY_DIR "/log");
  EXPECT_NE(log.find("CONNECT " + server.substr(8)), std::string::npos) << log;
}

}  // namespace
}  // namespace kalvoran
