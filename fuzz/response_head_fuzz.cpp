// A response head on arbitrary bytes: the status line and the header lines go
// into the response record as the client reads them. Parsing never raises,
// and the fields the client acts on stay within their ranges.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "header_list.h"
#include "http_response.h"
#include "response_head.h"

namespace {

using namespace kalvoran;

// A fixed clock keeps every run of an input the same.
constexpr std::int64_t kNow = 1767225600;  // 2026-01-01 00:00:00 UTC

bool Trimmed(std::string_view text) {
  return Trim(text).size() == text.size();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::string_view> lines = fuzz::SplitLines(fuzz::AsText(data, size));

  HttpResponse r;
  try {
    if (!lines.empty()) r.ResponseText = std::string(lines[0]);
    r.ResponseCode = ParseResponseCode(r.ResponseText);
    // Header lines until the empty line that ends the head.
    for (std::size_t i = 1; i < lines.size() && !lines[i].empty(); ++i) {
      r.RawHeaders.AddLine(std::string(lines[i]));
    }
    FillResponseFields(r, kNow);
  } catch (const std::exception& e) {
    FUZZ_CHECK(false, std::string("reading the head raised: ") + e.what());
  }

  FUZZ_CHECK(r.ResponseCode == -1 || r.ResponseText.find(' ') != std::string::npos,
             "a status code without a blank before it");
  // A negative Content-Length is a number too and stays as written; it counts
  // as no length, like an absent one, so the body is read until the close.
  FUZZ_CHECK(r.ContentLength >= -1 || r.RawHeaders.Has("Content-Length"),
             "ContentLength below -1 without a Content-Length header");
  FUZZ_CHECK(r.HasContentLength == (r.ContentLength >= 0), "HasContentLength disagrees");
  FUZZ_CHECK(!r.HasContentLength || r.RawHeaders.Has("Content-Length"),
             "a length without a Content-Length header");
  for (const std::string* value : {&r.ContentType, &r.Connection, &r.ProxyConnection, &r.Location,
                                   &r.Server, &r.Pragma, &r.ContentEncoding}) {
    FUZZ_CHECK(Trimmed(*value), "a header value with blanks at its ends");
  }
  for (double date : {r.Date, r.LastModified, r.Expires}) {
    FUZZ_CHECK(std::isfinite(date), "a date that is no number");
  }

  // Every line's name finds a value, and looking it up twice gives the same.
  for (const auto& [name, value] : r.RawHeaders.Fields()) {
    FUZZ_CHECK(r.RawHeaders.Has(name), "a listed header is not found by its name");
    FUZZ_CHECK(Trimmed(value), "a folded value with blanks at its ends");
  }
  return 0;
}
