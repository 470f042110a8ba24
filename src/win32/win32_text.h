#pragma once
// Windows-1250 texts of the core as the UTF-16 that Windows' wide calls take.
#include <windows.h>

#include <string>
#include <string_view>

namespace kalvoran {

std::wstring WideFromCp1250(std::string_view text);
std::string Cp1250FromWide(std::wstring_view text);
// A window's text: a caption, a label's text, an edit field's content.
std::wstring WindowText(HWND window);

}  // namespace kalvoran
