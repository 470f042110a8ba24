#pragma once
// Windows-1250 <-> UTF-8 at the program's boundaries. Inside the core every text
// is single-byte Windows-1250; the window (QString) and file names on disk
// (UTF-8 on Linux) convert here.
#include <string>
#include <string_view>

namespace kalvoran {

// Every byte maps to one code point, so this never fails. The five bytes that
// Windows-1250 leaves unassigned map to the C1 controls of the same value, as
// the Windows conversion does, so the round trip is lossless.
std::string Cp1250ToUtf8(std::string_view cp1250);

// A code point that Windows-1250 lacks, and every malformed UTF-8 sequence,
// becomes "?", as the Windows system code page does.
std::string Utf8ToCp1250(std::string_view utf8);

// The code point of one Windows-1250 byte, and the byte for a code point
// ('?' when there is none). Useful for QString conversion without UTF-8.
char32_t Cp1250ToCodePoint(unsigned char byte);
char CodePointToCp1250(char32_t codePoint);

}  // namespace kalvoran
