// The client over Windows' own TLS, under Wine, against nginx and servers
// that misbehave on purpose, all run beside Wine by the test's fixture (it
// writes their ports into its folder). Wine's TLS checks no certificate by
// itself: every refusal here is the client's own.
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which leaves it out.
#include <wincrypt.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "client_test_helpers.h"
#include "file_stream.h"
#include "http_client.h"
#include "scripted_server.h"
#include "temp_dir.h"
#include "tls_failure_cases.h"

namespace kalvoran {
namespace {

namespace fs = std::filesystem;
using test::Catch;
using test::Outcome;
using test::TlsServer;

const std::string kServers = KALVORAN_TLS_SERVERS_DIR;

int PortOf(const std::string& server) {
  return std::atoi(test::ReadFile(kServers + "/port-" + server).c_str());
}

std::string Pki(const std::string& file) {
  return kServers + "/pki/" + file;
}

// The access log's lines for a port and a path: "port connection "request"
// status bytes protocol". Other tests fetch from the same servers meanwhile.
std::vector<std::string> LoggedAt(int port, const std::string& path) {
  std::vector<std::string> lines;
  const std::string log = test::ReadFile(kServers + "/nginx/access.log");
  for (std::size_t at = 0, end; (end = log.find('\n', at)) != std::string::npos; at = end + 1) {
    const std::string line = log.substr(at, end - at);
    if (line.rfind(std::to_string(port) + " ", 0) == 0 &&
        line.find("\"GET " + path + " ") != std::string::npos) {
      lines.push_back(line);
    }
  }
  return lines;
}

class WindowsTls : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(PortOf("local"), 0) << "the servers are started by the test's fixture under ctest";
  }

  std::string Target() const { return scratch.Path() + "/target"; }

  test::TempDir scratch{"kalvoran-windows-tls"};
};

TEST_F(WindowsTls, LargeFileTwiceOverOneKeptConnection) {
  const std::string original = test::ReadFile(kServers + "/www/big.bin");
  ASSERT_EQ(original.size(), 64u << 20);
  HttpClient client;
  client.CaFile = Pki("ca.pem");
  const int port = PortOf("local");
  const std::size_t before = LoggedAt(port, "/big.bin").size();
  for (int round = 1; round <= 2; ++round) {
    FileStream file(Target(), FileStream::OpenMode::kCreateOrTruncate);
    client.Get("https://localhost:" + std::to_string(port) + "/big.bin", file);
    file.Close();
    EXPECT_TRUE(test::ReadFile(Target()) == original) << "round " << round << ": bytes differ";
  }
  client.Disconnect();
  const std::vector<std::string> log = LoggedAt(port, "/big.bin");
  ASSERT_EQ(log.size(), before + 2);
  const std::string first = log[before], second = log[before + 1];
  EXPECT_NE(first.find("\"GET /big.bin HTTP/1.1\" 200 67108864 TLSv1.2"), std::string::npos);
  EXPECT_EQ(first.substr(0, first.find('"')), second.substr(0, second.find('"')))
      << "the second fetch opened a new connection";
}

TEST_F(WindowsTls, EveryFailureEndsWithItsErrorAsOnLinux) {
  const auto portOf = [](TlsServer server) {
    switch (server) {
      case TlsServer::kGood:
        return PortOf("local");
      case TlsServer::kOtherHost:
        return PortOf("other-host");
      case TlsServer::kExpired:
        return PortOf("expired");
      case TlsServer::kUnknownCa:
        return PortOf("unknown-ca");
      case TlsServer::kSelfSigned:
        return PortOf("self-signed");
      case TlsServer::kPlain:
        return PortOf("fault-plain");
      case TlsServer::kResetting:
        return PortOf("fault-reset");
      case TlsServer::kClosing:
        return PortOf("fault-close");
    }
    return 0;
  };
  const std::string good = "https://127.0.0.1:" + std::to_string(PortOf("local")) + "/f.txt";
  std::vector<test::TlsFailureCase> cases = test::TlsFailureCases();
  // Bodies cut short: without close-notify an error, with it a short body.
  const std::string cut = "TLS: the connection was cut before the end of the body";
  cases.push_back({"cut in mid-body",
                   TlsServer::kGood,
                   "https://localhost",
                   test::Trust::kTestCa,
                   {"ETlsError", cut}});
  for (const test::TlsFailureCase& c : cases) {
    SCOPED_TRACE(c.name);
    const bool isCut = c.expected.message == cut;
    // Wine passes a reset on as a plain close.
    const bool closeForReset = c.server == TlsServer::kResetting && !test::ResetsReachTheClient();
    const Outcome expected =
        closeForReset
            ? Outcome("ETlsError", "TLS: handshake failed: the server closed the connection")
            : c.expected;
    const int port = isCut ? PortOf("fault-cut") : portOf(c.server);
    HttpClient client;
    client.CaFile = c.trust == test::Trust::kTestCa    ? Pki("ca.pem")
                    : c.trust == test::Trust::kOtherCa ? Pki("other-ca.pem")
                                                       : "";
    FileStream file(Target(), FileStream::OpenMode::kCreateOrTruncate);
    const Outcome outcome = Catch(
        [&] { client.Get(std::string(c.address) + ":" + std::to_string(port) + "/f.txt", file); });
    file.Close();
    EXPECT_EQ(outcome.kind, expected.kind);
    EXPECT_EQ(outcome.message, expected.message);
    EXPECT_EQ(outcome.code, expected.code);
    if (!isCut) {
      EXPECT_EQ(fs::file_size(Target()), 0u);
    }
    client.CaFile = Pki("ca.pem");
    EXPECT_EQ(Catch([&] { EXPECT_EQ(client.Get(good), "ok"); }).kind, "ok");
  }
  // With close-notify a counted body cut short ends as over plain TCP.
  HttpClient client;
  client.CaFile = Pki("ca.pem");
  std::string body;
  const std::string notify = "https://127.0.0.1:" + std::to_string(PortOf("fault-notify")) + "/";
  EXPECT_EQ(Catch([&] { body = client.Get(notify); }).kind, "ok");
  EXPECT_GT(body.size(), 0u);
  EXPECT_LE(body.size(), 50000u);

  // A connection the client ends itself ends with its close-notify.
  const std::string kept = "https://127.0.0.1:" + std::to_string(PortOf("fault-kept")) + "/";
  const std::string log = kServers + "/kept.log";
  const std::size_t before = test::ReadFile(log).size();
  EXPECT_EQ(client.Get(kept), "ok");
  client.Disconnect();
  for (int i = 0; i < 500 && test::ReadFile(log).size() == before; ++i) Sleep(10);
  EXPECT_EQ(test::ReadFile(log).substr(before), "close_notify\n");
}

// The user's own root store counts when no CA file is named, as the
// customer's IT would have it. The test CA goes into the registry as Windows
// keeps that store (a serialised certificate under its SHA-1 thumbprint):
// Wine's certificate API does not write it there. Undone at the end.
TEST_F(WindowsTls, ACaInTheUsersRootStoreIsTrustedWithoutCaFile) {
  const std::string der = test::ReadFile(Pki("ca.der"));
  PCCERT_CONTEXT ca = CertCreateCertificateContext(
      X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()), static_cast<DWORD>(der.size()));
  ASSERT_NE(ca, nullptr);
  BYTE hash[20];
  DWORD hashSize = sizeof hash;
  ASSERT_TRUE(CertGetCertificateContextProperty(ca, CERT_HASH_PROP_ID, hash, &hashSize));
  CertFreeCertificateContext(ca);
  std::wstring key = L"Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\";
  for (BYTE b : hash) key += L"0123456789ABCDEF"[b >> 4], key += L"0123456789ABCDEF"[b & 15];
  std::string blob;
  constexpr DWORD kCertificateProperty = 32;  // the encoded certificate itself
  for (DWORD n : {kCertificateProperty, DWORD{1}, static_cast<DWORD>(der.size())}) {
    blob.append(reinterpret_cast<const char*>(&n), sizeof n);
  }
  blob += der;
  ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), L"Blob", REG_BINARY, blob.data(),
                            static_cast<DWORD>(blob.size())),
            ERROR_SUCCESS);
  const std::string url = "https://localhost:" + std::to_string(PortOf("local")) + "/f.txt";
  const Outcome trusted = Catch([&] { EXPECT_EQ(HttpClient().Get(url), "ok"); });
  // With a CA file only its certificates count, the store's not at all.
  HttpClient other;
  other.CaFile = Pki("other-ca.pem");
  const Outcome exclusive = Catch([&] { other.Get(url); });
  RegDeleteKeyW(HKEY_CURRENT_USER, key.c_str());
  EXPECT_EQ(trusted.kind, "ok") << trusted.message;
  EXPECT_EQ(exclusive.message,
            "TLS: certificate verify failed: unable to get local issuer certificate");
}

}  // namespace
}  // namespace kalvoran
