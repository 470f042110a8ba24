// Address splitting and request preparation on arbitrary bytes: the parts of
// a split address put together give the address back, the request target
// starts at the root and carries no bookmark, and the request head is built
// around it. Each input line is one address, prepared in turn on the same
// current address, as one client's requests are.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

#include "errors.h"
#include "fuzz_check.h"
#include "header_list.h"
#include "http_request.h"
#include "uri.h"

namespace {

using namespace kalvoran;

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// Whether a "#" stands in the path and document part of an address.
bool HashBeforeQuery(std::string_view address) {
  // Backslashes count as slashes, also in the "://".
  std::string text(address);
  std::replace(text.begin(), text.end(), '\\', '/');
  std::string_view rest = text;
  if (const std::size_t scheme = rest.find("://"); scheme != std::string_view::npos) {
    rest.remove_prefix(scheme + 3);
    const std::size_t slash = rest.find('/');
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
  }
  std::size_t q = rest.find('?');
  if (q == std::string_view::npos) q = rest.find('=');
  return rest.substr(0, q).find('#') != std::string_view::npos;
}

void CheckSplit(std::string_view address) {
  std::string text(address);
  std::replace(text.begin(), text.end(), '\\', '/');
  const Uri uri = SplitAddress(address);

  FUZZ_CHECK(uri.Document.find('/') == std::string::npos, "a slash in the document");
  FUZZ_CHECK(uri.Path.empty() || uri.Path.back() == '/', "a path that does not end in a slash");

  // The bookmark is split off the document or off the params, never both.
  const std::string joined = uri.Path + uri.Document + uri.Params;
  const std::string withBookmark[] = {uri.Path + uri.Document + "#" + uri.Bookmark + uri.Params,
                                      joined + "#" + uri.Bookmark};
  const std::size_t scheme = text.find("://");
  if (scheme == std::string::npos) {
    FUZZ_CHECK(uri.Protocol.empty() && uri.Host.empty() && uri.Port.empty(),
               "a plain path with an authority part");
    const bool hash = text.find('#') != std::string::npos;
    FUZZ_CHECK(joined == text || (hash && withBookmark[1] == text), "the path parts lose bytes");
    return;
  }

  FUZZ_CHECK(uri.Protocol == text.substr(0, scheme), "the protocol is not the text before ://");
  FUZZ_CHECK(uri.Document.find('#') == std::string::npos, "a bookmark left in the document");
  FUZZ_CHECK(StartsWith(uri.Path, "/"), "an address with :// gives a path without a leading /");
  FUZZ_CHECK(uri.Host.find_first_of(":/") == std::string::npos, "a host with : or /");
  FUZZ_CHECK(uri.Password.empty() || !uri.Username.empty(), "a password without a user name");

  const std::string rest = text.substr(scheme + 3);
  const std::size_t slash = rest.find('/');
  const std::string path = slash == std::string::npos ? "/" : rest.substr(slash);
  const bool hash = path.find('#') != std::string::npos;
  FUZZ_CHECK(joined == path || (hash && (withBookmark[0] == path || withBookmark[1] == path)),
             "the path parts lose bytes");
}

void CheckPrepared(Uri& current, std::string_view address) {
  const Uri before = current;
  try {
    PrepareUri(current, address);
  } catch (const EClientError& e) {
    // Only a protocol without a port of its own may fail, with an empty message.
    const Uri split = SplitAddress(address);
    const std::string protocol = split.Protocol.empty() ? "http" : split.Protocol;
    FUZZ_CHECK(std::string(e.what()).empty(), "the unknown protocol error has a message");
    FUZZ_CHECK(
        split.Port.empty() && !EqualsNoCase(protocol, "http") && !EqualsNoCase(protocol, "https"),
        "a request failed that has a port or a known protocol");
    return;
  } catch (const std::exception& e) {
    FUZZ_CHECK(false, std::string("preparing raised: ") + e.what());
  }

  const std::string target = RequestTarget(current);
  FUZZ_CHECK(StartsWith(target, "/"), "a request target that does not start at the root");
  FUZZ_CHECK(target.find('\\') == std::string::npos, "a backslash in the request target");
  FUZZ_CHECK(!current.Port.empty() && !current.Protocol.empty(), "no port or protocol chosen");
  FUZZ_CHECK(!current.Host.empty() || (before.Host.empty() && SplitAddress(address).Host.empty()),
             "the host got lost");

  // A bookmark is never sent. The path is not split at "#", and the query
  // keeps its "#" when the document already had one; so a "#" reaches the
  // document or the query only when the address has one before its query.
  FUZZ_CHECK(HashBeforeQuery(address) ||
                 (current.Document + current.Params).find('#') == std::string::npos,
             "a bookmark in the request target");

  HttpRequest request;
  request.Url = target;
  request.Host = HostHeader(current);
  FUZZ_CHECK(current.Port != "80" || request.Host == current.Host, "port 80 in the Host value");
  const std::string head = RequestHead(request, pv1_1);
  FUZZ_CHECK(StartsWith(head, "GET " + target + " HTTP/1.1\r\n"), "a wrong request line");
  FUZZ_CHECK(head.size() >= 4 && head.substr(head.size() - 4) == "\r\n\r\n",
             "the head does not end with an empty line");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input = fuzz::AsText(data, size);
  Uri current;
  current.Port = "80";
  for (int n = 0; n < 4; ++n) {
    const std::size_t lf = input.find('\n');
    const std::string_view address = input.substr(0, lf);
    try {
      CheckSplit(address);
    } catch (const std::exception& e) {
      FUZZ_CHECK(false, std::string("splitting raised: ") + e.what());
    }
    CheckPrepared(current, address);
    if (lf == std::string_view::npos) break;
    input.remove_prefix(lf + 1);
  }
  return 0;
}
