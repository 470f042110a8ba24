// Cookies on arbitrary bytes: the input's lines are the header lines of a
// response (Set-Cookie and Set-Cookie2 among them), stored for a request host,
// then sent back. Nothing raises, and the Cookie line never carries a line
// break into the request head, and wrapped into continuation lines it reads
// back the same.
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

// The text without blanks and control characters, which reading a header
// trims at the ends of every line: what folding may change.
std::string WithoutBlanks(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (static_cast<unsigned char>(c) > ' ') out += c;
  }
  return out;
}

// A long Cookie line is wrapped into continuation lines in the request head;
// a server that unfolds them must read the same value.
void CheckFolded(std::string_view cookieLine, std::size_t width) {
  const std::string line = "Cookie: " + std::string(cookieLine);
  const std::vector<std::string> pieces = FoldHeaderLine(line, width);
  HeaderList unfolded;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    FUZZ_CHECK(i == 0 || (pieces[i].size() > 1 && pieces[i][0] == ' '),
               "a continuation line without its leading blank");
    unfolded.AddLine(pieces[i]);
  }
  FUZZ_CHECK(WithoutBlanks(unfolded.Value("Cookie")) == WithoutBlanks(Trim(cookieLine)),
             "a folded Cookie line reads back differently");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::string_view host = kHosts[data[0] % std::size(kHosts)];
  const std::string_view path = kPaths[(data[0] >> 2) % std::size(kPaths)];
  // Narrow widths make short lines fold too; the request head uses 1024.
  const std::size_t width = 8 + (data[0] >> 4) * 8;

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
  CheckFolded(jar.CookieHeader(host, path, kNow + 2), width);
  FUZZ_CHECK(jar.Count() <= stored, "sending cookies added some");
  // Building the line again at the same moment gives the same line.
  FUZZ_CHECK(jar.CookieHeader(host, path, kNow + 2) == jar.CookieHeader(host, path, kNow + 2),
             "the Cookie line changed without a reason");
  // Far in the future only cookies without an expiry are left.
  CheckCookieLine(jar, host, path, std::int64_t{253402300799} + 1);  // after 9999-12-31
  for (std::string_view other : kHosts) CheckCookieLine(jar, other, "/", kNow + 3);
  return 0;
}
