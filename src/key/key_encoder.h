#pragma once
// Making keys: the inverse of the unscrambling chain, for the key tool and for
// tests. The downloader itself only reads keys.
#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace kalvoran {

// The downloader reads at most this many characters of a key, so a descriptor
// can hold at most half as many (two key characters per descriptor character).
inline constexpr std::size_t kMaxKeyLength = 4096;
inline constexpr std::size_t kMaxDescriptorLength = kMaxKeyLength / 2;

// Why a descriptor cannot become a key; the message is Windows-1250 text.
class EKeyEncodeError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The key that unscrambles to exactly this descriptor (Windows-1250). Raises
// EKeyEncodeError for fewer than 2 or more than kMaxDescriptorLength
// characters, and for a character outside the code table.
std::string EncodeKeyOrThrow(std::string_view descriptorCp1250);

// As above; std::nullopt where EncodeKeyOrThrow raises.
std::optional<std::string> EncodeKey(std::string_view descriptorCp1250);

}  // namespace kalvoran
