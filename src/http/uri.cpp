#include "uri.h"

#include <algorithm>
#include <vector>

#include "errors.h"
#include "header_list.h"

namespace kalvoran {

namespace {

// Path, document and params of `rest`. The query starts at the first "?", or
// failing that at the first "=", and the path ends at the last "/" before it.
void SplitPathPart(std::string_view rest, bool leadingSlash, Uri& uri) {
  std::size_t q = rest.find('?');
  if (q == std::string_view::npos) q = rest.find('=');
  const std::string_view beforeQuery = q == std::string_view::npos ? rest : rest.substr(0, q);
  const std::size_t slash = beforeQuery.rfind('/');
  const std::size_t docStart = slash == std::string_view::npos ? 0 : slash + 1;
  uri.Path.assign(leadingSlash ? 1 : 0, '/');
  uri.Path.append(rest.substr(0, docStart));
  uri.Document = std::string(beforeQuery.substr(docStart));
  if (q != std::string_view::npos) uri.Params = std::string(rest.substr(q));
}

void SplitBookmark(std::string& text, std::string& bookmark) {
  const std::size_t hash = text.find('#');
  if (hash == std::string::npos) return;
  bookmark = text.substr(hash + 1);
  text.erase(hash);
}

// A whole decimal number, or 0 when the text is not one.
long long DecimalOrZero(std::string_view text) {
  if (text.empty() || text.size() > 18) return 0;
  long long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return 0;
    value = value * 10 + (c - '0');
  }
  return value;
}

}  // namespace

Uri SplitAddress(std::string_view address) {
  std::string text(address);
  std::replace(text.begin(), text.end(), '\\', '/');
  Uri uri;

  const std::size_t scheme = text.find("://");
  if (scheme == std::string::npos) {
    SplitPathPart(text, /*leadingSlash=*/false, uri);
    SplitBookmark(uri.Params, uri.Bookmark);
    return uri;
  }

  uri.Protocol = text.substr(0, scheme);
  std::string_view rest = std::string_view(text).substr(scheme + 3);
  std::string_view authority = rest;
  const std::size_t slash = rest.find('/');
  if (slash == std::string_view::npos) {
    rest = {};
  } else {
    authority = rest.substr(0, slash);
    rest.remove_prefix(slash + 1);
  }

  const std::size_t at = authority.find('@');
  if (at != std::string_view::npos) {
    const std::string_view credentials = authority.substr(0, at);
    authority.remove_prefix(at + 1);
    const std::size_t colon = credentials.find(':');
    uri.Username = std::string(credentials.substr(0, colon));
    if (colon != std::string_view::npos && !uri.Username.empty()) {
      uri.Password = std::string(credentials.substr(colon + 1));
    }
  }

  const std::size_t colon = authority.find(':');
  uri.Host = std::string(authority.substr(0, colon));
  if (colon != std::string_view::npos) uri.Port = std::string(authority.substr(colon + 1));

  SplitPathPart(rest, /*leadingSlash=*/true, uri);
  if (uri.Document.find('#') != std::string::npos) {
    SplitBookmark(uri.Document, uri.Bookmark);
  } else {
    SplitBookmark(uri.Params, uri.Bookmark);
  }
  return uri;
}

std::string NormalizePath(std::string_view path) {
  const bool leading = !path.empty() && path.front() == '/';
  const bool trailing = path.size() > 1 && path.back() == '/';
  if (leading) path.remove_prefix(1);
  if (trailing && !path.empty()) path.remove_suffix(1);

  std::vector<std::string_view> segments;
  while (!path.empty()) {
    const std::size_t slash = path.find('/');
    const std::string_view segment = path.substr(0, slash);
    if (segment == "..") {
      if (!segments.empty()) segments.pop_back();
    } else if (segment != ".") {
      segments.push_back(segment);
    }
    if (slash == std::string_view::npos) break;
    path.remove_prefix(slash + 1);
  }

  std::string out = leading ? "/" : "";
  for (std::size_t i = 0; i < segments.size(); ++i) {
    if (i > 0) out += '/';
    out.append(segments[i]);
  }
  if (trailing && !segments.empty()) out += '/';
  return out;
}

void PrepareUri(Uri& current, std::string_view address) {
  Uri next = SplitAddress(address);

  current.Username = next.Username;
  current.Password = next.Password;

  if (!next.Path.empty() && next.Path.front() == '/') {
    current.Path = next.Path;
  } else {
    // A relative path continues the current one; a request target always
    // starts at the root.
    std::string resolved = NormalizePath(current.Path + next.Path);
    if (!resolved.empty() && resolved.front() == '/') {
      current.Path = std::move(resolved);
    } else {
      current.Path.assign(1, '/');
      current.Path += resolved;
    }
  }
  current.Document = next.Document;
  current.Params = next.Params;
  current.Bookmark = next.Bookmark;
  if (!next.Host.empty()) current.Host = next.Host;
  current.Protocol = next.Protocol.empty() ? "http" : next.Protocol;

  if (!next.Port.empty()) {
    current.Port = next.Port;
    return;
  }
  const long long port = DecimalOrZero(current.Port);
  if (port == 0 || port == 80 || port == 443) {
    if (EqualsNoCase(current.Protocol, "http")) {
      current.Port = "80";
    } else if (EqualsNoCase(current.Protocol, "https")) {
      current.Port = "443";
    } else {
      throw EClientError("");
    }
  }
}

std::string RequestTarget(const Uri& uri) {
  return uri.Path + uri.Document + uri.Params;
}

std::string HostHeader(const Uri& uri) {
  return uri.Port == "80" ? uri.Host : uri.Host + ":" + uri.Port;
}

}  // namespace kalvoran
