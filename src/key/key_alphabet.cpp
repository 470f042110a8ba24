#include "key_alphabet.h"

#include <cstdint>

namespace kalvoran {
namespace {

constexpr std::array<std::int16_t, 256> Invert(std::string_view chars) {
  std::array<std::int16_t, 256> index{};
  for (auto& v : index) v = -1;
  for (std::size_t k = 0; k < chars.size(); ++k) {
    index[static_cast<unsigned char>(chars[k])] = static_cast<std::int16_t>(k);
  }
  return index;
}

constexpr auto kDigitValue = Invert(kBase35Digits);
constexpr auto kCodeOf = Invert(std::string_view(kCodeTable.data(), kCodeTable.size()));

constexpr bool OneToOne() {
  for (int k = 0; k < kCodeTableSize; ++k) {
    if (kCodeOf[static_cast<unsigned char>(kCodeTable[k])] != k) return false;
  }
  return true;
}
static_assert(OneToOne(), "two codes share a character");

}  // namespace

int Base35Value(char c) {
  return kDigitValue[static_cast<unsigned char>(c)];
}

int CodeOf(char c) {
  return kCodeOf[static_cast<unsigned char>(c)];
}

}  // namespace kalvoran
