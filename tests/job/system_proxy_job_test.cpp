// The Windows user's proxy settings, written to the registry as Windows keeps
// them: a whole job through tinyproxy, which the test's fixture runs beside
// Wine, and the variables that count before them.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <windows.h>

#include <chrono>
#include <cstdint>
#include <vector>

#include "job_test_support.h"
#include "proxy_rules.h"

namespace kalvoran {
namespace {

using namespace std::chrono_literals;
using namespace test;

// The user's fixed proxy for the length of a test, in the test's own prefix.
class UserProxySetting {
 public:
  UserProxySetting(const std::string& proxy, const std::string& bypass) {
    RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_,
                    nullptr);
    // Version, change counter, flags (2: a fixed proxy), then proxy, bypass
    // list and script address, each a length and its bytes. Another version
    // reads as "detect the proxy"; without the script address the value is
    // refused.
    std::vector<BYTE> value;
    const auto add = [&value](std::uint32_t n, const std::string& text) {
      for (int i = 0; i < 4; ++i) value.push_back(static_cast<BYTE>(n >> (8 * i)));
      value.insert(value.end(), text.begin(), text.end());
    };
    for (const std::uint32_t n : {0x46u, 1u, 2u}) add(n, "");
    for (const std::string& text : {proxy, bypass, std::string()}) add(text.size(), text);
    EXPECT_EQ(RegSetValueExW(key_, kValue, 0, REG_BINARY, value.data(),
                             static_cast<DWORD>(value.size())),
              ERROR_SUCCESS);
  }
  ~UserProxySetting() {
    RegDeleteValueW(key_, kValue);
    RegCloseKey(key_);
  }

 private:
  static constexpr const wchar_t* kKey =
      L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";
  static constexpr const wchar_t* kValue = L"DefaultConnectionSettings";
  HKEY key_ = nullptr;
};

class SystemProxy : public ::testing::Test {
 protected:
  // Whatever the environment of the test run holds would take precedence.
  void SetUp() override {
    for (const char* name : {"http_proxy", "https_proxy", "all_proxy"}) _putenv_s(name, "");
  }
  void TearDown() override { SetUp(); }
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
  UserProxySetting setting("127.0.0.1:" + port.substr(0, port.find('\n')), "<-loopback>");
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

}  // namespace
}  // namespace kalvoran
