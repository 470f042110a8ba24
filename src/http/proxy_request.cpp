#include "proxy_request.h"

#include <cstdint>

namespace kalvoran {

namespace {

std::string Base64(const std::string& bytes) {
  static constexpr char kDigits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
    std::uint32_t group = 0;
    for (std::size_t k = 0; k < 3; ++k) {
      const auto byte = k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u;
      group = group << 8 | byte;
    }
    for (std::size_t k = 0; k < 4; ++k) {
      out += k <= n ? kDigits[(group >> (18 - 6 * k)) & 0x3F] : '=';
    }
  }
  return out;
}

}  // namespace

std::string AbsoluteTarget(const Uri& uri) {
  return "http://" + HostHeader(uri) + RequestTarget(uri);
}

std::string ProxyAuthorization(const ProxyServer& proxy) {
  if (proxy.Username.empty()) return {};
  return "Basic " + Base64(proxy.Username + ":" + proxy.Password);
}

std::string ConnectHead(const std::string& host, int port, const ProxyServer& proxy,
                        const std::string& userAgent) {
  const std::string authority = host + ":" + std::to_string(port);
  std::string head = "CONNECT " + authority + " HTTP/1.1\r\nHost: " + authority + "\r\n";
  head += "User-Agent: " + userAgent + "\r\n";
  const std::string credentials = ProxyAuthorization(proxy);
  if (!credentials.empty()) head += "Proxy-Authorization: " + credentials + "\r\n";
  return head + "\r\n";
}

}  // namespace kalvoran
