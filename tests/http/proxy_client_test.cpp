// Requests through a real proxy (Debian's tinyproxy): which ones go through
// it, and how its demands, refusals and absence end them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "client_test_helpers.h"
#include "loopback_socket.h"
#include "proxy_variables.h"
#include "scripted_server.h"
#include "tinyproxy.h"

namespace kalvoran {
namespace {

using test::Outcome;
using test::Script;
using test::Tinyproxy;

ProxyRules Rules(const std::string& proxy, const std::string& noProxy) {
  return test::RulesFromVariables(
      {{"http_proxy", proxy}, {"https_proxy", proxy}, {"no_proxy", noProxy}});
}

TEST(ProxyClient, RequestsGoThroughTheProxyOrDirectAndItsRefusalsNameIt) {
  if (!Tinyproxy::Available()) GTEST_SKIP() << "tinyproxy is not installed";
  Tinyproxy open, guarded("--auth kal pa55"), refusing("--refuse");
  ASSERT_TRUE(open.Running() && guarded.Running() && refusing.Running());
  const test::LoopbackSocket absent;  // bound, never listening: refuses
  test::ScriptedServer server;
  for (int i = 0; i < 4; ++i) {
    server.AddScript(Script().ReadHead().Send(
        "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok"));
  }
  const std::string port = std::to_string(server.Port());
  const std::string http = "http://127.0.0.1:" + port;
  const std::string https = "https://127.0.0.1:" + port;
  const std::string o = open.Url(), g = guarded.Url(), r = refusing.Url();
  const std::string a = "127.0.0.1:" + std::to_string(absent.Port());
  const auto said = [](const std::string& proxy, const std::string& status) {
    return "EHttpProtocolError The proxy " + proxy.substr(7) + " answered: HTTP/1.0 " + status;
  };
  const std::string denied = "407 Proxy Authentication Required";

  struct Case {
    std::string proxy, noProxy, url, expected;
  };
  const std::vector<Case> cases = {
      {o, "<-loopback>", http + "/a?b=1", "ok"},                             // in absolute form
      {o, "<-loopback>,localhost", "http://localhost:" + port + "/", "ok"},  // direct
      {o, "", http + "/", "ok"},  // loopback goes direct by default
      {"kal:pa%355@" + g.substr(7), "<-loopback>", http + "/c", "ok"},
      {g, "<-loopback>", http + "/d", said(g, denied)},
      {g, "<-loopback>", https + "/e", said(g, denied)},
      {r, "<-loopback>", http + "/f",
       "EHttpProtocolError HTTP/1.0 403 Access denied (through the proxy " + r.substr(7) + ")"},
      {r, "<-loopback>", https + "/g", said(r, "403 Access denied")},
      {a, "<-loopback>", https + "/h",
       "ESocketError Socket Error # 10061\r\nConnection refused. (proxy " + a + ")"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    HttpClient client;
    client.ReadTimeout = 10000;
    client.Proxies = Rules(c.proxy, c.noProxy);
    std::string body;
    const Outcome outcome = test::Catch([&] { body = client.Get(c.url); });
    EXPECT_EQ(outcome.kind == "ok" ? body : outcome.kind + " " + outcome.message, c.expected);
  }
  open.Stop();
  guarded.Stop();
  EXPECT_EQ(open.Requests(), std::vector<std::string>{"GET " + http + "/a?b=1 HTTP/1.1"});
  EXPECT_EQ(guarded.Requests(),
            (std::vector<std::string>{"GET " + http + "/c HTTP/1.1", "GET " + http + "/d HTTP/1.1",
                                      "CONNECT 127.0.0.1:" + port + " HTTP/1.1"}));
  EXPECT_EQ(server.AcceptedConnections(), 4);
}

}  // namespace
}  // namespace kalvoran
