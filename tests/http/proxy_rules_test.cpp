// The choice of proxy for an address, from the environment's variables or
// from Windows' per-user settings.
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "proxy_variables.h"

namespace kalvoran {
namespace {

// "name=value name=value ..."
ProxyRules RulesFrom(const std::string& variables) {
  std::istringstream in(variables);
  std::map<std::string, std::string> vars;
  for (std::string word; in >> word;) {
    vars[word.substr(0, word.find('='))] = word.substr(word.find('=') + 1);
  }
  return test::RulesFromVariables(vars);
}

TEST(ProxyRules, ChooseTheProxyOfEachAddress) {
  struct Case {
    std::string source, scheme, host, expected;
  };
  const std::vector<Case> cases = {
      {"http_proxy=p:3128", "http", "example.com", "p:3128"},
      {"http_proxy=p:3128", "https", "example.com", "direct"},
      {"HTTP_PROXY=p:3128", "http", "example.com", "direct"},  // upper case: a CGI's header
      {"https_proxy=a:1 HTTPS_PROXY=b:2", "HTTPS", "example.com", "a:1"},
      {"HTTPS_PROXY=b:2 all_proxy=c", "https", "example.com", "b:2"},
      {"http_proxy= ALL_PROXY=http://d/", "http", "example.com", "d:1080"},
      {"http_proxy=http://u%40x:p%3Aw@e:1", "http", "example.com", "u@x/p:w@e:1"},
      {"http_proxy=socks5://f:1", "http", "example.com", "error"},
      {"http_proxy=g:99999", "http", "example.com", "error"},
      {"http_proxy=p:1 no_proxy=example.com", "http", "www.EXAMPLE.com", "direct"},
      {"http_proxy=p:1 no_proxy=example.com", "http", "badexample.com", "p:1"},
      {"http_proxy=p:1 no_proxy=other,.example.com", "http", "example.com", "direct"},
      {"http_proxy=p:1 NO_PROXY=*", "http", "example.com", "direct"},
      {"http_proxy=p:1 no_proxy=10.0.0.0/8", "http", "10.2.3.4", "direct"},
      {"http_proxy=p:1 no_proxy=10.0.0.0/8", "http", "11.0.0.1", "p:1"},
      {"http_proxy=p:1", "http", "127.0.0.9", "direct"},
      {"http_proxy=p:1", "http", "LocalHost", "direct"},
      {"http_proxy=p:1 no_proxy=<-loopback>", "http", "127.0.0.1", "p:1"},
  };
  struct WindowsCase {
    std::string proxy, bypass, scheme, host, expected;
  };
  const std::vector<WindowsCase> windows = {
      {"w:8080", "", "https", "example.com", "w:8080"},
      {"w", "", "http", "example.com", "w:80"},
      {"http=a:1;https=b:2", "", "https", "example.com", "b:2"},
      {"https=b:2", "", "http", "example.com", "direct"},
      {"w:1", "<local>", "http", "intranet", "direct"},
      {"w:1", "<local>", "http", "intranet.corp", "w:1"},
      {"w:1", "*.corp.example; 10.*", "http", "x.Corp.example", "direct"},
      {"w:1", "*.corp.example; 10.*", "http", "corp.example", "w:1"},
      {"w:1", "<-loopback>", "http", "127.0.0.1", "w:1"},
  };
  const auto describe = [](const std::optional<ProxyServer>& proxy) -> std::string {
    if (!proxy) return "direct";
    if (!proxy->Error.empty()) return "error";
    const std::string user =
        proxy->Username.empty() ? "" : proxy->Username + "/" + proxy->Password + "@";
    return user + proxy->Name();
  };
  for (const Case& c : cases) {
    EXPECT_EQ(describe(RulesFrom(c.source).For(c.scheme, c.host)), c.expected)
        << c.source << " for " << c.scheme << "://" << c.host;
  }
  for (const WindowsCase& c : windows) {
    EXPECT_EQ(describe(ProxyRules::FromWindowsSettings(c.proxy, c.bypass).For(c.scheme, c.host)),
              c.expected)
        << c.proxy << " " << c.bypass << " for " << c.host;
  }
}

}  // namespace
}  // namespace kalvoran
