#pragma once
// The five fields of a descriptor text.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kalvoran {

struct KeyDescriptor {
  std::int32_t ServerIndex = 0;    // 0, 1, 2 choose a download server
  bool DeleteFlag = true;          // false only for field 2 exactly "noo"
  std::string Cesta;               // the server-side folder, verbatim
  std::vector<std::string> Files;  // up to the first empty item
  std::string RunFile;
};

// Reads the fields in order; raises EConvertError (the unreadable key) exactly
// when field 1 does not convert, before any other field is read.
KeyDescriptor ReadKeyDescriptor(std::string_view descriptorText);

}  // namespace kalvoran
