#include "cookie_jar.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "internet_date.h"

namespace kalvoran {
namespace {

constexpr std::int64_t kNow = 1700000000;

HeaderList Head(std::initializer_list<std::string> setCookies) {
  HeaderList h;
  for (const std::string& line : setCookies) h.AddLine(line);
  return h;
}

TEST(CookieJar, ParsesAttributes) {
  const auto c = ParseSetCookie(
      "sid=a=b ; path=\"/dl/\"; Domain=.example.org; secure; Max-Age=60; version=1; "
      "comment=hi; commenturl=u; discard; port=\"81,82\"",
      true, "www.example.org", kNow);
  ASSERT_TRUE(c);
  EXPECT_EQ(c->Name, "sid");
  EXPECT_EQ(c->Value, "a=b");
  EXPECT_EQ(c->Path, "/dl/");
  EXPECT_EQ(c->Domain, ".example.org");
  EXPECT_TRUE(c->Secure);
  EXPECT_EQ(c->Expires, FormatInternetDate(kNow + 60));
  EXPECT_EQ(c->Version, "1");
  EXPECT_EQ(c->Comment, "hi");
  EXPECT_EQ(c->CommentUrl, "u");
  EXPECT_TRUE(c->Discard);
  EXPECT_EQ(c->Ports, (std::vector<int>{81, 82}));

  // EXPIRES wins over MAX-AGE; a bad MAX-AGE leaves no expiry.
  EXPECT_EQ(
      ParseSetCookie("a=1; max-age=5; expires=Sun, 06 Nov 1994 08:49:37 GMT", false, "h", kNow)
          ->Expires,
      "Sun, 06 Nov 1994 08:49:37 GMT");
  EXPECT_EQ(ParseSetCookie("a=1; max-age=-5", false, "h", kNow)->Expires, "");
  EXPECT_EQ(ParseSetCookie("a=1; max-age=99999999999999999", false, "h", kNow)->Expires,
            "Fri, 31 Dec 9999 23:59:59 GMT");
  // Odd shapes are taken as they come.
  EXPECT_EQ(ParseSetCookie("novalue", false, "h", kNow)->Name, "novalue");
  EXPECT_EQ(ParseSetCookie("=v", false, "h", kNow)->Value, "v");
  EXPECT_EQ(ParseSetCookie(";;;", false, "h", kNow)->Name, "");
  const std::string big = "b=" + std::string(4092, 'v') + "; p";
  EXPECT_FALSE(ParseSetCookie(big, false, "h", kNow));  // longer than a browser keeps
  EXPECT_TRUE(ParseSetCookie(big.substr(0, 4096), false, "h", kNow));
}

TEST(CookieJar, DomainMustSuitTheHost) {
  struct Case {
    const char* domain;
    const char* host;
    bool suits;
  };
  const Case cases[] = {
      {"10.0.0.1", "10.0.0.1", true},   {".0.0.1", "10.0.0.1", false},
      {"www.a.org", "www.a.org", true}, {".a.org", "www.a.org", true},
      {".org", "www.a.org", false},     {"a.org", "www.a.org", false},
      {".A.org", "www.a.org", false},   {".localhost", "localhost", false},
      {"", "www.a.org", false},         {"999.0.0.1", "999.0.0.1", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DomainSuitsHost(c.domain, c.host), c.suits) << c.domain << " / " << c.host;
  }
  CookieJar jar;
  jar.Store(Head({"Set-Cookie: a=1; domain=.other.org; path=/"}), "www.a.org", kNow);
  EXPECT_EQ(jar.Count(), 0u);
}

TEST(CookieJar, SendsMatchingCookiesLongestPathFirst) {
  CookieJar jar;
  jar.Store(Head({"Set-Cookie: root=1; path=/", "set-cookie2: deep=2; path=/dl/sub/",
                  "SET-COOKIE: mid=3; path=/dl/", "Set-Cookie: nopath=4",
                  "Set-Cookie: sec=5; path=/; secure", "Set-Cookie: empty=; path=/",
                  "Set-Cookie: other=6; path=/elsewhere/",
                  "Set-Cookie2: wide=7; path=/dl; domain=.a.org", "X-Set-Cookie: fake=8; path=/",
                  // A lone CR must not reach the request head.
                  "Set-Cookie: cr=a\rHost: evil; path=/", "Set-Cookie: c\rr=9; path=/"}),
            "www.a.org", kNow);
  EXPECT_EQ(jar.Count(), 10u);
  EXPECT_EQ(jar.CookieHeader("www.a.org", "/dl/sub/", kNow), "deep=2; mid=3; wide=7; root=1");
  EXPECT_EQ(jar.CookieHeader("www.a.org", "/DL/", kNow), "root=1");
  // Domains match as a part of the host, without regard to case.
  EXPECT_EQ(jar.CookieHeader("x.WWW.A.ORG.net", "/dl/", kNow), "mid=3; wide=7; root=1");
  EXPECT_EQ(jar.CookieHeader("b.org", "/", kNow), "");

  // The same name within a domain replaces the cookie.
  jar.Store(Head({"Set-Cookie: root=9; path=/"}), "www.a.org", kNow);
  EXPECT_EQ(jar.CookieHeader("www.a.org", "/", kNow), "root=9");
}

TEST(CookieJar, DropsExpiredAndUnreadableExpiriesBeforeSending) {
  CookieJar jar;
  jar.Store(
      Head({"Set-Cookie: past=1; path=/; expires=Sun, 06 Nov 1994 08:49:37 GMT",
            "Set-Cookie: future=2; path=/; expires=Fri, 31 Dec 9999 23:59:59 GMT",
            "Set-Cookie: junk=3; path=/; expires=someday", "Set-Cookie: gone=4; path=/; max-age=0",
            "Set-Cookie: soon=5; path=/; max-age=10", "Set-Cookie: session=6; path=/"}),
      "h", kNow);
  EXPECT_EQ(jar.Count(), 6u);
  EXPECT_EQ(jar.CookieHeader("h", "/", kNow), "future=2; session=6; soon=5");
  EXPECT_EQ(jar.Count(), 3u);
  EXPECT_EQ(jar.CookieHeader("h", "/", kNow + 10), "future=2; session=6");
}

TEST(CookieJar, ManyCookiesAndConcurrentUseStayFine) {
  CookieJar jar;
  HeaderList h;
  for (int i = 0; i < 5000; ++i) {
    h.AddLine("Set-Cookie: c" + std::to_string(i) + "=" + std::to_string(i) + "; path=/");
  }
  // Each host keeps its newest 50; the newest 3000 of all stay.
  std::thread writer([&] {
    for (int n = 0; n < 61; ++n) jar.Store(h, "h" + std::to_string(n) + ".x", kNow);
  });
  for (int i = 0; i < 50; ++i) jar.CookieHeader("h", "/", kNow);
  writer.join();
  EXPECT_EQ(jar.Count(), 3000u);
  const std::string header = jar.CookieHeader("h60.x", "/", kNow);
  EXPECT_EQ(header.substr(0, 11), "c4950=4950;");
  EXPECT_EQ(std::count(header.begin(), header.end(), ';'), 49);
}

}  // namespace
}  // namespace kalvoran
