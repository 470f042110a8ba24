#pragma once
// TLS for tests. Every key and certificate is made at run time by the
// `openssl` command in a folder of the test's (make_certificates.sh, which
// the Windows build's TLS servers use too): nothing secret is stored.
//
//   TestCertificates: a test CA and the server certificates signed by it (one
//     for 127.0.0.1 and localhost, one for another host name, an expired one),
//     and a second CA, unknown to the client, with a certificate of its own.
//   TlsScriptedServer: a TLS server of ours (OpenSSL's server side) that
//     plays test::Script steps over TLS, for what nginx never does: a close
//     without close-notify in mid-body, a reply held open, a head sent one
//     record per byte.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "nginx_sites.h"
#include "scripted_server.h"

struct ssl_ctx_st;  // OpenSSL's SSL_CTX

namespace kalvoran::test {

class TestCertificates {
 public:
  // The openssl command's path; "" when it is not installed.
  static std::string Openssl();

  // Makes everything inside `dir` (replacing what is there); throws
  // std::runtime_error with openssl's own words when a step fails.
  explicit TestCertificates(const std::string& dir);

  std::string caFile;           // the test CA's certificate: what a client trusts
  std::string otherCaFile;      // a second CA's certificate: trusting it alone trusts no site here
  CertificateFiles local;       // 127.0.0.1 and localhost, by the test CA, valid for two days
  CertificateFiles otherHost;   // other.invalid only, by the test CA
  CertificateFiles expired;     // 127.0.0.1 and localhost, by the test CA, ended in 2020
  CertificateFiles unknownCa;   // 127.0.0.1 and localhost, by the second CA
  CertificateFiles selfSigned;  // 127.0.0.1 and localhost, signed by itself
};

class TlsScriptedServer : public ScriptedConnections {
 public:
  // Listens on 127.0.0.1 at once with the certificate; stops by itself after
  // `lifetime` and when destroyed, joining every thread.
  explicit TlsScriptedServer(const CertificateFiles& certificate,
                             std::chrono::milliseconds lifetime = std::chrono::seconds(30));
  ~TlsScriptedServer();
  TlsScriptedServer(const TlsScriptedServer&) = delete;
  TlsScriptedServer& operator=(const TlsScriptedServer&) = delete;

  int Port() const { return port_; }
  // "https://127.0.0.1:port" followed by the path.
  std::string Url(const std::string& path = "") const {
    return "https://127.0.0.1:" + std::to_string(port_) + path;
  }
  // The server name (SNI) that connection i sent in its handshake; "" for none.
  std::string ServerName(int connection) const {
    const std::lock_guard lock(namesMutex_);
    return serverNames_.count(connection) ? serverNames_.at(connection) : "";
  }

  // Whether the client ended connection i with its close-notify (seen by a
  // script that waits for the client's close).
  bool ClientSentCloseNotify(int connection) const {
    const std::lock_guard lock(namesMutex_);
    return closeNotified_.count(connection) > 0;
  }

  // The script for the next connection, played after the handshake. Steps:
  // ReadHead, Read, Send (one write: records of up to 16 KiB), SendBytewise
  // (one record per byte), Pause, Signal, WaitForRelease, WaitForClientClose,
  // Close (close-notify, then FIN when `closeNotify`, else FIN alone) and
  // Reset (RST, no close-notify). A script that runs out closes as Close.
  void AddScript(Script script, bool closeNotify = true);

  void Stop();

 private:
  void AcceptLoop();
  void Serve(int index, int fd);

  ssl_ctx_st* ctx_ = nullptr;
  int listenFd_ = -1;
  int wakeRead_ = -1;
  int wakeWrite_ = -1;
  int port_ = 0;
  std::chrono::steady_clock::time_point deadline_;

  std::vector<std::thread> workers_;
  std::thread acceptThread_;
  std::once_flag stopOnce_;
  mutable std::mutex namesMutex_;
  std::map<int, std::string> serverNames_;
  std::set<int> closeNotified_;
};

}  // namespace kalvoran::test
