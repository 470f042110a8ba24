#pragma once
// The response record: filled by every response head, kept until the next.
#include <cstdint>
#include <string>
#include <vector>

#include "header_list.h"
#include "stream.h"

namespace kalvoran {

struct HttpResponse {
  std::string ResponseText;  // the status line as received
  int ResponseCode = -1;
  HeaderList RawHeaders;
  std::string ContentType = "text/html";  // before the first response
  std::int64_t ContentLength = -1;
  bool HasContentLength = false;
  std::string Connection;
  std::string ProxyConnection;
  std::string Location;
  std::string Server;
  std::string Pragma;
  std::string ContentEncoding;
  std::string ContentLanguage;
  std::string ContentVersion;
  // Local time as seconds since the epoch; 0 when absent or unreadable.
  double Date = 0;
  double LastModified = 0;
  double Expires = 0;
  std::int64_t ContentRangeStart = 0;
  std::int64_t ContentRangeEnd = 0;
  std::int64_t ContentRangeTotal = -1;  // the whole body's length; -1 for "*" or none
  std::vector<std::string> WWWAuthenticate;
  std::vector<std::string> ProxyAuthenticate;
  Stream* ContentStream = nullptr;  // the body's target while a request runs
};

}  // namespace kalvoran
