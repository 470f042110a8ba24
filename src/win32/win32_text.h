#pragma once
// Windows-1250 texts of the core as the UTF-16 that Windows' wide calls take.
#include <string>
#include <string_view>

namespace kalvoran {

std::wstring WideFromCp1250(std::string_view text);
std::string Cp1250FromWide(std::wstring_view text);

}  // namespace kalvoran
