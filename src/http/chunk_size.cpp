#include "chunk_size.h"

#include <cstdint>

namespace kalvoran {

std::int64_t ParseChunkSize(std::string_view line) {
  line = line.substr(0, line.find(' '));
  if (line.empty()) return 0;
  std::int64_t size = 0;
  for (char c : line) {
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      return 0;
    }
    if (size > (INT64_MAX - digit) / 16) return 0;
    size = size * 16 + digit;
  }
  return size;
}

}  // namespace kalvoran
