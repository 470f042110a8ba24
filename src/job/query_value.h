#pragma once
// A value of a request's query, written so that a form decoder (PHP's $_GET
// and the like) reads back exactly the bytes the key holds.
#include <string>
#include <string_view>

namespace kalvoran {

// A blank becomes "+"; "%", "&", "+", "#", "=", "?", "\", the bytes below
// 0x21, 0x7F and the bytes above 0x7F become "%XX" (upper-case hex); every
// other byte, "/" included, stays as it is. A name that needed none of this
// goes out as before, blanks as "+".
std::string QueryValue(std::string_view text);

}  // namespace kalvoran
