#include "query_value.h"

namespace kalvoran {

namespace {

bool NeedsEscape(unsigned char c) {
  switch (c) {
    case '%':
    case '&':
    case '+':
    case '#':
    case '=':
    case '?':
    case '\\':  // the address splitting would turn it into "/"
      return true;
    default:
      return c < 0x21 || c >= 0x7F;
  }
}

}  // namespace

std::string QueryValue(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == ' ') {
      out += '+';
    } else if (NeedsEscape(c)) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0x0F];
    } else {
      out += ch;
    }
  }
  return out;
}

}  // namespace kalvoran
