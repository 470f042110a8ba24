#include "http_request.h"

#include "internet_date.h"

namespace kalvoran {

namespace {

void AddText(HeaderList& list, std::string_view name, const std::string& value) {
  if (!value.empty()) list.Set(name, value);
}

void AddDate(HeaderList& list, std::string_view name, std::int64_t date) {
  if (date != 0) list.Set(name, FormatInternetDate(date));
}

}  // namespace

HeaderList RequestHeaders(const HttpRequest& r) {
  HeaderList h;
  AddText(h, "Connection", r.Connection);
  AddText(h, "Content-Version", r.ContentVersion);
  AddText(h, "Content-Encoding", r.ContentEncoding);
  AddText(h, "Content-Language", r.ContentLanguage);
  AddText(h, "Content-Type", r.ContentType);
  if (r.ContentLength >= 0) h.Set("Content-Length", std::to_string(r.ContentLength));
  AddText(h, "Cache-control", r.CacheControl);
  AddDate(h, "Date", r.Date);
  AddDate(h, "Expires", r.Expires);
  AddText(h, "Pragma", r.Pragma);
  for (const std::string& line : r.CustomHeaders.Lines()) h.AddLine(line);
  AddText(h, "Proxy-Connection", r.ProxyConnection);
  AddText(h, "Host", r.Host);
  AddText(h, "Accept", r.Accept);
  AddText(h, "Accept-Charset", r.AcceptCharSet);
  AddText(h, "Accept-Encoding", r.AcceptEncoding);
  AddText(h, "Accept-Language", r.AcceptLanguage);
  AddText(h, "From", r.From);
  AddText(h, "Referer", r.Referer);
  AddText(h, "User-Agent", r.UserAgent);
  AddDate(h, "If-Modified-Since", r.LastModified);
  if (r.ContentRangeStart > 0 || r.ContentRangeEnd > 0) {
    std::string range = "bytes=" + std::to_string(r.ContentRangeStart) + "-";
    if (r.ContentRangeEnd > 0) range += std::to_string(r.ContentRangeEnd);
    h.Set("Range", range);
    AddText(h, "If-Range", r.IfRange);
  }
  AddText(h, "Proxy-Authorization", r.ProxyAuthorization);
  AddText(h, "Cookie", r.Cookie);
  return h;
}

std::string RequestHead(const HttpRequest& request, TProtocolVersion version) {
  std::string head =
      request.Method + " " + request.Url + " HTTP/" + (version == pv1_0 ? "1.0" : "1.1") + "\r\n";
  head += RequestHeaders(request).Text();
  head += "\r\n";
  return head;
}

}  // namespace kalvoran
