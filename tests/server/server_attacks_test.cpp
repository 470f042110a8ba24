// Requests that no client sends, against both ways of serving the scripts
// (php -S through serve.sh, nginx + PHP-FPM): any web page open in a user's
// browser can send them to a loopback port. The scripts lie in a copy whose
// files, marks and statistics folders sit inside it, the layout in which a
// web server serving the folder would hand out everything.
#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "errors.h"
#include "funkcie.h"
#include "http_client.h"
#include "job_test_support.h"
#include "nginx_php_server.h"
#include "statistics.h"

namespace kalvoran {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::ServerSite;
using test::WriteFile;

// The server a row goes to.
enum Setting {
  kDefaults,
  kFullStats,   // the defaults, with 1 GiB (sparse) in the statistics folder
  kRestricted,  // KALVORAN_SERVER_DELETE=no, KALVORAN_SERVER_STATS_LIMIT=10
};
const std::vector<std::string> kRestrictions = {"KALVORAN_SERVER_DELETE=no",
                                                "KALVORAN_SERVER_STATS_LIMIT=10"};

struct Attack {
  const char* what;
  Setting setting;
  std::string before;  // sent first, its answer ignored; "" for none
  std::string request;
  std::string answer;  // the body, "status N" or "content type error"
  std::string record;  // what the hour file 2026030710.txt then holds; "" = statistics untouched
  std::string stays;   // a file below the site that must still be there
};

// A record as the client sends it, into the hour file 2026030710.txt.
std::string Stats(const std::string& record) {
  return StatisticsAddress("h", "de", "2026030710", record).substr(std::string("http://h").size());
}
const std::string kScripts = "/DOWNLOADER/";
const std::string kWrite = kScripts + "DownloaderStats1v1.php?Reg=OK&Jazyk=de&Subor=";
const std::string kFetch = kScripts + "DownloadStream1v1.php?Reg=OK&Zmazat=true&";
const std::string kClean = kScripts + "DownloadCleaner1v1.php?Reg=OK&";
const std::string kHourFile = "/stats/2026030709.txt";  // a record of a customer

// The longest record a client can send: the longest date, adapter address and
// descriptor text, which a key field of 4096 characters, every pair of them
// writing four digits, unscrambles to.
std::string LongestRecord() {
  std::tm time{};
  time.tm_year = 2026 - 1900;
  return StatsRecord(time, "52-54-00-12-34-56", UnscrambleKey(std::string(4096, 'T')));
}

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
  for (const auto& entry : fs::directory_iterator(folder)) {
    sizes[entry.path().filename().string()] = entry.file_size();
  }
  return sizes;
}

// Both servers' sites hold a package, a link out of the files folder to a
// secret, a deletion mark and a customer's record.
void Prepare(const ServerSite& site) {
  const std::string pack = site.MakeFolder("pack");
  WriteFile(pack + "/a.bin", "abc");
  WriteFile(pack + "/kept.bin", "kept");
  WriteFile(site.Path() + "/secret.bin", "secret");
  fs::create_symlink(site.Path() + "/secret.bin", pack + "/link.bin");
  WriteFile(site.MarksRoot() + "/0.mark", "");
}

void RunAttacks(const std::string& host, const std::string& restrictedHost, const ServerSite& site,
                const ServerSite& restrictedSite) {
  Prepare(site);
  Prepare(restrictedSite);
  const std::string longest = LongestRecord();
  const std::vector<Attack> attacks = {
      {"a script written into the statistics", kDefaults, "",
       kWrite + "evil.php&Text=%3C%3Fphp+echo+'ran'%3B+%3F%3E", "Error", "", ""},
      {"a line end after the hour file's name", kDefaults, "", kWrite + "2026030710.txt%0A&Text=x",
       "Error", "", ""},
      {"the statistics", kDefaults, "", kHourFile, "status 404", "", ""},
      {"the marks", kDefaults, "", "/marks/0.mark", "status 404", "", ""},
      {"the scripts' library", kDefaults, "", "/lib/downloader.php", "status 404", "", ""},
      {"serve.sh", kDefaults, "", "/serve.sh", "status 404", "", ""},
      {"a link out of the files folder", kDefaults, "", "/files/pack/link.bin", "status 404", "",
       ""},
      {"the longest record", kDefaults, "", Stats(longest), " Saved", longest + "\n", ""},
      {"a record longer than any", kDefaults, "", Stats(longest + "x"), "Error", "", ""},
      {"control bytes", kDefaults, "", Stats(std::string("a\rb\nc\0d\x1F\x7F", 9)), " Saved",
       "a b c d  \n", ""},
      {"the default size limit reached", kFullStats, "", Stats("x"), "Error", "", ""},
      {"the set size limit reached", kRestricted, "", Stats("x"), "Error", "", ""},
      {"deletion turned off", kRestricted, kFetch + "Cesta=pack&Subor=kept.bin",
       kClean + "Cesta=pack&Subor=kept.bin", "Kept", "", "files/pack/kept.bin"},
      {"a download out of the files folder", kDefaults, "",
       kFetch + "Cesta=pack/../..&Subor=secret.bin", "content type error", "", ""},
      {"a clean-up out of the files folder", kDefaults, kFetch + "Cesta=..&Subor=secret.bin",
       kClean + "Cesta=..&Subor=secret.bin", "Unknown", "", "secret.bin"},
      {"a clean-up through a link", kDefaults, kFetch + "Cesta=pack&Subor=link.bin",
       kClean + "Cesta=pack&Subor=link.bin", "Unknown", "", "secret.bin"},
  };
  for (const Attack& attack : attacks) {
    SCOPED_TRACE(attack.what);
    const bool restricted = attack.setting == kRestricted;
    const ServerSite& target = restricted ? restrictedSite : site;
    fs::remove_all(target.StatsRoot() + "/2026030710.txt");
    WriteFile(target.Path() + kHourFile,
              "07.03.2026 09:05:03*52-54-00-12-34-56*1;;pack;a.bin;*2.0*\n");
    if (attack.setting == kFullStats) fs::resize_file(target.Path() + kHourFile, 1u << 30);
    std::map<std::string, std::uintmax_t> stats = Sizes(target.StatsRoot());

    const std::string& server = restricted ? restrictedHost : host;
    if (!attack.before.empty()) Outcome(server, attack.before);
    EXPECT_EQ(Outcome(server, attack.request), attack.answer);
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
  RunAttacks(server.Host(), restricted.Host(), server.Site(), restricted.Site());
}

TEST(ServerAttacks, NginxWithPhpFpmRefusesThem) {
  if (!test::NginxPhpServer::Available()) GTEST_SKIP() << "nginx or php-fpm is not installed";
  const test::NginxPhpServer server(KALVORAN_SERVER_DIR),
      restricted(KALVORAN_SERVER_DIR, kRestrictions);
  ASSERT_TRUE(server.Running() && restricted.Running()) << server.Log() << restricted.Log();
  RunAttacks(server.Host(), restricted.Host(), server.Site(), restricted.Site());
}

}  // namespace
}  // namespace kalvoran
