// The client over TLS against Debian's nginx, with certificates made for the
// test: a large file byte for byte over one kept connection, and every way a
// connection can fail to be trusted or made. A failure ends the Get with its
// own error, writes nothing into the target and never sends the request in
// clear text.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "certificate_suite.h"
#include "client_test_helpers.h"
#include "file_stream.h"
#include "http_client.h"
#include "scripted_server.h"
#include "temp_dir.h"
#include "test_certificates.h"
#include "tls_failure_cases.h"

namespace kalvoran {
namespace {

namespace fs = std::filesystem;
using test::Catch;
using test::NginxSites;
using test::Outcome;
using test::Script;
using test::ScriptedServer;
using test::TempDir;

class TlsAgainstNginx : public test::CertificateSuite {
 protected:
  void SetUp() override {
    if (!NginxSites::Binary()) GTEST_SKIP() << "nginx is not installed";
    CertificateSuite::SetUp();
  }

  TempDir scratch{"kalvoran-tls-nginx"};
};

// Lines of the access log ("port connection "request" status bytes protocol")
// for a port.
std::vector<std::string> LinesOf(const std::vector<std::string>& log, int port) {
  std::vector<std::string> lines;
  for (const std::string& line : log) {
    if (line.rfind(std::to_string(port) + " ", 0) == 0) lines.push_back(line);
  }
  return lines;
}

TEST_F(TlsAgainstNginx, LargeFileTwiceOverOneKeptConnection) {
  constexpr std::size_t kFileSize = 64u << 20;
  const std::string content = test::TestBytes(kFileSize, 1);
  // TLS 1.3, with its session tickets after the handshake; the other nginx
  // tests speak TLS 1.2.
  NginxSites nginx(scratch.Path(), {{&certificates->local, "", "TLSv1.3"}});
  ASSERT_TRUE(nginx.Running()) << nginx.ErrorLog();
  std::ofstream(fs::path(scratch.Path()) / "www" / "big.bin", std::ios::binary)
      .write(content.data(), kFileSize);

  HttpClient client;
  client.CaFile = certificates->caFile;
  std::int64_t works = 0;
  client.OnWork = [&](HttpClient&, TWorkMode, std::int64_t) { ++works; };
  // By name: the name goes out as the server name and is checked.
  const std::string url = "https://localhost:" + std::to_string(nginx.Port(0)) + "/big.bin";
  for (int round = 1; round <= 2; ++round) {
    const std::string target = scratch.Path() + "/copy" + std::to_string(round);
    FileStream file(target, FileStream::OpenMode::kCreateOrTruncate);
    client.Get(url, file);
    file.Close();
    EXPECT_EQ(client.Response().ContentLength, static_cast<std::int64_t>(kFileSize));
    ASSERT_EQ(fs::file_size(target), kFileSize);
    EXPECT_TRUE(test::ReadFile(target) == content) << "round " << round << ": bytes differ";
  }
  // As over TCP: one event per 32 KiB block (plus one for bytes that came
  // with the head), not one per TLS record.
  EXPECT_GE(works, 2 * static_cast<std::int64_t>(kFileSize / 32768));
  EXPECT_LE(works, 2 * static_cast<std::int64_t>(kFileSize / 32768) + 2);

  nginx.Stop();
  const std::vector<std::string> log = nginx.Requests();
  ASSERT_EQ(log.size(), 2u);
  for (const std::string& line : log) {
    EXPECT_NE(line.find("\"GET /big.bin HTTP/1.1\" 200 " + std::to_string(kFileSize) + " TLSv1.3"),
              std::string::npos)
        << line;
  }
  EXPECT_EQ(log[0].substr(0, log[0].find('"')), log[1].substr(0, log[1].find('"')))
      << "the second fetch opened a new connection";
}

TEST_F(TlsAgainstNginx, EveryFailureEndsWithItsErrorAndNothingGoesOutInClear) {
  // Sites: 0 the right certificate, then one for another host name, an
  // expired one, one by a CA the client does not know, a self-signed one.
  NginxSites nginx(scratch.Path(), {{&certificates->local, ""},
                                    {&certificates->otherHost, ""},
                                    {&certificates->expired, ""},
                                    {&certificates->unknownCa, ""},
                                    {&certificates->selfSigned, ""}});
  ASSERT_TRUE(nginx.Running()) << nginx.ErrorLog();
  test::WriteFile(scratch.Path() + "/www/f.txt", "ok");
  // Servers of our own on the TLS port: after the ClientHello's first bytes
  // one answers in plain HTTP, one resets, one closes.
  ScriptedServer plain, resetting, closing;
  plain.AddScript(Script().Read(5).Send("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok").Close());
  resetting.AddScript(Script().Read(5).Reset());
  closing.AddScript(Script().Read(5).Close());
  const auto portOf = [&](test::TlsServer server) {
    switch (server) {
      case test::TlsServer::kPlain:
        return plain.Port();
      case test::TlsServer::kResetting:
        return resetting.Port();
      case test::TlsServer::kClosing:
        return closing.Port();
      default:  // the certificates, in the order of the sites
        return nginx.Port(static_cast<std::size_t>(server));
    }
  };
  const std::string ca = certificates->caFile;
  const std::vector<test::TlsFailureCase> cases = test::TlsFailureCases();
  const std::string good = "https://127.0.0.1:" + std::to_string(nginx.Port(0)) + "/f.txt";
  for (const test::TlsFailureCase& c : cases) {
    SCOPED_TRACE(c.name);
    const int port = portOf(c.server);
    HttpClient client;
    client.CaFile = c.trust == test::Trust::kTestCa    ? ca
                    : c.trust == test::Trust::kOtherCa ? certificates->otherCaFile
                                                       : "";
    const std::string target = scratch.Path() + "/target";
    FileStream file(target, FileStream::OpenMode::kCreateOrTruncate);
    const Outcome outcome = Catch(
        [&] { client.Get(std::string(c.address) + ":" + std::to_string(port) + "/f.txt", file); });
    file.Close();
    EXPECT_EQ(outcome.kind, c.expected.kind);
    EXPECT_EQ(outcome.message, c.expected.message);
    EXPECT_EQ(outcome.code, c.expected.code);
    EXPECT_EQ(fs::file_size(target), 0u);
    // The failure leaves the client fit for the next request.
    client.CaFile = ca;
    EXPECT_EQ(Catch([&] { EXPECT_EQ(client.Get(good), "ok"); }).kind, "ok");
  }

  // Our own servers saw one connection each, and only TLS records on it.
  for (const ScriptedServer* server : {&plain, &resetting, &closing}) {
    EXPECT_EQ(server->AcceptedConnections(), 1);
    EXPECT_EQ(server->Received(0).substr(0, 2), "\x16\x03");
    EXPECT_EQ(server->Received(0).find("GET "), std::string::npos);
  }
  // nginx logs every request, even one in clear text on its TLS port: the
  // failed handshakes sent none, the plain address exactly one.
  nginx.Stop();
  const std::vector<std::string> log = nginx.Requests();
  for (int site : {1, 2, 3, 4}) EXPECT_TRUE(LinesOf(log, nginx.Port(site)).empty()) << site;
  const std::vector<std::string> lines = LinesOf(log, nginx.Port(0));
  ASSERT_EQ(lines.size(), cases.size() + 1);
  int cleartext = 0;
  for (const std::string& line : lines) cleartext += line.find("\" 400 ") != std::string::npos;
  EXPECT_EQ(cleartext, 1);
}

}  // namespace
}  // namespace kalvoran
