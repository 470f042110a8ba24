#pragma once
// Proxy rules from variables the test names, as a Linux process sees them
// (names in their own case), whatever this process's environment holds.
#include <map>
#include <optional>
#include <string>

#include "proxy_rules.h"

namespace kalvoran::test {

inline ProxyRules RulesFromVariables(const std::map<std::string, std::string>& vars) {
  return ProxyRules::FromEnvironment([&vars](const char* name) -> std::optional<std::string> {
    const auto it = vars.find(name);
    return it == vars.end() ? std::nullopt : std::optional<std::string>(it->second);
  });
}

}  // namespace kalvoran::test
