#include "funkcie.h"

#include <cstddef>

#include "key_alphabet.h"
#include "str_to_int.h"
#include "switch_b.h"

namespace kalvoran {

std::string SwitchB(std::string_view s) {
  return detail::SwitchBSequence(std::string(s));
}

std::string PairsToCodes(std::string_view u) {
  std::string codes;
  const std::size_t pairs = u.size() / 2;
  codes.reserve(pairs * 3);
  for (std::size_t p = 0; p < pairs; ++p) codes += PairToCode(u.substr(2 * p, 2));
  return codes;
}

std::string PairToCode(std::string_view pair) {
  std::int32_t value = 0;
  std::int32_t digit = 0;
  // A character that is no digit keeps the digit before it: 0 in the first
  // place, the first character's value in the second.
  for (std::int32_t position = 1; position <= 2; ++position) {
    const std::size_t at = static_cast<std::size_t>(position - 1);
    if (at < pair.size()) {
      const int v = Base35Value(pair[at]);
      if (v >= 0) digit = v;
    }
    value += digit * IntPower(35, 2 - position);
  }
  std::string text = std::to_string(value);
  if (text.size() < 3) text.insert(0, 3 - text.size(), '0');
  return text;
}

std::string CodesToText(std::string_view d) {
  std::string text;
  const std::size_t groups = d.size() / 3;
  text.reserve(groups);
  std::string last;
  for (std::size_t g = 0; g < groups; ++g) {
    const std::int32_t code = StrToInt(d.substr(3 * g, 3));
    // A code beyond the table repeats the character before it.
    if (code >= 0 && code < kCodeTableSize)
      last.assign(1, kCodeTable[static_cast<std::size_t>(code)]);
    text += last;
  }
  return text;
}

std::int32_t IntPower(std::int32_t base, std::int32_t exponent) {
  // Multiplication modulo 2^32 is what 32-bit signed arithmetic wraps to, and
  // it is associative, so squaring gives the same bits as repeated multiplying
  // without its cost. A negative exponent has no integer power; it counts as 0.
  std::uint32_t result = 1;
  std::uint32_t factor = static_cast<std::uint32_t>(base);
  for (std::uint32_t e = exponent > 0 ? static_cast<std::uint32_t>(exponent) : 0u; e != 0;
       e >>= 1) {
    if (e & 1u) result *= factor;
    factor *= factor;
  }
  return static_cast<std::int32_t>(result);
}

std::string UnscrambleKey(std::string_view key) {
  return CodesToText(PairsToCodes(SwitchB(key)));
}

std::string GetField(std::string_view text, char delimiter, std::int32_t n) {
  if (n < 1) return {};
  std::size_t start = 0;
  for (std::int32_t seen = 1; seen < n; ++seen) {
    const std::size_t at = text.find(delimiter, start);
    if (at == std::string_view::npos) return {};
    start = at + 1;
  }
  const std::size_t end = text.find(delimiter, start);
  return std::string(
      text.substr(start, end == std::string_view::npos ? text.size() - start : end - start));
}

std::string SpacesToPlus(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c == ' ') c = '+';
  }
  return out;
}

}  // namespace kalvoran
