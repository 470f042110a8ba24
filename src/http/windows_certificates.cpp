#include "windows_certificates.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "errors.h"
#include "windows_files.h"

namespace kalvoran {

namespace {

// The engine's configuration as Windows 7 has it, without the later
// dwExclusiveFlags: some systems refuse any size they do not know.
static_assert(sizeof(void*) != 8 || sizeof(CERT_CHAIN_ENGINE_CONFIG) == 80,
              "the chain engine's configuration must keep its Windows 7 size");

// The SSL policy's checks to skip (WinINet's and WinHTTP's names for them).
constexpr DWORD kIgnoreUnknownCa = 0x00000100;
constexpr DWORD kIgnoreWrongUsage = 0x00000200;
constexpr DWORD kIgnoreDateInvalid = 0x00002000;

// Binary form of an address, or empty for a host name.
std::string AddressBytes(std::string host) {
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
    host = host.substr(1, host.size() - 2);
  }
  in_addr v4{};
  if (inet_pton(AF_INET, host.c_str(), &v4) == 1) {
    return std::string(reinterpret_cast<const char*>(&v4), sizeof v4);
  }
  in6_addr v6{};
  if (inet_pton(AF_INET6, host.c_str(), &v6) == 1) {
    return std::string(reinterpret_cast<const char*>(&v6), sizeof v6);
  }
  return "";
}

// Every certificate of a PEM file in a store of its own.
HCERTSTORE LoadPemFile(const std::string& caFile) {
  const auto fail = [&](const std::string& why) -> HCERTSTORE {
    throw ETlsError("TLS: cannot load the trusted certificates from " + caFile + ": " + why);
  };
  std::wstring wide;
  if (!Utf8ToWide(caFile, wide)) fail("the name is not valid UTF-8");
  std::unique_ptr<FILE, int (*)(FILE*)> file(_wfopen(wide.c_str(), L"rb"), &std::fclose);
  if (!file) fail(std::strerror(errno));
  std::string text;
  char block[4096];
  for (std::size_t n; (n = std::fread(block, 1, sizeof block, file.get())) > 0;)
    text.append(block, n);
  HCERTSTORE store =
      CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, CERT_STORE_CREATE_NEW_FLAG, nullptr);
  if (store == nullptr) fail("no memory store");
  int added = 0;
  const std::string begin = "-----BEGIN CERTIFICATE-----", end = "-----END CERTIFICATE-----";
  for (std::size_t at = text.find(begin); at != std::string::npos; at = text.find(begin, at)) {
    const std::size_t stop = text.find(end, at);
    if (stop == std::string::npos) break;
    const std::string pem = text.substr(at, stop + end.size() - at);
    at = stop + end.size();
    DWORD size = 0;
    if (!CryptStringToBinaryA(pem.c_str(), static_cast<DWORD>(pem.size()),
                              CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr)) {
      continue;
    }
    std::string der(size, '\0');
    if (CryptStringToBinaryA(pem.c_str(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER,
                             reinterpret_cast<BYTE*>(der.data()), &size, nullptr, nullptr) &&
        CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING,
                                         reinterpret_cast<const BYTE*>(der.data()), size,
                                         CERT_STORE_ADD_USE_EXISTING, nullptr)) {
      ++added;
    }
  }
  if (added == 0) {
    CertCloseStore(store, 0);
    fail("no certificate in it");
  }
  return store;
}

// A chain engine whose only roots are a CA file's, made on first use and
// kept for the process, as the file is for every connection of a job.
// nullptr stands for the system's engine of the user's and the machine's roots.
HCERTCHAINENGINE EngineFor(const std::string& caFile) {
  if (caFile.empty()) return nullptr;
  static std::mutex mutex;
  static auto& engines = *new std::map<std::string, HCERTCHAINENGINE>;
  std::lock_guard lock(mutex);
  if (auto it = engines.find(caFile); it != engines.end()) return it->second;
  HCERTSTORE roots = LoadPemFile(caFile);
  CERT_CHAIN_ENGINE_CONFIG config{};
  config.cbSize = sizeof config;
  config.hExclusiveRoot = roots;
  HCERTCHAINENGINE engine = nullptr;
  const bool made = CertCreateCertificateChainEngine(&config, &engine);
  const DWORD error = GetLastError();
  CertCloseStore(roots, 0);  // the engine keeps its own reference
  if (!made) {
    char code[32];
    std::snprintf(code, sizeof code, "error 0x%08lX", static_cast<unsigned long>(error));
    throw ETlsError(std::string("TLS: cannot set up the certificate checks: ") + code);
  }
  engines.emplace(caFile, engine);
  return engine;
}

bool NamesAddress(PCCERT_CONTEXT certificate, const std::string& address) {
  const CERT_INFO* info = certificate->pCertInfo;
  const CERT_EXTENSION* extension =
      CertFindExtension(szOID_SUBJECT_ALT_NAME2, info->cExtension, info->rgExtension);
  if (extension == nullptr) return false;
  CERT_ALT_NAME_INFO* names = nullptr;
  DWORD size = 0;
  if (!CryptDecodeObjectEx(X509_ASN_ENCODING, X509_ALTERNATE_NAME, extension->Value.pbData,
                           extension->Value.cbData, CRYPT_DECODE_ALLOC_FLAG, nullptr, &names,
                           &size)) {
    return false;
  }
  bool found = false;
  for (DWORD i = 0; i < names->cAltEntry && !found; ++i) {
    const CERT_ALT_NAME_ENTRY& entry = names->rgAltEntry[i];
    found = entry.dwAltNameChoice == CERT_ALT_NAME_IP_ADDRESS &&
            entry.IPAddress.cbData == address.size() &&
            std::memcmp(entry.IPAddress.pbData, address.data(), address.size()) == 0;
  }
  LocalFree(names);
  return found;
}

// The SSL policy decides on the host name alone: the chain's own faults are
// read from its status, in the order the OpenSSL build reports them.
std::string NameProblem(PCCERT_CHAIN_CONTEXT chain, const std::string& host) {
  const std::string address = AddressBytes(host);
  if (!address.empty()) {
    return NamesAddress(chain->rgpChain[0]->rgpElement[0]->pCertContext, address)
               ? ""
               : "IP address mismatch";
  }
  std::wstring name;
  if (!Utf8ToWide(host, name)) return "hostname mismatch";
  SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
  ssl.cbSize = sizeof ssl;
  ssl.dwAuthType = AUTHTYPE_SERVER;
  ssl.fdwChecks = kIgnoreUnknownCa | kIgnoreWrongUsage | kIgnoreDateInvalid;
  ssl.pwszServerName = name.data();
  CERT_CHAIN_POLICY_PARA para{};
  para.cbSize = sizeof para;
  para.pvExtraPolicyPara = &ssl;
  CERT_CHAIN_POLICY_STATUS status{};
  status.cbSize = sizeof status;
  if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &para, &status)) {
    return "certificate rejected";
  }
  if (status.dwError == static_cast<DWORD>(CERT_E_CN_NO_MATCH)) return "hostname mismatch";
  return status.dwError == 0 ? "" : "certificate rejected";
}

std::string ChainProblem(PCCERT_CHAIN_CONTEXT chain, const std::string& host) {
  const DWORD status = chain->TrustStatus.dwErrorStatus;
  const CERT_SIMPLE_CHAIN* simple = chain->rgpChain[0];
  if (status &
      (CERT_TRUST_IS_UNTRUSTED_ROOT | CERT_TRUST_IS_PARTIAL_CHAIN | CERT_TRUST_IS_CYCLIC)) {
    const bool alone = simple->cElement == 1 && (simple->rgpElement[0]->TrustStatus.dwInfoStatus &
                                                 CERT_TRUST_IS_SELF_SIGNED);
    return alone ? "self-signed certificate" : "unable to get local issuer certificate";
  }
  if (status & CERT_TRUST_IS_NOT_VALID_FOR_USAGE) return "unsupported certificate purpose";
  // The policy also refuses for faults of the chain, which say more below.
  const std::string policy = NameProblem(chain, host);
  if (policy == "hostname mismatch" || policy == "IP address mismatch") return policy;
  if (status & CERT_TRUST_IS_NOT_SIGNATURE_VALID) return "certificate signature failure";
  if (status & CERT_TRUST_IS_NOT_TIME_VALID) {
    for (DWORD i = 0; i < simple->cElement; ++i) {
      const LONG when =
          CertVerifyTimeValidity(nullptr, simple->rgpElement[i]->pCertContext->pCertInfo);
      if (when < 0) return "certificate is not yet valid";
      if (when > 0) return "certificate has expired";
    }
    return "certificate has expired";
  }
  if (status & CERT_TRUST_IS_REVOKED) return "certificate revoked";
  // Anything else the engine or the policy found wrong is reason enough.
  return status == CERT_TRUST_NO_ERROR && policy.empty() ? "" : "certificate rejected";
}

}  // namespace

void PrepareTrust(const std::string& caFile) {
  EngineFor(caFile);
}

bool IsIpAddress(const std::string& host) {
  return !AddressBytes(host).empty();
}

std::string CertificateProblem(PCCERT_CONTEXT certificate, const std::string& host,
                               const std::string& caFile) {
  HCERTCHAINENGINE engine = EngineFor(caFile);
  char serverAuth[] = szOID_PKIX_KP_SERVER_AUTH;
  LPSTR usages[] = {serverAuth};
  CERT_CHAIN_PARA para{};
  para.cbSize = sizeof para;
  para.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
  para.RequestedUsage.Usage.cUsageIdentifier = 1;
  para.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
  PCCERT_CHAIN_CONTEXT chain = nullptr;
  // The server's intermediates come in the certificate's own store.
  if (!CertGetCertificateChain(engine, certificate, nullptr, certificate->hCertStore, &para, 0,
                               nullptr, &chain)) {
    return "unable to get local issuer certificate";
  }
  std::string problem = chain->cChain == 0 || chain->rgpChain[0]->cElement == 0
                            ? "unable to get local issuer certificate"
                            : ChainProblem(chain, host);
  CertFreeCertificateChain(chain);
  return problem;
}

}  // namespace kalvoran
