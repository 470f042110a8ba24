#pragma once
// The fixed data of the key format: the base-35 digits of a key and the code
// table that maps the codes 0..141 onto the descriptor alphabet.
#include <array>
#include <string_view>

namespace kalvoran {

// Digit values 0..34 in order. "W" is no digit: "V" (31) is followed by "X" (32).
inline constexpr std::string_view kBase35Digits = "0123456789ABCDEFGHIJKLMNOPQRSTUVXYZ";

// The value of a base-35 digit, or -1 for any other character.
int Base35Value(char c);

inline constexpr int kCodeTableSize = 142;

// The code table, in Windows-1250 bytes.
// Once keys are issued this table can never change: every issued key names its
// characters by these positions, so moving a single entry garbles them all.
inline constexpr std::array<char, kCodeTableSize> kCodeTable = {
    // 0: the blank
    ' ',
    // 1..26
    'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'J', 'K', 'L', 'M', 'N', 'O', 'P', 'Q', 'R', 'S',
    'T', 'U', 'V', 'W', 'X', 'Y', 'Z',
    // 27..52
    'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'j', 'k', 'l', 'm', 'n', 'o', 'p', 'q', 'r', 's',
    't', 'u', 'v', 'w', 'x', 'y', 'z',
    // 53..62
    '0', '1', '2', '3', '4', '5', '6', '7', '8', '9',
    // 63..85: accented capitals
    // A-acute A-diaeresis E-acute I-acute O-acute O-circumflex U-acute U-diaeresis Y-acute
    '\xC1', '\xC4', '\xC9', '\xCD', '\xD3', '\xD4', '\xDA', '\xDC', '\xDD',
    // C-caron D-caron E-caron L-acute L-caron N-caron R-acute R-caron S-acute S-caron
    '\xC8', '\xCF', '\xCC', '\xC5', '\xBC', '\xD2', '\xC0', '\xD8', '\x8C', '\x8A',
    // T-caron U-ring U-double-acute Z-caron
    '\x8D', '\xD9', '\xDB', '\x8E',
    // 86..108: their small forms, in the same order
    '\xE1', '\xE4', '\xE9', '\xED', '\xF3', '\xF4', '\xFA', '\xFC', '\xFD', '\xE8', '\xEF', '\xEC',
    '\xE5', '\xBE', '\xF2', '\xE0', '\xF8', '\x9C', '\x9A', '\x9D', '\xF9', '\xFB', '\x9E',
    // 109..139: printable ASCII punctuation, all but the grave accent
    '!', '"', '#', '$', '%', '&', '\'', '(', ')', '*', '+', ',', '-', '.', '/', ':', ';', '<', '=',
    '>', '?', '@', '[', '\\', ']', '^', '_', '{', '|', '}', '~',
    // 140: section sign, 141: degree sign
    '\xA7', '\xB0'};

// The code of a descriptor character, or -1 when the table lacks it.
int CodeOf(char c);

}  // namespace kalvoran
