// Cookies on arbitrary bytes: the input's lines are the header lines of a
// response (Set-Cookie and Set-Cookie2 among them), stored for a request host,
// then sent back. Nothing raises, and the Cookie line never carries a line
// break into the request head, where it stands as one whole line.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "cookie_jar.h"
#include "fuzz_check.h"
#include "header_list.h"

namespace {

using namespace kalvoran;

constexpr std::int64_t kNow = 1767225600;  // 2026-01-01 00:00:00 UTC

// Request hosts and paths like those of a download job, chosen by the input.
constexpr std::string_view kHosts[] = {"www.kalvoran.sk", "127.0.0.1", "kalvoran.sk", "localhost"};
constexpr std::string_view kPaths[] = {"/DOWNLOADER/DownloadStream1v1.php", "/", "/DOWNLOADER/"};

void CheckCookieLine(CookieJar& jar, std::string_view host, std::string_view path,
                     std::int64_t now) {
  std::string line;
  try {
    line = jar.CookieHeader(host, path, now);
  } catch (const std::exception& e) {
    FUZZ_CHECK(false, std::string("building the Cookie line raised: ") + e.what());
  }
  FUZZ_CHECK(!fuzz::HasLineBreak(line), "a line break in the Cookie line: " + line);
  FUZZ_CHECK(line.empty() || jar.Count() > 0, "a Cookie line from an empty jar");
}

// The Cookie line goes into the request head as one whole line.
void CheckInRequestHead(const std::string& cookieLine) {
  HeaderList request;
  request.Set("Host", "example.org");
  request.Set("Cookie", cookieLine);
  FUZZ_CHECK(request.Text() == "Host: example.org\r\nCookie: " + cookieLine + "\r\n",
             "the Cookie line is not sent whole");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::string_view host = kHosts[data[0] % std::size(kHosts)];
  const std::string_view path = kPaths[(data[0] >> 2) % std::size(kPaths)];

  HeaderList headers;
  for (std::string_view line : fuzz::SplitLines(fuzz::AsText(data + 1, size - 1))) {
    headers.AddLine(std::string(line));
  }
  CookieJar jar;
  try {
    jar.Store(headers, host, kNow);
    // A second response replaces cookies of the same name and domain.
    jar.Store(headers, host, kNow + 1);
  } catch (const std::exception& e) {
    FUZZ_CHECK(false, std::string("storing cookies raised: ") + e.what());
  }
  const std::size_t stored = jar.Count();

  CheckCookieLine(jar, host, path, kNow + 2);
  CheckInRequestHead(jar.CookieHeader(host, path, kNow + 2));
  FUZZ_CHECK(jar.Count() <= stored, "sending cookies added some");
  // Building the line again at the same moment gives the same line.
  FUZZ_CHECK(jar.CookieHeader(host, path, kNow + 2) == jar.CookieHeader(host, path, kNow + 2),
             "the Cookie line changed without a reason");
  // Far in the future only cookies without an expiry are left.
  CheckCookieLine(jar, host, path, std::int64_t{253402300799} + 1);  // after 9999-12-31
  for (std::string_view other : kHosts) CheckCookieLine(jar, other, "/", kNow + 3);
  return 0;
}
