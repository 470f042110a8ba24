#include "win32_text.h"

#include <windows.h>

namespace kalvoran {

namespace {
constexpr UINT kCp1250 = 1250;
}

std::wstring WideFromCp1250(std::string_view text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int n = MultiByteToWideChar(kCp1250, 0, text.data(), size, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(kCp1250, 0, text.data(), size, wide.data(), n);
  return wide;
}

std::string Cp1250FromWide(std::wstring_view text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int n = WideCharToMultiByte(kCp1250, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(kCp1250, 0, text.data(), size, narrow.data(), n, nullptr, nullptr);
  return narrow;
}

std::wstring WindowText(HWND window) {
  const int length = GetWindowTextLengthW(window);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), length + 1)));
  return text;
}

}  // namespace kalvoran
