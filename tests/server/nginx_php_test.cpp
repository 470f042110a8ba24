// The reference scripts as a vendor serves them: nginx in front of PHP-FPM,
// started by server/serve.sh --nginx. The download script only checks a
// request; nginx sends the file itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cp1250.h"
#include "errors.h"
#include "http_client.h"
#include "job_test_support.h"
#include "nginx_php_server.h"
#include "program_run.h"
#ifdef KALVORAN_HAS_TLS
#include "test_certificates.h"
#endif

namespace kalvoran {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::FolderEntries;
using test::NginxPhpServer;
using test::TestBytes;
using test::WorkingDir;
using test::WriteFile;
using Names = std::vector<std::string>;

std::unique_ptr<NginxPhpServer> StartServer() {
  auto server = std::make_unique<NginxPhpServer>(KALVORAN_SERVER_DIR);
  EXPECT_TRUE(server->Running()) << "serve.sh --nginx did not start:\n" << server->Log();
  return server;
}

// One headless job in a process of its own (the cancel flag is the
// program's): the key for `descriptor`, the server for all of its requests,
// the download folder below `dir`. Its exit status is the job's result code.
// `via`: what stands between the job and the server, when anything does.
test::ProgramRun RunJob(const NginxPhpServer& server, const std::string& descriptor,
                        const WorkingDir& dir, const std::string& via = "") {
  return test::RunProgram(
      {KALVORAN_HEADLESS_JOB, via.empty() ? server.Host() : via, dir.Path(), descriptor});
}

// Whether the file holds exactly these bytes; read in blocks, for large files.
bool SameBytes(const std::string& path, const std::string& bytes) {
  std::ifstream in(path, std::ios::binary);
  std::string block(1 << 20, '\0');
  std::size_t at = 0;
  while (in.read(block.data(), static_cast<std::streamsize>(block.size())) || in.gcount() > 0) {
    const auto count = static_cast<std::size_t>(in.gcount());
    if (at + count > bytes.size() || bytes.compare(at, count, block, 0, count) != 0) return false;
    at += count;
  }
  return in.eof() && at == bytes.size();
}

// Every line of every hour file; a last line without its line end counts as
// the empty line (a record cut short).
std::vector<std::string> StatisticsLines(const NginxPhpServer& server) {
  std::vector<std::string> lines;
  for (const auto& hourFile : fs::directory_iterator(server.StatsRoot())) {
    const std::string text = test::ReadFile(hourFile.path().string());
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    if (!text.empty() && text.back() != '\n') lines.back().clear();
  }
  return lines;
}

struct ServedFile {
  std::string name;  // as on the server's disk: UTF-8
  std::string bytes;
};

// A whole job with the delete flag for `files` in the server folder `cesta`
// (UTF-8 like the names; the key carries both in Windows-1250): every file
// arrives byte for byte, the clean-up deletes exactly the listed files, and
// the job's statistics line reads back.
void ExpectWholeJob(const NginxPhpServer& server, const std::string& cesta,
                    const std::vector<ServedFile>& files, const std::string& via = "") {
  const std::string folder = server.MakeFolder(cesta);
  WriteFile(folder + "/unlisted.bin", "stays");
  std::string list;
  Names saved;
  for (const ServedFile& file : files) {
    WriteFile(folder + "/" + file.name, file.bytes);
    list += (list.empty() ? "" : "*") + Utf8ToCp1250(file.name);
    saved.push_back(file.name);
  }
  std::sort(saved.begin(), saved.end());
  const std::string descriptor = "1;;" + Utf8ToCp1250(cesta) + ";" + list + ";";

  const WorkingDir dir;
  const test::ProgramRun job = RunJob(server, descriptor, dir, via);
  ASSERT_EQ(job.status, 0) << job.err << server.Log();
  EXPECT_EQ(FolderEntries(dir), saved);
  for (const ServedFile& file : files) {
    EXPECT_TRUE(SameBytes(dir.Folder() + "/" + file.name, file.bytes)) << file.name;
    EXPECT_FALSE(fs::exists(folder + "/" + file.name)) << file.name << " was not cleaned up";
  }
  EXPECT_TRUE(fs::exists(folder + "/unlisted.bin"));
  EXPECT_TRUE(fs::is_empty(server.MarksRoot())) << "a deletion mark was left";

  const std::vector<std::string> lines = StatisticsLines(server);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_TRUE(lines[0].ends_with("*" + descriptor + "*2.0*")) << lines[0];
}

class NginxPhpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!NginxPhpServer::Available()) GTEST_SKIP() << "nginx or php-fpm is not installed";
    server = StartServer();
    ASSERT_TRUE(server->Running());
  }
  std::unique_ptr<NginxPhpServer> server;
};

TEST_F(NginxPhpTest, WholeJobSavesIdenticalFilesCleansUpAndFilesItsStatistics) {
  ExpectWholeJob(*server, "pack/2026",
                 {{"big.bin", TestBytes(3 << 20, 1)},
                  {"notes.txt", TestBytes(1000, 2)},
                  {"one.bin", TestBytes(1, 3)},
                  {"empty.bin", ""}});
}

TEST_F(NginxPhpTest, AJobBrokenOffMidFileFetchesOnlyTheRest) {
  const WorkingDir scratch;
  const std::string report = scratch.Path() + "/relay.txt";
  const auto relay = test::StartFaultRelay(server->Host(), 1300000, report);
  ExpectWholeJob(*server, "pack", {{"big.bin", TestBytes(3 << 20, 4)}, {"one.bin", "1"}},
                 "127.0.0.1:" + std::to_string(relay->Port()));
  relay->Stop();
  // Two cuts, each losing at most the block on its way, and the heads.
  EXPECT_LT(test::RelayedBytes(report), (3 << 20) + (96 << 10));
}

// Every class of the key's alphabet in the folder and the names: blanks,
// accented capitals and small letters, the characters a query gives a
// meaning to, and the two signs of the table. (";" and "*" separate the
// key's fields and names, so no name holds them.)
TEST_F(NginxPhpTest, NamesOfEveryKindArriveIntact) {
  ExpectWholeJob(*server, "Tom & Jerry/50% #1 =?",
                 {{"Tom+&+Jerry.avi", TestBytes(70000, 7)},
                  {"ÁÄÉÍÓÔÚÜÝČĎĚĹĽŇŔŘŚŠŤŮŰŽ.bin", TestBytes(10, 8)},
                  {"áäéíóôúüýčďěĺľňŕřśšťůűž %41 §°.txt", TestBytes(3, 9)},
                  {"a=b?c#d&e+f%g.h", TestBytes(1, 10)}});
}

TEST_F(NginxPhpTest, RefusalsKeepTheContentTypeError) {
  const std::string folder = server->MakeFolder("pack");
  WriteFile(folder + "/a.bin", "abc");
  WriteFile(server->FilesRoot() + "/../secret.bin", "secret");
  const std::string script = "/DOWNLOADER/DownloadStream1v1.php?";
  struct Case {
    std::string path;
    std::string contentType;  // "" when the request itself fails
  };
  const std::vector<Case> cases = {
      {script + "Reg=OK&Zmazat=false&Cesta=pack&Subor=a.bin", "application/octet-stream"},
      {script + "Reg=OK&Zmazat=false&Cesta=pack&Subor=missing.bin", "error"},
      {script + "Reg=NO&Zmazat=false&Cesta=pack&Subor=a.bin", "error"},
      {script + "Reg=OK&Zmazat=false&Cesta=..&Subor=secret.bin", "error"},
      {script + "Reg=OK&Zmazat=false&Cesta=pack&Subor=..", "error"},
      // Only the script reaches the files and nothing else is served.
      {"/kalvoran-files/pack/a.bin", ""},
      {"/lib/downloader.php", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    HttpClient client;
    try {
      const std::string body = client.Get("http://" + server->Host() + c.path);
      EXPECT_EQ(client.Response().ContentType, c.contentType);
      if (c.contentType == "error") {
        EXPECT_FALSE(body.empty());
      } else {
        EXPECT_EQ(body, "abc");
        // nginx sent the file itself; the hand-over stays inside.
        EXPECT_TRUE(client.Response().RawHeaders.Has("ETag"));
        EXPECT_FALSE(client.Response().RawHeaders.Has("X-Accel-Redirect"));
      }
    } catch (const HttpError& e) {
      EXPECT_EQ(c.contentType, "") << e.what();
    }
  }

  // A job that meets the refusal ends as interrupted after the files before.
  const WorkingDir dir;
  EXPECT_EQ(RunJob(*server, "1;noo;pack;a.bin*missing.bin*a.bin;", dir).status, 2);
  EXPECT_EQ(FolderEntries(dir), Names{"a.bin"});
  EXPECT_TRUE(StatisticsLines(*server).empty());
}

#ifdef KALVORAN_HAS_TLS
// serve.sh --tls: the same scripts over HTTPS, as a vendor's client with the
// vendor's CA fetches, cleans up and reports.
TEST(NginxPhpTls, ServesTheScriptsOverHttps) {
  if (!NginxPhpServer::Available()) GTEST_SKIP() << "nginx or php-fpm is not installed";
  if (test::TestCertificates::Openssl().empty()) GTEST_SKIP() << "openssl is not installed";
  const test::TempDir scratch("kalvoran-certs");
  const test::TestCertificates certificates(scratch.Path());
  NginxPhpServer server(KALVORAN_SERVER_DIR, {}, certificates.local.cert, certificates.local.key);
  ASSERT_TRUE(server.Running()) << server.Log();
  WriteFile(server.MakeFolder("my pack") + "/a b.bin", TestBytes(100000, 11));

  HttpClient client;
  client.CaFile = certificates.caFile;
  const std::string base = "https://" + server.Host() + "/DOWNLOADER/";
  EXPECT_EQ(
      client.Get(base + "DownloadStream1v1.php?Reg=OK&Zmazat=true&Cesta=my+pack&Subor=a+b.bin"),
      TestBytes(100000, 11));
  EXPECT_EQ(client.Get(base + "DownloadCleaner1v1.php?Reg=OK&Cesta=my+pack&Subor=a+b.bin"),
            "Deleted");
  EXPECT_EQ(
      client.Get(base + "DownloaderStats1v1.php?Reg=OK&Jazyk=sk&Subor=2026120821.txt&Text=x+y"),
      " Saved");
  EXPECT_EQ(StatisticsLines(server), std::vector<std::string>{"x y"});
  // Plain HTTP on the TLS port is refused; nothing falls back.
  EXPECT_THROW(client.Get("http://" + server.Host() + "/DOWNLOADER/DownloaderStats1v1.php"),
               EHttpProtocolError);
}
#endif

// Many clients at once: every job gets its files whole, and the statistics
// lines of jobs that end together are neither lost nor mixed.
TEST(NginxPhpLoad, ManyJobsAtOnceGetWholeFilesAndEveryStatisticsLine) {
  if (!NginxPhpServer::Available()) GTEST_SKIP() << "nginx or php-fpm is not installed";
  constexpr int kJobs = 32;
  constexpr int kRounds = 3;
  const std::vector<ServedFile> files = {{"big.bin", TestBytes(64 << 20, 4)},
                                         {"mid.bin", TestBytes((1 << 20) + 123, 5)},
                                         {"tiny.bin", TestBytes(1, 6)}};
  const auto server = StartServer();
  ASSERT_TRUE(server->Running());
  const std::string folder = server->MakeFolder("load");
  for (const ServedFile& file : files) WriteFile(folder + "/" + file.name, file.bytes);
  const std::string list = "1;noo;load;big.bin*mid.bin*tiny.bin;";

  for (int round = 1; round <= kRounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    for (const auto& hourFile : fs::directory_iterator(server->StatsRoot())) {
      fs::remove(hourFile.path());
    }
    const auto start = std::chrono::steady_clock::now();
    // Each job names itself in the run-after field, which its statistics
    // line carries back.
    std::vector<std::unique_ptr<WorkingDir>> dirs;
    std::vector<test::ProgramRun> runs(kJobs);
    std::vector<std::thread> threads;
    std::set<std::string> expectedLines;
    for (int i = 0; i < kJobs; ++i) {
      const std::string descriptor = list + "r" + std::to_string(round) + "j" + std::to_string(i);
      expectedLines.insert(descriptor + "*2.0*");
      dirs.push_back(std::make_unique<WorkingDir>());
      threads.emplace_back([&server, &run = runs[i], &dir = *dirs[i], descriptor] {
        run = RunJob(*server, descriptor, dir);
      });
    }
    for (std::thread& thread : threads) thread.join();
    std::cout << "round " << round << ": " << kJobs << " jobs in "
              << std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count()
              << " s\n";
    for (int i = 0; i < kJobs; ++i) {
      SCOPED_TRACE("job " + std::to_string(i));
      EXPECT_EQ(runs[i].status, 0) << runs[i].err;
      EXPECT_EQ(FolderEntries(*dirs[i]), (Names{"big.bin", "mid.bin", "tiny.bin"}));
      for (const ServedFile& file : files) {
        EXPECT_TRUE(SameBytes(dirs[i]->Folder() + "/" + file.name, file.bytes)) << file.name;
      }
      dirs[i].reset();  // its download folder goes at once
    }

    // date time * adapter * descriptor * 2.0 *, one record per line.
    const std::regex record(
        R"(\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d\*([0-9A-F]{2}(-[0-9A-F]{2}){5}|N/A)?\*(.*))");
    std::set<std::string> seen;
    for (const std::string& line : StatisticsLines(*server)) {
      std::smatch match;
      const bool whole = std::regex_match(line, match, record);
      EXPECT_TRUE(whole) << line;
      if (whole) {
        EXPECT_TRUE(seen.insert(match.str(3)).second) << "twice: " << line;
      }
    }
    EXPECT_EQ(seen, expectedLines);
  }
}

}  // namespace
}  // namespace kalvoran
