#pragma once
// Every way a TLS server can fail to be trusted or spoken to, and the error
// the client ends with, in the same words in every build: the Linux build
// meets them in servers its tests start, the Windows build (under Wine) in
// the same kinds of servers started beside it.
#include <string>
#include <vector>

#include "client_test_helpers.h"

namespace kalvoran::test {

enum class TlsServer {
  kGood,        // 127.0.0.1 and localhost, by the test CA
  kOtherHost,   // other.invalid, by the test CA
  kExpired,     // 127.0.0.1 and localhost, by the test CA, ended in 2020
  kUnknownCa,   // 127.0.0.1 and localhost, by a CA the client does not know
  kSelfSigned,  // 127.0.0.1 and localhost, signed by itself
  kPlain,       // answers the ClientHello in plain HTTP
  kResetting,   // resets after the ClientHello's first bytes
  kClosing,     // closes after them
};
enum class Trust { kSystemStore, kTestCa, kOtherCa };

struct TlsFailureCase {
  const char* name;
  TlsServer server;
  const char* address;  // scheme and host, without the server's port
  Trust trust;
  Outcome expected;
};

inline std::vector<TlsFailureCase> TlsFailureCases() {
  const std::string verify = "TLS: certificate verify failed: ";
  const std::string issuer = verify + "unable to get local issuer certificate";
  return {
      {"the system's store alone",
       TlsServer::kGood,
       "https://127.0.0.1",
       Trust::kSystemStore,
       {"ETlsError", issuer}},
      {"another CA trusted",
       TlsServer::kGood,
       "https://127.0.0.1",
       Trust::kOtherCa,
       {"ETlsError", issuer}},
      {"unknown CA",
       TlsServer::kUnknownCa,
       "https://127.0.0.1",
       Trust::kTestCa,
       {"ETlsError", issuer}},
      {"self-signed",
       TlsServer::kSelfSigned,
       "https://localhost",
       Trust::kTestCa,
       {"ETlsError", verify + "self-signed certificate"}},
      {"other host, by address",
       TlsServer::kOtherHost,
       "https://127.0.0.1",
       Trust::kTestCa,
       {"ETlsError", verify + "IP address mismatch"}},
      {"other host, by name",
       TlsServer::kOtherHost,
       "https://localhost",
       Trust::kTestCa,
       {"ETlsError", verify + "hostname mismatch"}},
      {"expired",
       TlsServer::kExpired,
       "https://localhost",
       Trust::kTestCa,
       {"ETlsError", verify + "certificate has expired"}},
      {"TLS site addressed as http",
       TlsServer::kGood,
       "http://127.0.0.1",
       Trust::kTestCa,
       {"EHttpProtocolError", "HTTP/1.1 400 Bad Request", 400}},
      {"plain HTTP on the TLS port",
       TlsServer::kPlain,
       "https://127.0.0.1",
       Trust::kTestCa,
       {"ETlsError", "TLS: handshake failed: wrong version number"}},
      {"reset in the handshake",
       TlsServer::kResetting,
       "https://127.0.0.1",
       Trust::kTestCa,
       {"ESocketError", "Socket Error # 10054\r\nConnection reset by peer.", 10054}},
      {"close in the handshake",
       TlsServer::kClosing,
       "https://127.0.0.1",
       Trust::kTestCa,
       {"ETlsError", "TLS: handshake failed: the server closed the connection"}},
  };
}

}  // namespace kalvoran::test
