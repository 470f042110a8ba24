#include "response_head.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "chunk_size.h"
#include "internet_date.h"

namespace kalvoran {
namespace {

TEST(ParseResponseCode, ReadsTheNumberAfterTheFirstBlank) {
  const std::pair<const char*, int> cases[] = {
      {"HTTP/1.1 200 OK", 200},
      {"HTTP/1.0 404 Not Found", 404},
      {"HTTP/1.1   302   Found", 302},
      {"HTTP/1.1 204", 204},
      {"HTTP/1.1 2x0 OK", -1},
      {"HTTP/1.1", -1},
      {"", -1},
      {"HTTP/1.1 99999999999 Big", -1},
  };
  for (const auto& [line, code] : cases) EXPECT_EQ(ParseResponseCode(line), code) << line;
}

TEST(ParseChunkSize, ReadsHexUpToTheFirstBlankAndNeverWraps) {
  const std::pair<const char*, std::int64_t> cases[] = {
      {"1a", 26},
      {"1A ext=1", 26},
      {"1a;ext", 0},  // glued extension: unreadable
      {"0", 0},
      {"", 0},
      {" 1a", 0},
      {"-1", 0},
      {"0000000000000000000010", 16},
      {"7fffffffffffffff", INT64_MAX},
      {"8000000000000000", 0},
      {"ffffffffffffffffff", 0},
  };
  for (const auto& [line, size] : cases) EXPECT_EQ(ParseChunkSize(line), size) << line;
}

TEST(InternetDate, ReadsTheUsualFormsAndRejectsTheRest) {
  const std::int64_t t = 784111777;  // 1994-11-06 08:49:37 UTC
  for (const char* text : {"Sun, 06 Nov 1994 08:49:37 GMT", "Sunday, 06-Nov-94 08:49:37 GMT",
                           "Sun Nov  6 08:49:37 1994", "Sun, 06-Nov-1994 08:49:37 GMT",
                           "Sun, 06 Nov 1994 09:49:37 +0100", "sun, 6 nov 1994 08:49:37 utc"}) {
    EXPECT_EQ(ParseInternetDate(text), t) << text;
  }
  EXPECT_EQ(ParseInternetDate("Fri, 31 Dec 9999 23:59:59 GMT"), 253402300799);
  EXPECT_EQ(ParseInternetDate("Thu, 01 Jan 1970 00:00:00 GMT"), 0);
  for (const char* bad :
       {"", "yesterday", "Sun, 31 Feb 1994 08:49:37 GMT", "Sun, 06 Nov 1994 25:00:00 GMT",
        "Sun, 06 Nov 1994", "06 Nov 99999 08:49:37 GMT", "Sun, 06 Xyz 1994 08:49:37 GMT",
        "Sun, 06 Nov 1994 08:49:37 GMT GMT", "0"}) {
    EXPECT_FALSE(ParseInternetDate(bad).has_value()) << bad;
  }
}

TEST(InternetDate, FormatsRoundTripAndClampsAbsurdTimes) {
  EXPECT_EQ(FormatInternetDate(784111777), "Sun, 06 Nov 1994 08:49:37 GMT");
  EXPECT_EQ(FormatInternetDate(INT64_MAX), "Fri, 31 Dec 9999 23:59:59 GMT");
  for (std::int64_t t :
       {std::int64_t{0}, std::int64_t{951782400}, std::int64_t{-86401}, std::int64_t{4102444799}}) {
    EXPECT_EQ(ParseInternetDate(FormatInternetDate(t)), t) << t;
  }
}

TEST(FillResponseFields, TakesTheRecordFromTheHeaders) {
  HttpResponse r;
  r.RawHeaders.AddLine("Content-Type: application/octet-stream; name=x");
  r.RawHeaders.AddLine("content-length:  5000000000 ");
  r.RawHeaders.AddLine("Connection: close");
  r.RawHeaders.AddLine("Location: /elsewhere");
  r.RawHeaders.AddLine("Content-Range: bytes 100-199/1000");
  r.RawHeaders.AddLine("Date: Sun, 06 Nov 1994 08:49:37 GMT");
  r.RawHeaders.AddLine("Last-Modified: not a date");
  r.RawHeaders.AddLine("Expires: 60");
  r.RawHeaders.AddLine("WWW-Authenticate: Basic realm=a");
  r.RawHeaders.AddLine("WWW-Authenticate: Digest realm=b");
  FillResponseFields(r, 1000000);
  EXPECT_EQ(r.ContentType, "application/octet-stream; name=x");
  EXPECT_EQ(r.ContentLength, 5000000000);
  EXPECT_TRUE(r.HasContentLength);
  EXPECT_EQ(r.Connection, "close");
  EXPECT_EQ(r.Location, "/elsewhere");
  EXPECT_EQ(r.ContentRangeStart, 100);
  EXPECT_EQ(r.ContentRangeEnd, 199);
  EXPECT_EQ(r.Date, static_cast<double>(UtcToLocal(784111777)));
  EXPECT_EQ(r.LastModified, 0);
  EXPECT_EQ(r.Expires, static_cast<double>(UtcToLocal(1000060)));
  EXPECT_EQ(r.WWWAuthenticate.size(), 2u);

  // The next head replaces everything, and what it lacks reads as absent.
  for (const char* length : {"-5", "abc", "99999999999999999999", ""}) {
    r.RawHeaders.Clear();
    if (*length) r.RawHeaders.AddLine(std::string("Content-Length: ") + length);
    r.RawHeaders.AddLine("Expires: -1");
    FillResponseFields(r, 1000000);
    EXPECT_EQ(r.ContentType, "");
    EXPECT_FALSE(r.HasContentLength) << length;
    EXPECT_LT(r.ContentLength, 0) << length;
    EXPECT_EQ(r.Location, "");
    EXPECT_EQ(r.Expires, 0);
  }
}

}  // namespace
}  // namespace kalvoran
