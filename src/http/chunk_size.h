#pragma once
// The size line of a chunk in a chunked body.
#include <cstdint>
#include <string_view>

namespace kalvoran {

// The line up to its first blank, read as hexadecimal digits. Anything else
// reads as 0, which ends the body: an extension glued on with ";", an empty
// line, and a size that does not fit in 63 bits (it never wraps around).
std::int64_t ParseChunkSize(std::string_view line);

}  // namespace kalvoran
