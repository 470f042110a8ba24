#pragma once
// The request record, rebuilt for every request, and the request head it
// makes on the wire.
#include <cstdint>
#include <string>

#include "header_list.h"

namespace kalvoran {

enum TProtocolVersion { pv1_0, pv1_1 };

struct HttpRequest {
  std::string Method = "GET";
  std::string Url;  // the request target
  std::string Host;
  std::string Accept = "text/html, */*";
  std::string UserAgent = "Mozilla/3.0 (compatible; Kalvoran Downloader)";
  std::string ContentType = "text/html";
  std::int64_t ContentLength = -1;  // not sent while negative
  std::string Connection;
  std::string ProxyConnection;
  std::string AcceptCharSet;
  std::string AcceptEncoding;
  std::string AcceptLanguage;
  std::string From;
  std::string Referer;
  std::string CacheControl;
  std::string ContentEncoding;
  std::string ContentLanguage;
  std::string ContentVersion;
  std::string Pragma;
  HeaderList CustomHeaders;
  // Seconds since the epoch, UTC; not sent while zero.
  std::int64_t Date = 0;
  std::int64_t Expires = 0;
  std::int64_t LastModified = 0;  // sent as If-Modified-Since
  std::int64_t ContentRangeStart = 0;
  std::int64_t ContentRangeEnd = 0;
  std::string IfRange;  // with a Range: the validator the rest must still match
  std::string Username;
  std::string Password;
  std::string ProxyAuthorization;  // for the proxy a request goes through
  std::string Cookie;              // the jar's matching cookies
};

// The header lines in their fixed order, each only when it has a value.
HeaderList RequestHeaders(const HttpRequest& request);

// The whole head: request line, header lines, empty line, all ending in CR LF.
std::string RequestHead(const HttpRequest& request, TProtocolVersion version);

}  // namespace kalvoran
