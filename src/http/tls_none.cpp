// A build without a TLS library: "https" addresses fail as an unknown I/O
// handler does.
#include "errors.h"
#include "tls_session.h"

namespace kalvoran {

bool TlsSession::Available() {
  return false;
}

std::unique_ptr<TlsSession> TlsSession::Create(net::SocketHandle, const std::string&,
                                               const TlsSettings&) {
  throw EClientError("IOHandler value is not valid");
}

}  // namespace kalvoran
