#pragma once
// Whether a TLS server's certificate is to be trusted, decided by us on
// Windows' chain engine rather than left to Schannel: its own checks pass a
// wrong host name on some systems, and it knows nothing of a CA file. Built
// on Windows only.
#include <windows.h>
// windows.h leaves the crypto API out under WIN32_LEAN_AND_MEAN.
#include <wincrypt.h>

#include <string>

namespace kalvoran {

// Empty when `certificate` (with the intermediates in its store) leads to a
// trusted root and names `host`; else why not, in the words the OpenSSL build
// uses ("unable to get local issuer certificate", "hostname mismatch", "IP
// address mismatch", "certificate has expired", ...). Trusted roots are the
// user's and the machine's, or with `caFile` (PEM) only that file's
// certificates. Raises ETlsError when the file cannot be used.
std::string CertificateProblem(PCCERT_CONTEXT certificate, const std::string& host,
                               const std::string& caFile);

// Makes ready what CertificateProblem needs for `caFile`; raises ETlsError
// when the file cannot be used.
void PrepareTrust(const std::string& caFile);

// An IPv4 or IPv6 address rather than a host name (brackets allowed).
bool IsIpAddress(const std::string& host);

}  // namespace kalvoran
