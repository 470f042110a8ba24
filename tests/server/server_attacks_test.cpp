// Requests no client sends, which any web page in a user's browser can send to
// a loopback port, against both ways of serving the scripts (php -S through
// serve.sh, nginx + PHP-FPM), with all folders inside the served one.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <regex>

#include "connection.h"
#include "errors.h"
#include "funkcie.h"
#include "http_client.h"
#include "job_test_support.h"
#include "memory_stream.h"
#include "nginx_php_server.h"
#include "statistics.h"

namespace kalvoran {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::WriteFile;

enum Setting { kDefaults, kFullStats /* 1 GiB (sparse) of statistics */, kRestricted };
const std::vector<std::string> kRestrictions = {"KALVORAN_SERVER_DELETE=no",
                                                "KALVORAN_SERVER_STATS_LIMIT=10"};

struct Attack {
  const char* what;
  std::string request;      // a clean-up comes after its download with Zmazat=true
  std::string answer;       // the body, "status N" or "content type error"
  std::string record = "";  // what the hour file 2026030710.txt then holds; "": nothing written
  std::string stays = "";   // a file below the site that must still be there
  Setting setting = kDefaults;
};

// A record as the client sends it, into the hour file 2026030710.txt.
std::string Stats(const std::string& record) {
  return StatisticsAddress("h", "de", "2026030710", record).substr(std::string("http://h").size());
}
const std::string kWrite = "/DOWNLOADER/DownloaderStats1v1.php?Reg=OK&Jazyk=de&Subor=";
const std::string kFetch = "/DOWNLOADER/DownloadStream1v1.php?Reg=OK&Zmazat=true&";
const std::string kClean = "/DOWNLOADER/DownloadCleaner1v1.php?Reg=OK&";
const std::string kHourFile = "/stats/2026030709.txt";  // a record of a customer

std::string Outcome(const std::string& host, const std::string& request) {
  HttpClient client;
  try {
    const std::string body = client.Get("http://" + host + request);
    return client.Response().ContentType == "error" ? "content type error" : body;
  } catch (const EHttpProtocolError& e) {
    return "status " + std::to_string(e.ErrorCode());
  }
}

std::map<std::string, std::uintmax_t> Sizes(const std::string& folder) {
  std::map<std::string, std::uintmax_t> sizes;
  for (const auto& entry : fs::directory_iterator(folder))
    sizes[entry.path().filename().string()] = entry.file_size();
  return sizes;
}

// The whole answer to a GET with more header lines; the server closes after it.
std::string Exchange(const std::string& host, const std::string& target, const std::string& lines) {
  Connection c;
  c.ReadTimeout = 10000;
  c.Connect("127.0.0.1", std::stoi(host.substr(10)), 10000);
  c.Write("GET " + target + " HTTP/1.1\r\nHost: h\r\nConnection: close\r\n" + lines + "\r\n");
  MemoryStream answer;
  c.ReadStream(answer, -1, true);
  return answer.Data();
}

std::string Header(const std::string& answer, const std::string& name) {
  std::smatch value;
  std::regex_search(answer, value, std::regex("\r\n" + name + ": ([^\r]*)"));
  return value[1].str();
}

// A resumed download gets the rest of the file while it is the version it names.
template <class Server>
void RunResumptions(const Server& server) {
  const std::string bytes = test::TestBytes(300000, 7), target = kFetch + "Cesta=pack&Subor=r.bin";
  WriteFile(server.MakeFolder("pack") + "/r.bin", bytes);
  const std::string first = Exchange(server.Host(), target, "");
  EXPECT_EQ(Header(first, "Accept-Ranges") + Header(first, "ETag").substr(0, 1), "bytes\"");
  const std::tuple<std::string, std::string, std::string, std::size_t, std::size_t> cases[] = {
      {"bytes=1000-", "", "206 bytes 1000-299999/300000", 1000, 299000},
      {"bytes=100-199", "", "206 bytes 100-199/300000", 100, 100},
      {"bytes=-500", "", "206 bytes 299500-299999/300000", 299500, 500},
      {"bytes=300000-", "", "416 bytes */300000", 0, 0},
      {"bytes=1000-", Header(first, "ETag"), "206 bytes 1000-299999/300000", 1000, 299000},
      {"bytes=1000-", "\"0-0\"", "200 ", 0, 300000},
      {"bytes=1000-", Header(first, "Last-Modified"), "206 bytes 1000-299999/300000", 1000, 299000},
  };
  for (const auto& [range, ifRange, expected, from, count] : cases) {
    SCOPED_TRACE(range + " " + ifRange);
    const std::string answer = Exchange(
        server.Host(), target,
        "Range: " + range + "\r\n" + (ifRange.empty() ? "" : "If-Range: " + ifRange + "\r\n"));
    EXPECT_EQ(answer.substr(9, 4) + Header(answer, "Content-Range"), expected);
    if (count == 0) continue;  // 416: nginx sends a page, the script nothing
    EXPECT_EQ(Header(answer, "Content-Length"), std::to_string(count));
    EXPECT_TRUE(answer.ends_with("\r\n\r\n" + bytes.substr(from, count)));
  }
}

// Both servers hold a package, a link out of the files folder to a secret, a
// deletion mark and a customer's record, all inside the served folder.
template <class Server>
void RunAttacks(const Server& server, const Server& restricted) {
  for (const Server* s : {&server, &restricted}) {
    WriteFile(s->MakeFolder("pack") + "/kept.bin", "kept");
    WriteFile(s->Path() + "/secret.bin", "secret");
    fs::create_symlink(s->Path() + "/secret.bin", s->FilesRoot() + "/pack/link.bin");
    WriteFile(s->MarksRoot() + "/0.mark", "");
  }
  // The longest record a client can send: a key field of 4096 characters,
  // each pair writing four digits, unscrambles to the longest descriptor.
  const std::string longest =
      StatsRecord(std::tm{}, "52-54-00-12-34-56", UnscrambleKey(std::string(4096, 'T')));
  const std::vector<Attack> attacks = {
      {"a PHP file written", kWrite + "evil.php&Text=%3C%3Fphp+echo+'ran'%3B+%3F%3E", "Error"},
      {"a line end in the name", kWrite + "2026030710.txt%0A&Text=x", "Error"},
      {"the statistics", kHourFile, "status 404"},
      {"the marks", "/marks/0.mark", "status 404"},
      {"the scripts' library", "/lib/downloader.php", "status 404"},
      {"serve.sh", "/serve.sh", "status 404"},
      {"a link out of the files folder", "/files/pack/link.bin", "status 404"},
      {"the longest record", Stats(longest), " Saved", longest + "\n"},
      {"a record longer than any", Stats(longest + "x"), "Error"},
      {"control bytes", Stats(std::string("a\rb\nc\0d\x1F\x7F", 9)), " Saved", "a b c d  \n"},
      {"the default size limit reached", Stats("x"), "Error", "", "", kFullStats},
      {"the set size limit reached", Stats("x"), "Error", "", "", kRestricted},
      {"deletion off", kClean + "Cesta=pack&Subor=kept.bin", "Kept", "", "files/pack/kept.bin",
       kRestricted},
      {"a download out", kFetch + "Cesta=pack/../..&Subor=secret.bin", "content type error"},
      {"a clean-up out", kClean + "Cesta=..&Subor=secret.bin", "Unknown", "", "secret.bin"},
      {"a clean-up through a link", kClean + "Cesta=pack&Subor=link.bin", "Unknown", "",
       "secret.bin"},
  };
  for (const Attack& attack : attacks) {
    SCOPED_TRACE(attack.what);
    const Server& target = attack.setting == kRestricted ? restricted : server;
    fs::remove_all(target.StatsRoot() + "/2026030710.txt");
    WriteFile(target.Path() + kHourFile, "07.03.2026 09:05:03*52-54-00-12-34-56*1;;a;b;*2.0*\n");
    if (attack.setting == kFullStats) fs::resize_file(target.Path() + kHourFile, 1u << 30);
    std::map<std::string, std::uintmax_t> stats = Sizes(target.StatsRoot());

    if (attack.request.starts_with(kClean))  // the download first, which marks the file
      Outcome(target.Host(), kFetch + attack.request.substr(kClean.size()));
    EXPECT_EQ(Outcome(target.Host(), attack.request), attack.answer);
    if (!attack.record.empty()) {
      EXPECT_EQ(ReadFile(target.StatsRoot() + "/2026030710.txt"), attack.record);
      stats["2026030710.txt"] = attack.record.size();
    }
    EXPECT_EQ(Sizes(target.StatsRoot()), stats);
    EXPECT_TRUE(attack.stays.empty() || fs::exists(target.Path() + "/" + attack.stays));
  }
}

TEST(ServerAttacks, PhpBuiltInServerRefusesThem) {
  if (!test::ReferenceServer::Available()) GTEST_SKIP() << "php is not installed";
  const test::ReferenceServer server, restricted(kRestrictions);
  ASSERT_TRUE(server.Running() && restricted.Running());
  RunAttacks(server, restricted);
  RunResumptions(server);
}

TEST(ServerAttacks, NginxWithPhpFpmRefusesThem) {
  if (!test::NginxPhpServer::Available()) GTEST_SKIP() << "nginx or php-fpm is not installed";
  const test::NginxPhpServer server(KALVORAN_SERVER_DIR),
      restricted(KALVORAN_SERVER_DIR, kRestrictions);
  ASSERT_TRUE(server.Running() && restricted.Running()) << server.Log() << restricted.Log();
  RunAttacks(server, restricted);
  RunResumptions(server);
}

}  // namespace
}  // namespace kalvoran
