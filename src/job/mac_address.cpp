#include "mac_address.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <system_error>

namespace kalvoran {
namespace {

namespace fs = std::filesystem;
using Mac = std::array<unsigned char, 6>;

constexpr unsigned long kLoopbackFlag = 0x8;  // IFF_LOOPBACK
constexpr int kLoopbackType = 772;            // ARPHRD_LOOPBACK

std::optional<std::string> ReadLine(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  if (!in || !std::getline(in, line)) return std::nullopt;
  return line;
}

std::optional<long> ReadNumber(const fs::path& file, int base) {
  const auto text = ReadLine(file);
  if (!text || text->empty()) return std::nullopt;
  std::size_t used = 0;
  try {
    const long value = std::stol(*text, &used, base);
    if (used != text->size()) return std::nullopt;
    return value;
  } catch (const std::logic_error&) {
    return std::nullopt;
  }
}

// "aa:bb:cc:dd:ee:ff"; anything else (longer link-layer addresses, an empty
// address of a tunnel) is no adapter address of ours.
std::optional<Mac> ParseMac(const std::string& text) {
  if (text.size() != 17) return std::nullopt;
  Mac mac{};
  for (std::size_t i = 0; i < mac.size(); ++i) {
    if (i > 0 && text[i * 3 - 1] != ':') return std::nullopt;
    unsigned value = 0;
    for (std::size_t k = 0; k < 2; ++k) {
      const char c = text[i * 3 + k];
      value *= 16;
      if (c >= '0' && c <= '9') {
        value += static_cast<unsigned>(c - '0');
      } else if (c >= 'a' && c <= 'f') {
        value += static_cast<unsigned>(c - 'a' + 10);
      } else if (c >= 'A' && c <= 'F') {
        value += static_cast<unsigned>(c - 'A' + 10);
      } else {
        return std::nullopt;
      }
    }
    mac[i] = static_cast<unsigned char>(value);
  }
  return mac;
}

std::optional<Mac> ReadMac(const fs::path& interface) {
  const auto text = ReadLine(interface / "address");
  if (!text) return std::nullopt;
  return ParseMac(*text);
}

bool IsLoopback(const fs::path& interface) {
  const auto flags = ReadNumber(interface / "flags", 16);
  if (flags && (static_cast<unsigned long>(*flags) & kLoopbackFlag) != 0) return true;
  const auto type = ReadNumber(interface / "type", 10);
  return type && *type == kLoopbackType;
}

std::string Format(const Mac& mac) {
  std::string text;
  char pair[3];
  for (std::size_t i = 0; i < mac.size(); ++i) {
    std::snprintf(pair, sizeof pair, "%02X", mac[i]);
    if (i > 0) text += '-';
    text += pair;
  }
  return text;
}

}  // namespace

std::string GetMacAddressFrom(const std::string& netClassDirectory) {
  try {
    std::error_code error;
    fs::directory_iterator it(netClassDirectory, error);
    if (error) return "N/A";

    std::optional<long> bestIndex;
    fs::path best;
    for (const fs::directory_entry& entry : it) {
      const fs::path interface = entry.path();
      if (IsLoopback(interface)) continue;
      const auto index = ReadNumber(interface / "ifindex", 10);
      const auto mac = ReadMac(interface);
      if (!index || !mac || *mac == Mac{}) continue;
      if (!bestIndex || *index < *bestIndex) {
        bestIndex = index;
        best = interface;
      }
    }
    if (!bestIndex) return "";

    const auto first = ReadMac(best);
    const auto second = ReadMac(best);
    if (!first || !second) return "N/A";
    if (*first != *second) return "";
    return Format(*first);
  } catch (const std::exception&) {
    return "N/A";
  }
}

std::string ChooseMacAddress(const std::vector<AdapterEntry>& first,
                             const std::vector<AdapterEntry>& second) {
  const AdapterEntry* best = nullptr;
  for (const AdapterEntry& a : first) {
    if (a.loopback || a.address.size() != 6 || a.address == std::vector<unsigned char>(6, 0)) {
      continue;
    }
    if (best == nullptr || a.index < best->index) best = &a;
  }
  if (best == nullptr) return "";
  for (const AdapterEntry& again : second) {
    if (again.index != best->index || again.loopback != best->loopback) continue;
    if (again.address != best->address) return "";
    Mac mac{};
    std::copy(best->address.begin(), best->address.end(), mac.begin());
    return Format(mac);
  }
  return "";  // gone by the second reading: no address to rely on
}

#ifndef _WIN32
std::string GetMacAddress() {
  return GetMacAddressFrom("/sys/class/net");
}
#endif

}  // namespace kalvoran
