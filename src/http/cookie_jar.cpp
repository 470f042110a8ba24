#include "cookie_jar.h"

#include <algorithm>
#include <mutex>

#include "internet_date.h"
#include "response_head.h"

namespace kalvoran {

namespace {

// Four dot-separated decimal numbers from 0 to 255.
bool IsDottedIpv4(std::string_view host) {
  int parts = 0;
  while (true) {
    const std::size_t dot = host.find('.');
    const std::string_view part = host.substr(0, dot);
    if (part.empty() || part.size() > 3) return false;
    int value = 0;
    for (char c : part) {
      if (c < '0' || c > '9') return false;
      value = value * 10 + (c - '0');
    }
    if (value > 255) return false;
    ++parts;
    if (dot == std::string_view::npos) break;
    host.remove_prefix(dot + 1);
  }
  return parts == 4;
}

std::string Unquote(std::string_view text) {
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
    text = text.substr(1, text.size() - 2);
  }
  return std::string(text);
}

std::vector<int> ParsePorts(std::string_view text) {
  std::vector<int> ports;
  std::string list = Unquote(Trim(text));
  std::string_view rest = list;
  while (!rest.empty()) {
    const std::size_t comma = rest.find(',');
    const std::optional<std::int64_t> port = ParseDecimal(rest.substr(0, comma));
    if (port && *port > 0 && *port <= 65535) ports.push_back(static_cast<int>(*port));
    if (comma == std::string_view::npos) break;
    rest.remove_prefix(comma + 1);
  }
  if (ports.empty()) ports.push_back(80);
  return ports;
}

bool HasLineBreak(std::string_view text) {
  return text.find_first_of("\r\n") != std::string_view::npos;
}

}  // namespace

bool DomainSuitsHost(std::string_view domain, std::string_view host) {
  if (IsDottedIpv4(host)) return domain == host;
  if (domain.empty() || domain.front() != '.') return domain == host;
  const std::size_t dot = host.find('.');
  return dot != std::string_view::npos && domain == host.substr(dot);
}

std::optional<Cookie> ParseSetCookie(std::string_view value, bool version2,
                                     std::string_view requestHost, std::int64_t nowUtc) {
  if (value.size() > kCookieMaxBytes) return std::nullopt;
  std::vector<std::string_view> parts;
  while (true) {
    const std::size_t semicolon = value.find(';');
    parts.push_back(Trim(value.substr(0, semicolon)));
    if (semicolon == std::string_view::npos) break;
    value.remove_prefix(semicolon + 1);
  }

  Cookie cookie;
  const std::size_t eq = parts[0].find('=');
  cookie.Name = std::string(parts[0].substr(0, eq));
  if (eq != std::string_view::npos) cookie.Value = std::string(parts[0].substr(eq + 1));

  bool hasExpires = false, hasDomain = false;
  for (std::size_t i = 1; i < parts.size(); ++i) {
    const std::size_t sep = parts[i].find('=');
    const std::string name = UpperCase(parts[i].substr(0, sep));
    const std::string_view attr =
        sep == std::string_view::npos ? std::string_view() : parts[i].substr(sep + 1);
    if (name == "PATH") {
      cookie.Path = Unquote(attr);
    } else if (name == "EXPIRES") {
      cookie.Expires = std::string(attr);
      hasExpires = true;
    } else if (name == "DOMAIN") {
      cookie.Domain = std::string(attr);
      hasDomain = true;
    } else if (name == "SECURE") {
      cookie.Secure = true;
    } else if (name == "MAX-AGE") {
      cookie.MaxAge = std::string(attr);
    } else if (name == "VERSION") {
      cookie.Version = std::string(attr);
    } else if (name == "COMMENT") {
      cookie.Comment = std::string(attr);
    } else if (version2 && name == "COMMENTURL") {
      cookie.CommentUrl = std::string(attr);
    } else if (version2 && name == "DISCARD") {
      cookie.Discard = true;
    } else if (version2 && name == "PORT") {
      cookie.Ports = ParsePorts(attr);
    }
  }

  if (!hasExpires) {
    const std::optional<std::int64_t> maxAge = ParseDecimal(cookie.MaxAge);
    if (maxAge && *maxAge >= 0) {
      // Far-future ages stop at the last representable date.
      constexpr std::int64_t kLimit = std::int64_t{1} << 40;
      cookie.Expires = FormatInternetDate(nowUtc + std::min(*maxAge, kLimit));
    }
  }
  if (!hasDomain) cookie.Domain = std::string(requestHost);
  if (!DomainSuitsHost(cookie.Domain, requestHost)) return std::nullopt;
  return cookie;
}

bool CookieExpired(const Cookie& cookie, std::int64_t nowUtc) {
  if (cookie.Expires.empty()) return false;
  const std::optional<std::int64_t> expiry = ParseInternetDate(Trim(cookie.Expires));
  return !expiry || *expiry <= nowUtc;
}

void CookieJar::Store(const HeaderList& headers, std::string_view requestHost,
                      std::int64_t nowUtc) {
  for (const auto& [name, value] : headers.Fields()) {
    const bool version1 = EqualsNoCase(name, "Set-Cookie");
    if (!version1 && !EqualsNoCase(name, "Set-Cookie2")) continue;
    if (std::optional<Cookie> cookie = ParseSetCookie(value, !version1, requestHost, nowUtc)) {
      Store(*cookie);
    }
  }
}

void CookieJar::Store(const Cookie& cookie) {
  std::unique_lock lock(mutex_);
  auto& cookies = domains_[cookie.Domain];
  if (auto it = cookies.find(cookie.Name); it != cookies.end()) {
    it->second.cookie = cookie;
    return;
  }
  const std::uint64_t age = nextAge_++;
  cookies.emplace(cookie.Name, Stored{cookie, age});
  byAge_.emplace(age, std::make_pair(cookie.Domain, cookie.Name));
  if (cookies.size() > kCookiesPerDomain) {
    const auto oldest =
        std::min_element(cookies.begin(), cookies.end(),
                         [](const auto& a, const auto& b) { return a.second.age < b.second.age; });
    DropLocked(cookie.Domain, std::string(oldest->first));
  }
  if (byAge_.size() > kCookiesInAll) {
    const auto [domain, name] = byAge_.begin()->second;
    DropLocked(domain, name);
  }
}

void CookieJar::DropLocked(const std::string& domain, const std::string& name) {
  const auto cookies = domains_.find(domain);
  const auto it = cookies->second.find(name);
  byAge_.erase(it->second.age);
  cookies->second.erase(it);
  if (cookies->second.empty()) domains_.erase(cookies);
}

std::string CookieJar::CookieHeader(std::string_view requestHost, std::string_view requestPath,
                                    std::int64_t nowUtc) {
  {
    std::unique_lock lock(mutex_);
    for (auto domain = domains_.begin(); domain != domains_.end();) {
      std::erase_if(domain->second, [&](const auto& entry) {
        const bool expired = CookieExpired(entry.second.cookie, nowUtc);
        if (expired) byAge_.erase(entry.second.age);
        return expired;
      });
      domain = domain->second.empty() ? domains_.erase(domain) : std::next(domain);
    }
  }

  std::vector<std::pair<std::string, const Cookie*>> chosen;  // upper-cased path, cookie
  std::string header;
  std::shared_lock lock(mutex_);
  const std::string host = UpperCase(requestHost);
  for (const auto& [domain, cookies] : domains_) {
    if (host.find(UpperCase(domain)) == std::string::npos) continue;
    for (const auto& [name, stored] : cookies) {
      const Cookie& cookie = stored.cookie;
      if (cookie.Path.empty() || cookie.Secure || cookie.Value.empty()) continue;
      // A lone CR may come inside a received line; sent back it would end the
      // Cookie line early and let the server's bytes forge request headers.
      if (HasLineBreak(cookie.Name) || HasLineBreak(cookie.Value)) continue;
      if (requestPath.substr(0, cookie.Path.size()) != cookie.Path) continue;
      chosen.emplace_back(UpperCase(cookie.Path), &cookie);
    }
  }
  std::stable_sort(chosen.begin(), chosen.end(),
                   [](const auto& a, const auto& b) { return a.first > b.first; });
  for (const auto& [path, cookie] : chosen) {
    if (!header.empty()) header += "; ";
    header.append(cookie->Name).append("=").append(cookie->Value);
  }
  return header;
}

std::size_t CookieJar::Count() const {
  std::shared_lock lock(mutex_);
  return byAge_.size();
}

}  // namespace kalvoran
