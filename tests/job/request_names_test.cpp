// Folders and names with any character of the key's alphabet reach the
// server scripts intact: the query values a form decoder reads back.
#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <string>

#include "download_thread.h"
#include "job_test_support.h"
#include "mac_address.h"
#include "query_value.h"
#include "scripted_server.h"

namespace kalvoran {
namespace {

using namespace std::chrono_literals;
using test::CountedReply;
using test::HeadlessWindow;
using test::KeyFor;
using test::OptionsFor;
using test::Script;
using test::ScriptedServer;
using test::WorkingDir;

// What PHP's form decoding makes of a query value.
std::string FormDecode(const std::string& value) {
  std::string out;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '+') {
      out += ' ';
    } else if (value[i] == '%' && i + 2 < value.size() &&
               std::isxdigit(static_cast<unsigned char>(value[i + 1])) &&
               std::isxdigit(static_cast<unsigned char>(value[i + 2]))) {
      out += static_cast<char>(std::stoi(value.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += value[i];
    }
  }
  return out;
}

TEST(QueryValue, EveryByteReadsBackAndOnlyTheUnsafeOnesAreEscaped) {
  const std::string kept = "!\"$'()*,-./0123456789:;<>@ABCXYZ[]^_`abcxyz{|}~";
  for (int b = 0; b < 256; ++b) {
    const std::string byte(1, static_cast<char>(b));
    const std::string value = QueryValue("a" + byte + "b");
    EXPECT_EQ(FormDecode(value), "a" + byte + "b") << "byte " << b;
    const bool escaped = value.size() == 5 && value[1] == '%';
    const bool plain = b == ' ' ? value == "a+b" : value == "a" + byte + "b";
    EXPECT_TRUE(escaped != plain) << "byte " << b << " -> " << value;
    if (kept.find(byte) != std::string::npos) {
      EXPECT_TRUE(plain) << "byte " << b;
    }
  }
  EXPECT_EQ(QueryValue("Tom+&+Jerry 50%#1=?\\\xE1"), "Tom%2B%26%2BJerry+50%25%231%3D%3F%5C%E1");
}

TEST(RequestNames, HostileFolderAndNamesGoOutEncodedOnEveryRequest) {
  // Windows-1250: § A7, ° B0, Ž 8E, š 9A, á E1.
  const std::string cesta = "Tom & Jerry/50% #1";
  const std::string first = "Tom+&+Jerry.avi";
#ifdef _WIN32
  // "?" is no character of a Windows file name: "#" stands in for it there.
  const std::string second = "a=b#c \xA7\xB0\x8E\x9A \xE1.txt";
  const std::string encodedSecond = "a%3Db%23c+%A7%B0%8E%9A+%E1.txt";
#else
  const std::string second = "a=b?c \xA7\xB0\x8E\x9A \xE1.txt";
  const std::string encodedSecond = "a%3Db%3Fc+%A7%B0%8E%9A+%E1.txt";
#endif
  const std::string descriptor = "1;;" + cesta + ";" + first + "*" + second + ";";
  const std::string encodedCesta = "Tom+%26+Jerry/50%25+%231";
  const std::string encoded[] = {"Tom%2B%26%2BJerry.avi", encodedSecond};

  WorkingDir dir;
  ScriptedServer server(30s);
  for (const char* body : {"one", "two"}) {
    server.AddScript(CountedReply(body));
    server.AddScript(CountedReply("Deleted"));
  }
  server.AddScript(CountedReply(" Saved"));
  HeadlessWindow window(KeyFor(descriptor));
  TDownloadThread worker(window, OptionsFor(server, dir));
  worker.Start();
  ASSERT_TRUE(worker.WaitFor(20s));
  EXPECT_EQ(worker.ReturnValue, 0);

  auto requestLine = [&](int connection) {
    const std::string received = server.Received(connection);
    return received.substr(0, received.find("\r\n"));
  };
  for (int i = 0; i < 2; ++i) {
    const std::string query = "Cesta=" + encodedCesta + "&Subor=" + encoded[i] + " HTTP/1.1";
    EXPECT_EQ(requestLine(2 * i),
              "GET /DOWNLOADER/DownloadStream1v1.php?Reg=OK&Zmazat=true&" + query);
    EXPECT_EQ(requestLine(2 * i + 1), "GET /DOWNLOADER/DownloadCleaner1v1.php?Reg=OK&" + query);
  }
  const std::string stats = requestLine(4);
  const std::string tail =
      "*" + QueryValue(GetMacAddress()) + "*" + QueryValue(descriptor) + "*2.0* HTTP/1.1";
  ASSERT_GT(stats.size(), tail.size());
  EXPECT_EQ(stats.substr(stats.size() - tail.size()), tail);
  EXPECT_EQ(QueryValue(descriptor),
            "1;;" + encodedCesta + ";" + encoded[0] + "*" + encoded[1] + ";");
}

}  // namespace
}  // namespace kalvoran
