// Chunk-size lines on arbitrary bytes: the size is never negative (it never
// wraps), and a line of plain hexadecimal digits reads as its value.
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <limits>
#include <string>
#include <string_view>

#include "chunk_size.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view line = kalvoran::fuzz::AsText(data, size);
  std::int64_t parsed = 0;
  try {
    parsed = kalvoran::ParseChunkSize(line);
  } catch (const std::exception& e) {
    FUZZ_CHECK(false, std::string("reading a chunk size raised: ") + e.what());
  }
  FUZZ_CHECK(parsed >= 0, "a negative chunk size");

  // The digits before the first blank, checked against the library's reading.
  const std::string_view digits = line.substr(0, line.find(' '));
  std::uint64_t value = 0;
  const auto [end, error] =
      std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
  const bool allHex = !digits.empty() && end == digits.data() + digits.size() &&
                      digits.find_first_of("+-") == std::string_view::npos;
  if (allHex && error == std::errc() &&
      value <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
    FUZZ_CHECK(static_cast<std::uint64_t>(parsed) == value, "hexadecimal digits misread");
  } else {
    FUZZ_CHECK(parsed == 0, "a line that is no size must end the body");
  }
  return 0;
}
