#include "key_descriptor.h"

#include "funkcie.h"
#include "str_to_int.h"

namespace kalvoran {

KeyDescriptor ReadKeyDescriptor(std::string_view descriptorText) {
  KeyDescriptor d;
  // A field 1 that is no integer makes the key unreadable; nothing else is read.
  d.ServerIndex = StrToInt(GetField(descriptorText, ';', 1));
  d.DeleteFlag = GetField(descriptorText, ';', 2) != "noo";
  d.Cesta = GetField(descriptorText, ';', 3);
  const std::string list = GetField(descriptorText, ';', 4);
  // The list ends before its first empty item.
  for (std::int32_t k = 1;; ++k) {
    std::string item = GetField(list, '*', k);
    if (item.empty()) break;
    d.Files.push_back(std::move(item));
  }
  d.RunFile = GetField(descriptorText, ';', 5);
  return d;
}

}  // namespace kalvoran
