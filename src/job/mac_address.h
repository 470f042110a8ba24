#pragma once
// The hardware address of the computer's network adapter, for the statistics
// record.
#include <string>
#include <vector>

namespace kalvoran {

// The address of the first non-loopback interface (by interface index) whose
// address is six non-zero bytes, as six upper-case hexadecimal pairs joined
// by "-". The address is read twice: one that changes between the readings
// is no hardware address, and gives the empty text, as does a computer
// without such an interface. "N/A" when the adapters cannot be read.
std::string GetMacAddress();

// The same, read from a directory laid out as /sys/class/net: one folder per
// interface holding the files "ifindex", "flags" and "address".
std::string GetMacAddressFrom(const std::string& netClassDirectory);

// One adapter as Windows lists it.
struct AdapterEntry {
  unsigned long index = 0;
  bool loopback = false;
  std::vector<unsigned char> address;
};

// The same rule on two readings of the adapter list: the first non-loopback
// adapter by index, in the first reading, whose address is six bytes not all
// zero, and only when the second reading shows it with the same address.
std::string ChooseMacAddress(const std::vector<AdapterEntry>& first,
                             const std::vector<AdapterEntry>& second);

}  // namespace kalvoran
