// The choice of proxy for an address, from the environment's variables (as
// a Linux process sees them: names in their own case) or from Windows'
// per-user settings.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "proxy_request.h"
#include "proxy_rules.h"

namespace kalvoran {
namespace {

// "name=value|name=value": the variables; "win:PROXY|BYPASS": Windows' settings.
ProxyRules RulesFrom(const std::string& source) {
  std::vector<std::string> parts(1);
  for (char c : source) {
    if (c == '|') {
      parts.emplace_back();
    } else {
      parts.back().push_back(c);
    }
  }
  if (source.rfind("win:", 0) == 0) {
    return ProxyRules::FromWindowsSettings(parts[0].substr(4), parts.size() > 1 ? parts[1] : "");
  }
  std::map<std::string, std::string> vars;
  for (const std::string& p : parts) vars[p.substr(0, p.find('='))] = p.substr(p.find('=') + 1);
  return ProxyRules::FromEnvironment([&](const char* name) -> std::optional<std::string> {
    const auto it = vars.find(name);
    return it == vars.end() ? std::nullopt : std::optional<std::string>(it->second);
  });
}

std::string Describe(const std::optional<ProxyServer>& proxy) {
  if (!proxy) return "direct";
  if (!proxy->Error.empty()) return "error";
  const std::string user =
      proxy->Username.empty() ? "" : proxy->Username + "/" + proxy->Password + "@";
  return user + proxy->Name();
}

TEST(ProxyRules, ChooseTheProxyOfEachAddress) {
  struct Case {
    std::string source, scheme, host, expected;
  };
  const std::vector<Case> cases = {
      {"http_proxy=p:3128", "http", "example.com", "p:3128"},
      {"http_proxy=p:3128", "https", "example.com", "direct"},
      {"HTTP_PROXY=p:3128", "http", "example.com", "direct"},  // upper case: a CGI's header
      {"HTTPS_PROXY=q:8080", "https", "example.com", "q:8080"},
      {"https_proxy=a:1|HTTPS_PROXY=b:2", "HTTPS", "example.com", "a:1"},
      {"all_proxy=c", "https", "example.com", "c:1080"},
      {"http_proxy=|ALL_PROXY=http://d:9/", "http", "example.com", "d:9"},
      {"http_proxy=http://u%40x:p%3Aw@e:1", "http", "example.com", "u@x/p:w@e:1"},
      {"http_proxy=socks5://f:1", "http", "example.com", "error"},
      {"http_proxy=g:99999", "http", "example.com", "error"},
      {"http_proxy=p:1", "ftp", "example.com", "direct"},
      {"http_proxy=p:1|no_proxy=example.com", "http", "www.EXAMPLE.com", "direct"},
      {"http_proxy=p:1|no_proxy=example.com", "http", "badexample.com", "p:1"},
      {"http_proxy=p:1|no_proxy= .example.com, other", "http", "example.com", "direct"},
      {"http_proxy=p:1|NO_PROXY=*", "http", "example.com", "direct"},
      {"http_proxy=p:1|no_proxy=10.0.0.0/8", "http", "10.2.3.4", "direct"},
      {"http_proxy=p:1|no_proxy=10.0.0.0/8", "http", "11.0.0.1", "p:1"},
      {"http_proxy=p:1|no_proxy=0.0.0.1", "http", "10.0.0.1", "p:1"},
      {"http_proxy=p:1", "http", "127.0.0.9", "direct"},
      {"http_proxy=p:1", "http", "LocalHost", "direct"},
      {"http_proxy=p:1|no_proxy=<-loopback>", "http", "127.0.0.1", "p:1"},
      {"win:w:8080", "https", "example.com", "w:8080"},
      {"win:w", "http", "example.com", "w:80"},
      {"win:http=a:1;https=b:2", "https", "example.com", "b:2"},
      {"win:https=b:2", "http", "example.com", "direct"},
      {"win:w:1|<local>", "http", "intranet", "direct"},
      {"win:w:1|<local>", "http", "intranet.corp", "w:1"},
      {"win:w:1|*.corp.example; 10.*", "http", "x.Corp.example", "direct"},
      {"win:w:1|*.corp.example; 10.*", "http", "10.1.1.1", "direct"},
      {"win:w:1|*.corp.example; 10.*", "http", "corp.example", "w:1"},
      {"win:w:1", "http", "127.0.0.1", "direct"},
      {"win:w:1|<-loopback>", "http", "127.0.0.1", "w:1"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Describe(RulesFrom(c.source).For(c.scheme, c.host)), c.expected)
        << c.source << " for " << c.scheme << "://" << c.host;
  }
}

TEST(ProxyRules, CredentialsAreSentAsBasic) {
  ProxyServer proxy;
  for (const auto& [user, password, expected] :
       std::vector<std::tuple<std::string, std::string, std::string>>{
           {"", "x", ""},
           {"a", "", "Basic YTo="},
           {"ab", "c", "Basic YWI6Yw=="},
           {"Aladdin", "open sesame", "Basic QWxhZGRpbjpvcGVuIHNlc2FtZQ=="}}) {
    proxy.Username = user;
    proxy.Password = password;
    EXPECT_EQ(ProxyAuthorization(proxy), expected) << user;
  }
}

}  // namespace
}  // namespace kalvoran
