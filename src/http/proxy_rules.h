#pragma once
// Which proxy, if any, a request goes through: the rules of the environment's
// proxy variables (curl's conventions) or of the Windows user's proxy
// settings, and the choice they make for an address. Loopback addresses
// ("localhost", 127.0.0.0/8, ::1) always go direct, unless the bypass list
// holds "<-loopback>", as in Windows' own bypass lists.
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kalvoran {

struct ProxyServer {
  std::string Host;
  int Port = 0;
  std::string Username;  // percent-decoded; empty: no credentials sent
  std::string Password;
  // A setting that names no proxy this client can use ("socks5://...", a bad
  // port): the requests it would carry fail with this text rather than go
  // direct behind the user's back.
  std::string Error;

  // "host:port", for error texts and reports.
  std::string Name() const { return Host + ":" + std::to_string(Port); }
};

class ProxyRules {
 public:
  // The value of a variable, nullopt when it is not set.
  using Lookup = std::function<std::optional<std::string>(const char* name)>;

  // No proxy for anything.
  ProxyRules() = default;

  // http addresses: http_proxy (lower case only: a CGI environment can be made
  // to hold HTTP_PROXY); https addresses: https_proxy, else HTTPS_PROXY; both
  // fall back to all_proxy, else ALL_PROXY. Bypass: no_proxy, else NO_PROXY,
  // a comma list of host names (each also stands for its subdomains; a
  // leading "." is dropped), addresses, IPv4 networks ("10.0.0.0/8") and "*"
  // for all. Empty values count as not set. A proxy is written
  // [http://][user[:password]@]host[:port], the port 1080 when left out.
  static ProxyRules FromEnvironment(const Lookup& lookup);

  // Windows' per-user settings: `proxy` is "host:port" for every scheme or
  // "http=host:port;https=host:port" per scheme; `bypass` is a list separated
  // by ";" of patterns with "*" wildcards, where "<local>" stands for every
  // host name without a dot.
  static ProxyRules FromWindowsSettings(std::string_view proxy, std::string_view bypass);

  // The proxy for a request to scheme://host; nullopt: direct.
  std::optional<ProxyServer> For(std::string_view scheme, std::string_view host) const;

  // Neither scheme has a proxy.
  bool Empty() const { return !http_ && !https_; }

 private:
  struct BypassEntry {
    enum Kind { kDomain, kPattern, kNetwork, kLocal, kAll };
    Kind kind = kDomain;
    std::string text;  // kDomain: the name; kPattern: the pattern, lower case
    unsigned network = 0;
    unsigned mask = 0;
  };
  bool Bypassed(std::string_view host) const;

  std::optional<ProxyServer> http_;
  std::optional<ProxyServer> https_;
  std::vector<BypassEntry> bypass_;
  bool proxyLoopback_ = false;  // "<-loopback>" was listed
};

// A proxy address as the variables and settings write it; the scheme, when
// given, must be "http".
ProxyServer ParseProxyAddress(std::string_view text);

// This machine's rules, read now: the environment's variables; on Windows,
// when none of the proxy variables is set, the user's proxy settings
// (automatic configuration scripts are not run).
ProxyRules SystemProxyRules();

}  // namespace kalvoran
