#include "key_encoder.h"

#include <cstdint>
#include <numeric>
#include <vector>

#include "key_alphabet.h"
#include "switch_b.h"

namespace kalvoran {

std::string EncodeKeyOrThrow(std::string_view descriptor) {
  // Below 4 key characters the reordering yields nothing at all.
  if (descriptor.size() < 2) {
    throw EKeyEncodeError("a descriptor needs at least 2 characters, this one has " +
                          std::to_string(descriptor.size()));
  }
  if (descriptor.size() > kMaxDescriptorLength) {
    throw EKeyEncodeError("a descriptor may have at most " + std::to_string(kMaxDescriptorLength) +
                          " characters, this one has " + std::to_string(descriptor.size()));
  }

  // Each character's code as two base-35 digits: codes below 142 never reach a
  // four-digit pair value, so the grouping stays three digits per code.
  std::string pairs;
  pairs.reserve(descriptor.size() * 2);
  for (std::size_t k = 0; k < descriptor.size(); ++k) {
    const int code = CodeOf(descriptor[k]);
    if (code < 0) {
      throw EKeyEncodeError("character " + std::to_string(k + 1) + " ('" +
                            std::string(1, descriptor[k]) + "') is outside the code table");
    }
    pairs += kBase35Digits[static_cast<std::size_t>(code / 35)];
    pairs += kBase35Digits[static_cast<std::size_t>(code % 35)];
  }

  // The reordering is a fixed permutation of positions for a given length:
  // run it over position markers, then place each character where the
  // reordering will fetch it from.
  std::vector<std::uint32_t> markers(pairs.size());
  std::iota(markers.begin(), markers.end(), 0u);
  const std::vector<std::uint32_t> source = detail::SwitchBSequence(std::move(markers));
  std::string key(pairs.size(), '\0');
  for (std::size_t j = 0; j < pairs.size(); ++j) key[source[j]] = pairs[j];
  return key;
}

std::optional<std::string> EncodeKey(std::string_view descriptor) {
  try {
    return EncodeKeyOrThrow(descriptor);
  } catch (const EKeyEncodeError&) {
    return std::nullopt;
  }
}

}  // namespace kalvoran
