#pragma once
// The helper unit's pure text functions: the unscrambling chain of a download
// key and the field splitting of its descriptor. All text is Windows-1250.
#include <cstdint>
#include <string>
#include <string_view>

namespace kalvoran {

// Reorders the characters of a key; the empty text below 4 characters.
std::string SwitchB(std::string_view s);
// Reads pairs as base-35 numbers and writes each as a decimal code.
std::string PairsToCodes(std::string_view u);
// One pair of exactly two characters to three or four decimal digits.
std::string PairToCode(std::string_view pair);
// Three-digit codes to characters of the code table. Raises EConvertError for
// a group that is no integer (never within the chain).
std::string CodesToText(std::string_view d);
// 32-bit signed power, exponent 0 or more.
std::int32_t IntPower(std::int32_t base, std::int32_t exponent);

// The chain: CodesToText(PairsToCodes(SwitchB(key))). Never fails.
std::string UnscrambleKey(std::string_view key);

// Field n (from 1) of text split at delimiter; empty when there is none.
std::string GetField(std::string_view text, char delimiter, std::int32_t n);

// Every blank replaced by "+", nothing else changed.
std::string SpacesToPlus(std::string_view text);

}  // namespace kalvoran
