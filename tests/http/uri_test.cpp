#include "uri.h"

#include <gtest/gtest.h>

#include "errors.h"

namespace kalvoran {
namespace {

struct SplitCase {
  const char* address;
  Uri expected;
};

TEST(SplitAddress, CutsAddressIntoItsParts) {
  const SplitCase cases[] = {
      {"http://host/", {"http", "", "", "host", "", "/", "", "", ""}},
      {"http://host", {"http", "", "", "host", "", "/", "", "", ""}},
      {"http://host:8080/a/b/doc.php?x=1&y=2#top",
       {"http", "", "", "host", "8080", "/a/b/", "doc.php", "?x=1&y=2", "top"}},
      {"http://u:p@host/d", {"http", "u", "p", "host", "", "/", "d", "", ""}},
      {"http://:p@host/d", {"http", "", "", "host", "", "/", "d", "", ""}},
      {"http://u@host/d", {"http", "u", "", "host", "", "/", "d", "", ""}},
      // Without "?" the query starts at the first "="; the path ends before it.
      {"http://h/dir/s.php=a/b", {"http", "", "", "h", "", "/dir/", "s.php", "=a/b", ""}},
      {"http://h/d.php?q=a/b/c", {"http", "", "", "h", "", "/", "d.php", "?q=a/b/c", ""}},
      // A "#" in the document wins; otherwise the query is cut at its "#".
      {"http://h/doc#frag?x", {"http", "", "", "h", "", "/", "doc", "?x", "frag"}},
      {"http://h/d?a=1#x#y", {"http", "", "", "h", "", "/", "d", "?a=1", "x#y"}},
      {"http:\\\\h\\a\\b.txt", {"http", "", "", "h", "", "/a/", "b.txt", "", ""}},
      // Nothing is escaped.
      {"http://h/a b/\xe8.txt?n=x y", {"http", "", "", "h", "", "/a b/", "\xe8.txt", "?n=x y", ""}},
      // Relative addresses: no leading "/", and only the query loses a "#".
      {"sub/doc.php?a#b", {"", "", "", "", "", "sub/", "doc.php", "?a", "b"}},
      {"doc#b", {"", "", "", "", "", "", "doc#b", "", ""}},
  };
  for (const SplitCase& c : cases) {
    SCOPED_TRACE(c.address);
    const Uri u = SplitAddress(c.address);
    EXPECT_EQ(u.Protocol, c.expected.Protocol);
    EXPECT_EQ(u.Username, c.expected.Username);
    EXPECT_EQ(u.Password, c.expected.Password);
    EXPECT_EQ(u.Host, c.expected.Host);
    EXPECT_EQ(u.Port, c.expected.Port);
    EXPECT_EQ(u.Path, c.expected.Path);
    EXPECT_EQ(u.Document, c.expected.Document);
    EXPECT_EQ(u.Params, c.expected.Params);
    EXPECT_EQ(u.Bookmark, c.expected.Bookmark);
  }
}

TEST(PrepareUri, ResolvesAgainstTheCurrentAddress) {
  Uri current;
  current.Port = "80";
  PrepareUri(current, "http://h/a/b/doc.php?x");
  EXPECT_EQ(RequestTarget(current), "/a/b/doc.php?x");
  EXPECT_EQ(HostHeader(current), "h");

  PrepareUri(current, "../c/./d.txt");
  EXPECT_EQ(current.Host, "h");
  EXPECT_EQ(RequestTarget(current), "/a/c/d.txt");
  PrepareUri(current, "../../../../e");
  EXPECT_EQ(RequestTarget(current), "/e");
  PrepareUri(current, "/root/f?q#mark");
  EXPECT_EQ(RequestTarget(current), "/root/f?q");
}

TEST(PrepareUri, ChoosesThePortByProtocol) {
  struct Case {
    const char* currentPort;
    const char* address;
    const char* port;
    const char* hostHeader;
  };
  const Case cases[] = {
      {"80", "http://h/", "80", "h"},
      {"80", "http://h:8080/", "8080", "h:8080"},
      {"80", "http://h:80/", "80", "h"},
      {"80", "HTTPS://h/", "443", "h:443"},
      {"443", "http://h/", "80", "h"},
      {"", "http://h/", "80", "h"},
      // Any other current port stays for an address without one.
      {"8080", "http://other/", "8080", "other:8080"},
      {"80", "ftp://h:21/", "21", "h:21"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.address);
    Uri current;
    current.Port = c.currentPort;
    PrepareUri(current, c.address);
    EXPECT_EQ(current.Port, c.port);
    EXPECT_EQ(HostHeader(current), c.hostHeader);
  }

  Uri current;
  current.Port = "80";
  try {
    PrepareUri(current, "ftp://h/");
    FAIL() << "an unknown protocol without a port must fail";
  } catch (const EClientError& e) {
    EXPECT_STREQ(e.what(), "");
  }
}

}  // namespace
}  // namespace kalvoran
