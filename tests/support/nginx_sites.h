#pragma once
// Debian's nginx on loopback for tests, with one server block per site, each
// on a port of its own, over plain HTTP or TLS, logging every request.
#include <cstddef>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "server_process.h"

namespace kalvoran::test {

// A certificate (PEM) and its private key (PEM).
struct CertificateFiles {
  std::string cert;
  std::string key;
};

class NginxSites {
 public:
  struct Site {
    Site(const CertificateFiles* tls_, std::string locations_ = "", std::string protocols_ = "")
        : tls(tls_), locations(std::move(locations_)), protocols(std::move(protocols_)) {}
    const CertificateFiles* tls;  // nullptr: plain HTTP
    std::string locations;        // goes inside the server block
    // nginx's ssl_protocols; "" keeps its default, which in 1.22 ends at
    // TLS 1.2 (our TLS scripted server speaks TLS 1.3).
    std::string protocols;
  };

  static const char* Binary();  // nullptr when nginx is not installed

  // nginx with everything it writes in `dir` and `dir`/www as the root of
  // every site. Site i listens on 127.0.0.1:Port(i).
  NginxSites(const std::string& dir, std::vector<Site> sites);
  ~NginxSites() { Stop(); }
  NginxSites(const NginxSites&) = delete;
  NginxSites& operator=(const NginxSites&) = delete;

  bool Running() const { return process_ && process_->Running(); }
  int Port(std::size_t site) const { return ports_->at(site); }
  // Graceful stop: afterwards the access log holds every request. Idempotent.
  void Stop();
  // The access log, one request a line:
  // "port connection "request" status bytes protocol" (protocol "-" over plain HTTP).
  std::vector<std::string> Requests() const;
  std::string ErrorLog() const;

 private:
  std::string dir_;
  std::shared_ptr<std::vector<int>> ports_;
  std::unique_ptr<ServerProcess> process_;
};

}  // namespace kalvoran::test
