#include "str_to_int.h"

#include <cstddef>

namespace kalvoran {
namespace {

[[noreturn]] void Refuse(std::string_view text) {
  throw EConvertError("'" + std::string(text) + "' is not a valid integer value");
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

std::int32_t StrToInt(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
    negative = text[i] == '-';
    ++i;
  }
  const std::string_view rest = text.substr(i);
  if (rest.empty()) Refuse(text);

  std::size_t prefix = 0;
  if (rest[0] == '$' || rest[0] == 'x' || rest[0] == 'X') {
    prefix = 1;
  } else if (rest.size() >= 2 && rest[0] == '0' && (rest[1] == 'x' || rest[1] == 'X')) {
    prefix = 2;
  }

  if (prefix > 0) {
    // Hexadecimal is a 32-bit pattern: $FFFFFFFF is -1. Leading zeros do not
    // count against the 32 bits.
    const std::string_view digits = rest.substr(prefix);
    if (digits.empty()) Refuse(text);
    std::uint64_t pattern = 0;
    for (char c : digits) {
      const int v = HexValue(c);
      if (v < 0) Refuse(text);
      pattern = pattern * 16 + static_cast<std::uint64_t>(v);
      if (pattern > 0xFFFFFFFFu) Refuse(text);
    }
    std::uint32_t bits = static_cast<std::uint32_t>(pattern);
    if (negative) bits = 0u - bits;
    return static_cast<std::int32_t>(bits);
  }

  // Decimal: the magnitude may reach 2^31 only with a minus sign.
  const std::uint64_t limit = negative ? 0x80000000u : 0x7FFFFFFFu;
  std::uint64_t magnitude = 0;
  for (char c : rest) {
    if (c < '0' || c > '9') Refuse(text);
    magnitude = magnitude * 10 + static_cast<std::uint64_t>(c - '0');
    if (magnitude > limit) Refuse(text);
  }
  const std::uint32_t bits =
      negative ? 0u - static_cast<std::uint32_t>(magnitude) : static_cast<std::uint32_t>(magnitude);
  return static_cast<std::int32_t>(bits);
}

}  // namespace kalvoran
