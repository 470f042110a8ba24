#include <cstdlib>

#include "proxy_rules.h"

namespace kalvoran {

ProxyRules SystemProxyRules() {
  return ProxyRules::FromEnvironment([](const char* name) -> std::optional<std::string> {
    const char* value = std::getenv(name);
    if (!value) return std::nullopt;
    return std::string(value);
  });
}

}  // namespace kalvoran
