#include "response_head.h"

#include <limits>

#include "header_list.h"
#include "internet_date.h"

namespace kalvoran {

std::optional<std::int64_t> ParseDecimal(std::string_view text) {
  text = Trim(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  // Accumulated as a negative number so that the smallest value fits too.
  constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
  std::int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    const int digit = c - '0';
    if (value < (kMin + digit) / 10) return std::nullopt;
    value = value * 10 - digit;
  }
  if (!negative) {
    if (value == kMin) return std::nullopt;
    value = -value;
  }
  return value;
}

int ParseResponseCode(std::string_view statusLine) {
  const std::size_t blank = statusLine.find(' ');
  if (blank == std::string_view::npos) return -1;
  std::string_view rest = Trim(statusLine.substr(blank + 1));
  rest = rest.substr(0, rest.find(' '));
  const std::optional<std::int64_t> code = ParseDecimal(rest);
  if (!code || *code < std::numeric_limits<int>::min() || *code > std::numeric_limits<int>::max()) {
    return -1;
  }
  return static_cast<int>(*code);
}

namespace {

double LocalDate(std::string_view text) {
  const std::optional<std::int64_t> utc = ParseInternetDate(Trim(text));
  return utc ? static_cast<double>(UtcToLocal(*utc)) : 0.0;
}

// "bytes 0-99/1000": after the first blank, the numbers before "-", between
// "-" and "/", and after "/" (-1 for "*" or none).
void ParseContentRange(std::string_view value, std::int64_t& start, std::int64_t& end,
                       std::int64_t& total) {
  start = 0;
  end = 0;
  total = -1;
  const std::size_t blank = value.find(' ');
  if (blank == std::string_view::npos) return;
  value.remove_prefix(blank + 1);
  const std::size_t dash = value.find('-');
  if (dash == std::string_view::npos) return;
  start = ParseDecimal(value.substr(0, dash)).value_or(0);
  const std::string_view afterDash = value.substr(dash + 1);
  const std::size_t slash = afterDash.find('/');
  end = ParseDecimal(afterDash.substr(0, slash)).value_or(0);
  if (slash != std::string_view::npos) {
    total = ParseDecimal(afterDash.substr(slash + 1)).value_or(-1);
  }
}

}  // namespace

void FillResponseFields(HttpResponse& r, std::int64_t nowUtc) {
  const HeaderList& h = r.RawHeaders;
  r.Location = h.Value("Location");
  r.Server = h.Value("Server");
  r.ProxyConnection = h.Value("Proxy-Connection");
  ParseContentRange(h.Value("Content-Range"), r.ContentRangeStart, r.ContentRangeEnd,
                    r.ContentRangeTotal);
  r.WWWAuthenticate = h.Values("WWW-Authenticate");
  r.ProxyAuthenticate = h.Values("Proxy-Authenticate");
  r.Connection = h.Value("Connection");
  r.ContentVersion = h.Value("Content-Version");
  r.ContentEncoding = h.Value("Content-Encoding");
  r.ContentLanguage = h.Value("Content-Language");
  r.ContentType = h.Value("Content-Type");
  r.ContentLength = -1;
  if (h.Has("Content-Length"))
    r.ContentLength = ParseDecimal(h.Value("Content-Length")).value_or(-1);
  r.HasContentLength = r.ContentLength >= 0;
  r.Date = LocalDate(h.Value("Date"));
  r.LastModified = LocalDate(h.Value("Last-Modified"));
  r.Expires = 0;
  const std::string expires = h.Value("Expires");
  if (const std::optional<std::int64_t> seconds = ParseDecimal(expires)) {
    // Seconds from now; a count beyond any sensible date reads as absent.
    constexpr std::int64_t kLimit = std::int64_t{1} << 40;
    if (*seconds != -1 && *seconds > -kLimit && *seconds < kLimit) {
      r.Expires = static_cast<double>(UtcToLocal(nowUtc + *seconds));
    }
  } else if (!expires.empty()) {
    r.Expires = LocalDate(expires);
  }
  r.Pragma = h.Value("Pragma");
}

}  // namespace kalvoran
