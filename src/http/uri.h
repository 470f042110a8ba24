#pragma once
// Addresses: splitting an address text into its parts, and resolving the
// address of the next request against the current one. Nothing is escaped
// or unescaped; the request target carries the address's bytes as they stand.
#include <string>
#include <string_view>

namespace kalvoran {

struct Uri {
  std::string Protocol;
  std::string Username;
  std::string Password;
  std::string Host;
  std::string Port;
  std::string Path;      // begins and ends with "/"
  std::string Document;  // the last segment
  std::string Params;    // the query with its leading "?"
  std::string Bookmark;  // the text after "#"; never sent
};

// Splits an address such as "http://user:pw@host:8080/dir/doc.php?a=1#top".
// An address without "://" is a path: its path part gets no leading "/".
Uri SplitAddress(std::string_view address);

// "." and ".." segments of a path resolved; the leading and trailing "/" kept.
std::string NormalizePath(std::string_view path);

// Resolves `address` against `current` (the target of the previous request)
// and makes the result current. Raises EClientError with an empty message for
// a protocol other than http/https without a port.
void PrepareUri(Uri& current, std::string_view address);

// The request target: path + document + params.
std::string RequestTarget(const Uri& uri);
// The Host header value: host, plus ":" + port when the port text is not "80".
std::string HostHeader(const Uri& uri);

}  // namespace kalvoran
