// Whole download jobs over HTTPS. nginx with certificates of a test CA stands
// in for the download and statistics servers: the download script's address
// serves the static file named by its Cesta and Subor values, the clean-up
// and statistics scripts answer " Saved" from nginx itself, and the access
// log tells what was asked on which connection. Every failure to trust or
// keep a TLS connection ends the job with 2 and leaves nothing behind.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "certificate_suite.h"
#include "download_thread.h"
#include "job_test_support.h"
#include "proxy_variables.h"
#include "scripted_server.h"
#include "test_certificates.h"
#include "tinyproxy.h"

namespace kalvoran {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::FolderEntries;
using test::HeadlessWindow;
using test::KeyFor;
using test::NginxSites;
using test::ReadFile;
using test::Script;
using test::ScriptedServer;
using test::TempDir;
using test::TestBytes;
using test::TlsScriptedServer;
using test::WorkingDir;
using Names = std::vector<std::string>;

const char* const kScripts =
    "    location = /DOWNLOADER/DownloadStream1v1.php { try_files /$arg_Cesta/$arg_Subor =404; }\n"
    "    location = /DOWNLOADER/DownloadCleaner1v1.php { return 200 \" Saved\"; }\n"
    "    location = /DOWNLOADER/DownloaderStats1v1.php { return 200 \" Saved\"; }\n";
const char* const kDescriptor = "0;;pack;a.bin*c.bin;c.bin";

// One access log line: port, connection, request, status, bytes, protocol.
struct Logged {
  int port = 0;
  std::string connection;
  std::string request;
  int status = 0;
  long bytes = 0;
  std::string protocol;  // "-" over plain HTTP
};

std::vector<Logged> Parse(const std::vector<std::string>& lines) {
  std::vector<Logged> logged;
  for (const std::string& line : lines) {
    Logged l;
    const std::size_t open = line.find('"');
    const std::size_t close = line.rfind('"');
    std::istringstream(line.substr(0, open)) >> l.port >> l.connection;
    l.request = line.substr(open + 1, close - open - 1);
    std::istringstream(line.substr(close + 1)) >> l.status >> l.bytes >> l.protocol;
    logged.push_back(l);
  }
  return logged;
}

class HttpsJob : public test::CertificateSuite {
 protected:
  void SetUp() override {
    if (!NginxSites::Binary()) GTEST_SKIP() << "nginx is not installed";
    CertificateSuite::SetUp();
    if (IsSkipped()) return;
    fs::create_directories(scratch.Path() + "/www/pack");
    test::WriteFile(scratch.Path() + "/www/pack/a.bin", TestBytes(300000, 1));
    test::WriteFile(scratch.Path() + "/www/pack/c.bin", TestBytes(1, 2));
  }

  // Runs the job with every server and the statistics host at `server`.
  static int Run(const WorkingDir& dir, const std::string& server, const std::string& caFile,
                 ProxyRules proxies = {}, JobFailure* cause = nullptr) {
    HeadlessWindow window(KeyFor(kDescriptor));
    DownloadJobOptions options;
    options.Proxies = std::move(proxies);
    options.Servers = {{server, server, server}, server};
    options.WorkingDirectory = dir.Path();
    options.CaFile = caFile;
    options.ResumeWaits = {10ms};
    TDownloadThread worker(window, options);
    worker.Start();
    EXPECT_TRUE(worker.WaitFor(60s));
    if (cause != nullptr) *cause = worker.Failure();
    return worker.ReturnValue;
  }

  TempDir scratch{"kalvoran-https-job"};
};

TEST_F(HttpsJob, SavesEveryFileCleansUpAndSendsItsStatisticsOverTls) {
  NginxSites nginx(scratch.Path(), {{&certificates->local, kScripts}});
  ASSERT_TRUE(nginx.Running()) << nginx.ErrorLog();
  const int port = nginx.Port(0);
  WorkingDir dir;
  ASSERT_EQ(Run(dir, "https://127.0.0.1:" + std::to_string(port), certificates->caFile), 0);
  EXPECT_EQ(FolderEntries(dir), (Names{"a.bin", "c.bin"}));
  EXPECT_TRUE(ReadFile(dir.Folder() + "/a.bin") == TestBytes(300000, 1));
  EXPECT_TRUE(ReadFile(dir.Folder() + "/c.bin") == TestBytes(1, 2));

  nginx.Stop();
  const std::vector<Logged> log = Parse(nginx.Requests());
  ASSERT_EQ(log.size(), 5u);
  const std::string download =
      "GET /DOWNLOADER/DownloadStream1v1.php?Reg=OK&Zmazat=true&Cesta=pack";
  const std::string cleaner = "GET /DOWNLOADER/DownloadCleaner1v1.php?Reg=OK&Cesta=pack";
  const std::vector<std::pair<std::string, long>> expected = {
      {download + "&Subor=a.bin HTTP/1.1", 300000},
      {cleaner + "&Subor=a.bin HTTP/1.1", 6},
      {download + "&Subor=c.bin HTTP/1.1", 1},
      {cleaner + "&Subor=c.bin HTTP/1.1", 6},
  };
  for (std::size_t i = 0; i < log.size(); ++i) {
    EXPECT_EQ(log[i].port, port);
    EXPECT_EQ(log[i].status, 200) << log[i].request;
    EXPECT_EQ(log[i].protocol, "TLSv1.2");
    if (i < expected.size()) {
      EXPECT_EQ(log[i].request, expected[i].first);
      EXPECT_EQ(log[i].bytes, expected[i].second);
    }
  }
  EXPECT_EQ(
      log[4].request.rfind("GET /DOWNLOADER/DownloaderStats1v1.php?Reg=OK&Jazyk=de&Subor=", 0), 0u)
      << log[4].request;
  // The files come over one kept connection; the clean-ups and the
  // statistics each open their own.
  EXPECT_EQ(log[0].connection, log[2].connection);
  for (std::size_t i : {1u, 3u, 4u}) EXPECT_NE(log[i].connection, log[0].connection);
}

TEST_F(HttpsJob, EveryTlsFailureEndsTheJobWithTwoAndLeavesNothing) {
  NginxSites nginx(scratch.Path(), {{&certificates->local, kScripts},
                                    {&certificates->otherHost, kScripts},
                                    {&certificates->expired, kScripts},
                                    {&certificates->unknownCa, kScripts}});
  ASSERT_TRUE(nginx.Running()) << nginx.ErrorLog();
  ScriptedServer plain(60s), resetting(60s);
  plain.AddScript(Script().Read(5).Send("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok").Close());
  resetting.AddScript(Script().Read(5).Reset());
  // A counted body cut short by a close without close-notify: a break that
  // is resumed (five tries, which find the server gone), never a whole file.
  TlsScriptedServer cutting(certificates->local, 60s);
  const std::string body = TestBytes(50000, 3);
  cutting.AddScript(
      Script().ReadHead().Send("HTTP/1.1 200 OK\r\nContent-Length: 300000\r\n\r\n" + body), false);

  const auto https = [](int port) { return "https://127.0.0.1:" + std::to_string(port); };
  const std::string ca = certificates->caFile;
  struct Case {
    const char* name;
    std::string server;
    std::string caFile;
    JobFailure cause;
  };
  const JobFailure untrusted = JobFailure::kUntrustedCertificate;
  const std::vector<Case> cases = {
      {"the system's store alone", https(nginx.Port(0)), "", untrusted},
      {"unknown CA", https(nginx.Port(3)), ca, untrusted},
      {"other host name", "https://localhost:" + std::to_string(nginx.Port(1)), ca, untrusted},
      {"expired", https(nginx.Port(2)), ca, untrusted},
      {"TLS site addressed as http", "127.0.0.1:" + std::to_string(nginx.Port(0)), ca,
       JobFailure::kServerError},
      {"plain HTTP on the TLS port", https(plain.Port()), ca, JobFailure::kNone},
      {"reset in the handshake", https(resetting.Port()), ca, JobFailure::kConnectionLost},
      {"close in mid-body without close-notify", https(cutting.Port()), ca,
       JobFailure::kConnectionLost},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WorkingDir dir;
    JobFailure cause = JobFailure::kNone;
    EXPECT_EQ(Run(dir, c.server, c.caFile, {}, &cause), 2);
    EXPECT_EQ(cause, c.cause);
    // Neither a file under its own name nor tmp.tmp.
    EXPECT_EQ(FolderEntries(dir), Names{});
  }

  // Nothing went out in clear text but the one request addressed as http,
  // and no job got as far as a clean-up or its statistics.
  nginx.Stop();
  const std::vector<Logged> log = Parse(nginx.Requests());
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].port, nginx.Port(0));
  EXPECT_EQ(log[0].status, 400);
  EXPECT_EQ(log[0].protocol, "-");
  for (const ScriptedServer* server : {&plain, &resetting}) {
    EXPECT_EQ(server->AcceptedConnections(), 1);
    EXPECT_EQ(server->Received(0).find("GET "), std::string::npos);
  }
  EXPECT_EQ(cutting.AcceptedConnections(), 6);
  EXPECT_EQ(cutting.Received(0).rfind("GET /DOWNLOADER/DownloadStream1v1.php?", 0), 0u);
}

TEST_F(HttpsJob, AWholeJobGoesThroughAProxyOverHttpAndHttps) {
  if (!test::Tinyproxy::Available()) GTEST_SKIP() << "tinyproxy is not installed";
  NginxSites nginx(scratch.Path(), {{nullptr, kScripts},
                                    {&certificates->local, kScripts},
                                    {&certificates->otherHost, kScripts}});
  ASSERT_TRUE(nginx.Running()) << nginx.ErrorLog();
  const auto at = [&](int site) { return "127.0.0.1:" + std::to_string(nginx.Port(site)); };
  const auto relay = test::StartFaultRelay(at(0), 100000, scratch.Path() + "/relay.txt");
  ASSERT_TRUE(relay->Running());
  const std::string cut = "127.0.0.1:" + std::to_string(relay->Port());
  const std::string other = "localhost:" + std::to_string(nginx.Port(2));
  struct Case {
    std::string server;
    int result;
    std::string request;   // how the proxy logged each request
    std::size_t requests;  // how many there were
  };
  const std::vector<Case> cases = {
      {"http://" + at(0), 0, "GET http://" + at(0) + "/DOWNLOADER/", 5},
      // The files over one tunnel; the clean-ups and the statistics each open their own.
      {"https://" + at(1), 0, "CONNECT " + at(1) + " HTTP/1.1", 4},
      // The server's name is checked inside the tunnel as without a proxy.
      {"https://" + other, 2, "CONNECT " + other + " HTTP/1.1", 1},
      // Cut every 100000 bytes, a.bin comes in four parts: started over, it never would.
      {"http://" + cut, 0, "GET http://" + cut + "/DOWNLOADER/", 8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.server);
    test::Tinyproxy proxy;
    ASSERT_TRUE(proxy.Running());
    WorkingDir dir;
    // Loopback addresses go through the proxy only when asked to.
    ASSERT_EQ(Run(dir, c.server, certificates->caFile,
                  test::RulesFromVariables({{"http_proxy", proxy.Url()},
                                            {"https_proxy", proxy.Url()},
                                            {"no_proxy", "<-loopback>"}})),
              c.result);
    if (c.result == 0) {
      EXPECT_TRUE(ReadFile(dir.Folder() + "/a.bin") == TestBytes(300000, 1));
      EXPECT_TRUE(ReadFile(dir.Folder() + "/c.bin") == TestBytes(1, 2));
    }
    proxy.Stop();
    const std::vector<std::string> requests = proxy.Requests();
    EXPECT_EQ(requests.size(), c.requests);
    for (const std::string& r : requests) EXPECT_EQ(r.rfind(c.request, 0), 0u) << r;
  }
}

}  // namespace
}  // namespace kalvoran
