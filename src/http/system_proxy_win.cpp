// The Windows build's proxy rules: the environment's variables when the user
// set one, else the proxy the user chose in Windows' settings.
#include <windows.h>
#include <winhttp.h>

#include <climits>
#include <cstdlib>

#include "proxy_rules.h"

namespace kalvoran {

namespace {

std::optional<std::string> Variable(const char* name) {
  const char* value = std::getenv(name);  // Windows' getenv ignores the case of the name
  if (!value) return std::nullopt;
  return std::string(value);
}

// A setting set to an empty value counts as not set, as in FromEnvironment.
bool AnyProxyVariableSet() {
  for (const char* name : {"http_proxy", "https_proxy", "all_proxy"}) {
    const char* value = std::getenv(name);
    if (value && *value) return true;
  }
  return false;
}

// Takes over a string the call allocated: converts it and frees it.
std::string TakeText(LPWSTR wide) {
  if (!wide) return {};
  std::string text;
  const std::size_t length = wcslen(wide);
  if (length > 0 && length <= static_cast<std::size_t>(INT_MAX)) {
    const int size = static_cast<int>(length);
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide, size, nullptr, 0, nullptr, nullptr);
    if (n > 0) {
      text.resize(static_cast<std::size_t>(n));
      WideCharToMultiByte(CP_UTF8, 0, wide, size, text.data(), n, nullptr, nullptr);
    }
  }
  GlobalFree(wide);
  return text;
}

}  // namespace

ProxyRules SystemProxyRules() {
  if (AnyProxyVariableSet()) return ProxyRules::FromEnvironment(Variable);
  WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config{};
  if (!WinHttpGetIEProxyConfigForCurrentUser(&config)) return {};
  // Automatic configuration (a script's address, or detection on the
  // network) is left out on purpose: running a proxy script needs a
  // JavaScript engine this program does not carry. Only the fixed proxy and
  // its bypass list are used; the script's address is freed unread.
  TakeText(config.lpszAutoConfigUrl);
  const std::string proxy = TakeText(config.lpszProxy);
  const std::string bypass = TakeText(config.lpszProxyBypass);
  if (proxy.empty()) return {};
  return ProxyRules::FromWindowsSettings(proxy, bypass);
}

}  // namespace kalvoran
