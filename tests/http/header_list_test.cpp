#include "header_list.h"

#include <gtest/gtest.h>

#include "http_request.h"

namespace kalvoran {
namespace {

HeaderList Received(std::initializer_list<const char*> lines) {
  HeaderList list;
  for (const char* line : lines) list.AddLine(line);
  return list;
}

TEST(HeaderList, FindsFirstLineWithoutRegardToCaseAndFoldsContinuations) {
  const HeaderList h = Received({"Content-Type:  text/plain ", "content-type: second",
                                 "X-Long: part one ", "\t part two", "  three", "Set-Cookie: a=1",
                                 "SET-COOKIE: b=2", "NoColon", "Spaced : x"});
  EXPECT_EQ(h.Value("CONTENT-TYPE"), "text/plain");
  EXPECT_EQ(h.Value("x-long"), "part one part two three");
  EXPECT_EQ(h.Values("set-cookie"), (std::vector<std::string>{"a=1", "b=2"}));
  EXPECT_TRUE(h.Has("NoColon"));
  EXPECT_EQ(h.Value("NoColon"), "");
  // A name is not trimmed.
  EXPECT_FALSE(h.Has("Spaced"));
  EXPECT_EQ(h.Value("Spaced "), "x");
  EXPECT_FALSE(h.Has("Missing"));
}

TEST(HeaderList, SetReplacesFirstLineInPlaceWithItsContinuations) {
  HeaderList h = Received({"A: 1", "B: 2", " more", "C: 3", "b: 4"});
  h.Set("b", "new");
  h.Set("D", "5");
  EXPECT_EQ(h.Text(), "A: 1\r\nb: new\r\nC: 3\r\nb: 4\r\nD: 5\r\n");
}

TEST(HeaderList, LongRequestLinesGoOutWhole) {
  // Servers refuse folded request lines, so a long Cookie line stays one line.
  std::string cookies;
  for (int i = 0; i < 300; ++i) cookies += (i ? "; c" : "c") + std::to_string(i) + "=v";
  HeaderList h;
  h.Set("Cookie", cookies);
  h.Set("Accept", "*/*");
  EXPECT_EQ(h.Text(), "Cookie: " + cookies + "\r\nAccept: */*\r\n");
}

TEST(RequestHead, DefaultGetIsByteExact) {
  HttpRequest r;
  r.Url = "/DOWNLOADER/DownloadStream1v1.php?Reg=1&Subor=a+b.zip";
  r.Host = "example.org:8080";
  EXPECT_EQ(RequestHead(r, pv1_1),
            "GET /DOWNLOADER/DownloadStream1v1.php?Reg=1&Subor=a+b.zip HTTP/1.1\r\n"
            "Content-Type: text/html\r\n"
            "Host: example.org:8080\r\n"
            "Accept: text/html, */*\r\n"
            "User-Agent: Mozilla/3.0 (compatible; Kalvoran Downloader)\r\n"
            "\r\n");
  r.Cookie = "a=1; b=2";
  r.Connection = "keep-alive";
  EXPECT_EQ(RequestHead(r, pv1_0),
            "GET /DOWNLOADER/DownloadStream1v1.php?Reg=1&Subor=a+b.zip HTTP/1.0\r\n"
            "Connection: keep-alive\r\n"
            "Content-Type: text/html\r\n"
            "Host: example.org:8080\r\n"
            "Accept: text/html, */*\r\n"
            "User-Agent: Mozilla/3.0 (compatible; Kalvoran Downloader)\r\n"
            "Cookie: a=1; b=2\r\n"
            "\r\n");
}

}  // namespace
}  // namespace kalvoran
