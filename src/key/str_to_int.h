#pragma once
// Whole-text 32-bit signed conversion: leading blanks, an optional sign,
// decimal digits or "$"/"x"/"X"/"0x"/"0X" hexadecimal (a 32-bit pattern),
// nothing after the digits.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace kalvoran {

// The conversion error: "'<text>' is not a valid integer value".
class EConvertError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

std::int32_t StrToInt(std::string_view text);

}  // namespace kalvoran
