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
  const auto name = [](int p) { return "127.0.0.1:" + std::to_string(p); };
  const std::string denied = "HTTP/1.0 407 Proxy Authentication Required";

  struct Case {
    const char* what;
    std::string proxy, noProxy, url;
    Outcome expected;
  };
  const std::vector<Case> cases = {
      {"plain http, absolute form", open.Url(), "<-loopback>", http + "/a?b=1", {"ok", ""}},
      {"no_proxy names the host",
       open.Url(),
       "<-loopback>,localhost",
       "http://localhost:" + port + "/direct",
       {"ok", ""}},
      {"loopback goes direct by default", open.Url(), "", http + "/direct", {"ok", ""}},
      {"percent-encoded credentials",
       "kal:pa%355@" + name(guarded.Port()),
       "<-loopback>",
       http + "/c",
       {"ok", ""}},
      {"no credentials",
       guarded.Url(),
       "<-loopback>",
       http + "/d",
       {"EHttpProtocolError", "The proxy " + name(guarded.Port()) + " answered: " + denied, 407}},
      {"no credentials, tunnel",
       guarded.Url(),
       "<-loopback>",
       https + "/e",
       {"EHttpProtocolError", "The proxy " + name(guarded.Port()) + " answered: " + denied, 407}},
      {"refused",
       refusing.Url(),
       "<-loopback>",
       http + "/f",
       {"EHttpProtocolError",
        "HTTP/1.0 403 Access denied (through the proxy " + name(refusing.Port()) + ")", 403}},
      {"refused tunnel",
       refusing.Url(),
       "<-loopback>",
       https + "/g",
       {"EHttpProtocolError",
        "The proxy " + name(refusing.Port()) + " answered: HTTP/1.0 403 Access denied", 403}},
      {"unreachable",
       name(absent.Port()),
       "<-loopback>",
       https + "/h",
       {"ESocketError",
        "Socket Error # 10061\r\nConnection refused. (proxy " + name(absent.Port()) + ")", 10061}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    HttpClient client;
    client.ReadTimeout = 10000;
    client.Proxies = Rules(c.proxy, c.noProxy);
    std::string body;
    const Outcome outcome = test::Catch([&] { body = client.Get(c.url); });
    EXPECT_EQ(outcome.kind, c.expected.kind);
    EXPECT_EQ(outcome.message, c.expected.message);
    EXPECT_EQ(outcome.code, c.expected.code);
    EXPECT_EQ(body, outcome.kind == "ok" ? "ok" : "");
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
