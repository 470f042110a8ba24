#pragma once
// The hardware address of the computer's network adapter, for the statistics
// record.
#include <string>

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

}  // namespace kalvoran
