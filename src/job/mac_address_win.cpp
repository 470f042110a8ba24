// The adapter address on Windows: the adapter list of the IP helper, read
// twice, under the same rule as everywhere (ChooseMacAddress).
// winsock2.h before windows.h, and both before the IP helper's header.
#include <winsock2.h>

#include <windows.h>

#include <iphlpapi.h>

#include <optional>
#include <vector>

#include "mac_address.h"

namespace kalvoran {
namespace {

std::optional<std::vector<AdapterEntry>> ReadAdapters() {
  constexpr ULONG kFlags = GAA_FLAG_SKIP_UNICAST | GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST |
                           GAA_FLAG_SKIP_DNS_SERVER | GAA_FLAG_SKIP_FRIENDLY_NAME;
  std::vector<unsigned char> buffer(16 * 1024);
  ULONG size = 0;
  ULONG result = ERROR_BUFFER_OVERFLOW;
  // The list may grow between the size query and the reading: a few tries.
  for (int attempt = 0; attempt < 4 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
    size = static_cast<ULONG>(buffer.size());
    result = GetAdaptersAddresses(AF_UNSPEC, kFlags, nullptr,
                                  reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
    if (result == ERROR_BUFFER_OVERFLOW) buffer.resize(size);
  }
  std::vector<AdapterEntry> adapters;
  if (result == ERROR_NO_DATA) return adapters;
  if (result != NO_ERROR) return std::nullopt;
  for (auto* a = reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(buffer.data()); a != nullptr;
       a = a->Next) {
    AdapterEntry entry;
    entry.index = a->IfIndex != 0 ? a->IfIndex : a->Ipv6IfIndex;
    entry.loopback = a->IfType == IF_TYPE_SOFTWARE_LOOPBACK;
    entry.address.assign(a->PhysicalAddress, a->PhysicalAddress + a->PhysicalAddressLength);
    adapters.push_back(std::move(entry));
  }
  return adapters;
}

}  // namespace

std::string GetMacAddress() {
  try {
    const auto first = ReadAdapters();
    const auto second = ReadAdapters();
    if (!first || !second) return "N/A";
    return ChooseMacAddress(*first, *second);
  } catch (const std::exception&) {
    return "N/A";
  }
}

}  // namespace kalvoran
