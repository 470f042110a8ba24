#pragma once
// The cookies of one client: stored from every response head, sent back with
// the later requests of the same client. Cookie headers of any shape are
// taken as well as they can be and never make a request fail.
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "header_list.h"

namespace kalvoran {

struct Cookie {
  std::string Name;
  std::string Value;
  std::string Path;
  std::string Domain;
  std::string Expires;  // an Internet date; empty: the cookie does not expire
  bool Secure = false;
  std::string MaxAge;
  std::string Version;
  std::string Comment;
  // Set-Cookie2 only.
  std::string CommentUrl;
  bool Discard = false;
  std::vector<int> Ports{80};
};

// What one client keeps at most, as browsers do: a server must not fill the
// client's memory with cookies. The oldest cookies make room for new ones.
constexpr std::size_t kCookieMaxBytes = 4096;  // a whole Set-Cookie value
constexpr std::size_t kCookiesPerDomain = 50;
constexpr std::size_t kCookiesInAll = 3000;

// A "Set-Cookie" (or, with version2, "Set-Cookie2") value as received. A
// cookie without a domain takes the request host's; nothing when the domain
// does not suit the host or the value is longer than kCookieMaxBytes.
std::optional<Cookie> ParseSetCookie(std::string_view value, bool version2,
                                     std::string_view requestHost, std::int64_t nowUtc);

// Whether a cookie of `domain` may be set by `host`. For a dotted IPv4 host
// the domain must be the host itself; for a host name either the host or, with
// a leading ".", the host without its first label. Case matters.
bool DomainSuitsHost(std::string_view domain, std::string_view host);

// Whether an expiry text lies in the past; one that is no date does too.
bool CookieExpired(const Cookie& cookie, std::int64_t nowUtc);

class CookieJar {
 public:
  // Takes every "Set-Cookie" and "Set-Cookie2" line of a response head.
  void Store(const HeaderList& headers, std::string_view requestHost, std::int64_t nowUtc);
  // A cookie of the same domain and name is replaced and keeps its age.
  void Store(const Cookie& cookie);

  // The value of the request's "Cookie" line, empty when no cookie goes. Drops
  // expired cookies first. A cookie whose name or value holds a CR or LF is
  // never sent.
  std::string CookieHeader(std::string_view requestHost, std::string_view requestPath,
                           std::int64_t nowUtc);

  std::size_t Count() const;

 private:
  struct Stored {
    Cookie cookie;
    std::uint64_t age;  // the store order: lower is older
  };
  void DropLocked(const std::string& domain, const std::string& name);

  mutable std::shared_mutex mutex_;
  // Domain -> cookie name -> cookie.
  std::map<std::string, std::map<std::string, Stored>> domains_;
  // Age -> domain and name, oldest first.
  std::map<std::uint64_t, std::pair<std::string, std::string>> byAge_;
  std::uint64_t nextAge_ = 0;
};

}  // namespace kalvoran
