#include "proxy_rules.h"

#include <algorithm>
#include <cctype>
#include <cstdint>

namespace kalvoran {

namespace {

// curl's, for a proxy variable without a port; Windows' settings mean 80.
constexpr int kEnvironmentProxyPort = 1080;
constexpr int kWindowsProxyPort = 80;

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string_view Trim(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

// Splits at any of `separators`, trimmed, empty parts left out.
std::vector<std::string_view> SplitList(std::string_view text, std::string_view separators) {
  std::vector<std::string_view> parts;
  while (!text.empty()) {
    const std::size_t end = text.find_first_of(separators);
    const std::string_view part = Trim(text.substr(0, end));
    if (!part.empty()) parts.push_back(part);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return parts;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string PercentDecode(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
        HexValue(text[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

// A dotted IPv4 address; nullopt for anything else.
std::optional<std::uint32_t> ParseIpv4(std::string_view text) {
  std::uint32_t address = 0;
  const std::vector<std::string_view> parts = SplitList(text, ".");
  if (parts.size() != 4 || text.back() == '.' || text.front() == '.') return std::nullopt;
  for (std::string_view part : parts) {
    if (part.size() > 3 ||
        !std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      return std::nullopt;
    }
    const int value = std::stoi(std::string(part));
    if (value > 255) return std::nullopt;
    address = address << 8 | static_cast<std::uint32_t>(value);
  }
  return address;
}

bool IsLoopback(std::string_view host) {
  const std::string name = Lower(host);
  if (name == "localhost" || name == "::1" || name == "[::1]") return true;
  const std::optional<std::uint32_t> address = ParseIpv4(name);
  return address && (*address >> 24) == 127;
}

// "*" matches any run of characters; both sides in lower case.
bool MatchesPattern(std::string_view pattern, std::string_view text) {
  std::size_t p = 0, t = 0, star = std::string_view::npos, resume = 0;
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = t;
    } else if (p < pattern.size() && pattern[p] == text[t]) {
      ++p;
      ++t;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      t = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

ProxyServer ParseProxy(std::string_view text, int defaultPort) {
  ProxyServer proxy;
  const std::string_view original = Trim(text);
  std::string_view rest = original;
  const std::size_t scheme = rest.find("://");
  if (scheme != std::string_view::npos) {
    if (Lower(rest.substr(0, scheme)) != "http") {
      proxy.Error = "The proxy " + std::string(original) +
                    " cannot be used: only http:// proxies are supported.";
      return proxy;
    }
    rest.remove_prefix(scheme + 3);
  }
  rest = rest.substr(0, rest.find('/'));
  const std::size_t at = rest.rfind('@');
  if (at != std::string_view::npos) {
    const std::string_view credentials = rest.substr(0, at);
    const std::size_t colon = credentials.find(':');
    proxy.Username = PercentDecode(credentials.substr(0, colon));
    if (colon != std::string_view::npos) {
      proxy.Password = PercentDecode(credentials.substr(colon + 1));
    }
    rest.remove_prefix(at + 1);
  }
  proxy.Port = defaultPort;
  const std::size_t colon = rest.rfind(':');
  if (colon != std::string_view::npos) {
    const std::string_view port = rest.substr(colon + 1);
    int value = 0;
    bool valid = !port.empty() && port.size() <= 5;
    for (char c : port) {
      valid = valid && c >= '0' && c <= '9';
      if (valid) value = value * 10 + (c - '0');
    }
    if (!valid || value == 0 || value > 65535) {
      proxy.Error =
          "The proxy " + std::string(original) + " cannot be used: its port is not valid.";
      return proxy;
    }
    proxy.Port = value;
    rest = rest.substr(0, colon);
  }
  proxy.Host = std::string(rest);
  if (proxy.Host.empty()) {
    proxy.Error = "The proxy " + std::string(original) + " cannot be used: it names no host.";
  }
  return proxy;
}

}  // namespace

ProxyServer ParseProxyAddress(std::string_view text) {
  return ParseProxy(text, kEnvironmentProxyPort);
}

ProxyRules ProxyRules::FromEnvironment(const Lookup& lookup) {
  const auto get = [&](const char* name) -> std::optional<std::string> {
    std::optional<std::string> value = lookup(name);
    if (value && Trim(*value).empty()) return std::nullopt;
    return value;
  };
  const auto first = [&](std::initializer_list<const char*> names) -> std::optional<std::string> {
    for (const char* name : names) {
      if (std::optional<std::string> value = get(name)) return value;
    }
    return std::nullopt;
  };
  ProxyRules rules;
  if (auto http = first({"http_proxy", "all_proxy", "ALL_PROXY"})) {
    rules.http_ = ParseProxyAddress(*http);
  }
  if (auto https = first({"https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})) {
    rules.https_ = ParseProxyAddress(*https);
  }
  const std::string list = first({"no_proxy", "NO_PROXY"}).value_or("");
  for (std::string_view entry : SplitList(list, ", \t")) {
    BypassEntry bypass;
    const std::size_t slash = entry.find('/');
    if (entry == "*") {
      bypass.kind = BypassEntry::kAll;
    } else if (Lower(entry) == "<-loopback>") {
      rules.proxyLoopback_ = true;
      continue;
    } else if (slash != std::string_view::npos && ParseIpv4(entry.substr(0, slash))) {
      const std::string_view bits = entry.substr(slash + 1);
      if (bits.empty() || bits.size() > 2 ||
          !std::all_of(bits.begin(), bits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        continue;
      }
      const int count = std::stoi(std::string(bits));
      if (count > 32) continue;
      bypass.kind = BypassEntry::kNetwork;
      bypass.mask = count == 0 ? 0u : ~0u << (32 - count);
      bypass.network = *ParseIpv4(entry.substr(0, slash)) & bypass.mask;
    } else {
      while (!entry.empty() && entry.front() == '.') entry.remove_prefix(1);
      if (entry.empty()) continue;
      bypass.kind = BypassEntry::kDomain;
      bypass.text = Lower(entry);
    }
    rules.bypass_.push_back(std::move(bypass));
  }
  return rules;
}

ProxyRules ProxyRules::FromWindowsSettings(std::string_view proxy, std::string_view bypass) {
  ProxyRules rules;
  for (std::string_view entry : SplitList(proxy, "; \t")) {
    const std::size_t equals = entry.find('=');
    if (equals == std::string_view::npos) {
      // One proxy for every scheme; an earlier per-scheme entry stays.
      if (!rules.http_) rules.http_ = ParseProxy(entry, kWindowsProxyPort);
      if (!rules.https_) rules.https_ = ParseProxy(entry, kWindowsProxyPort);
      continue;
    }
    const std::string scheme = Lower(Trim(entry.substr(0, equals)));
    const std::string_view address = Trim(entry.substr(equals + 1));
    if (address.empty()) continue;
    if (scheme == "http") rules.http_ = ParseProxy(address, kWindowsProxyPort);
    if (scheme == "https") rules.https_ = ParseProxy(address, kWindowsProxyPort);
  }
  for (std::string_view entry : SplitList(bypass, "; \t")) {
    BypassEntry item;
    const std::string pattern = Lower(entry);
    if (pattern == "<-loopback>") {
      rules.proxyLoopback_ = true;
      continue;
    }
    if (pattern == "<local>") {
      item.kind = BypassEntry::kLocal;
    } else {
      item.kind = BypassEntry::kPattern;
      item.text = pattern;
    }
    rules.bypass_.push_back(std::move(item));
  }
  return rules;
}

bool ProxyRules::Bypassed(std::string_view host) const {
  const std::string name = Lower(host);
  const std::optional<std::uint32_t> address = ParseIpv4(name);
  for (const BypassEntry& entry : bypass_) {
    switch (entry.kind) {
      case BypassEntry::kAll:
        return true;
      case BypassEntry::kDomain:
        if (name == entry.text) return true;
        if (name.size() > entry.text.size() && name.ends_with(entry.text) &&
            name[name.size() - entry.text.size() - 1] == '.' && !address) {
          return true;
        }
        break;
      case BypassEntry::kPattern:
        if (MatchesPattern(entry.text, name)) return true;
        break;
      case BypassEntry::kNetwork:
        if (address && (*address & entry.mask) == entry.network) return true;
        break;
      case BypassEntry::kLocal:
        if (name.find('.') == std::string::npos && name.find(':') == std::string::npos) {
          return true;
        }
        break;
    }
  }
  return false;
}

std::optional<ProxyServer> ProxyRules::For(std::string_view scheme, std::string_view host) const {
  const std::string name = Lower(scheme);
  const std::optional<ProxyServer>& proxy =
      name == "http" ? http_ : (name == "https" ? https_ : std::optional<ProxyServer>{});
  if (!proxy) return std::nullopt;
  if (IsLoopback(host) && !proxyLoopback_) return std::nullopt;
  if (Bypassed(host)) return std::nullopt;
  return proxy;
}

}  // namespace kalvoran
