#include "shell_launcher.h"

#include <windows.h>
#include <shellapi.h>

namespace kalvoran {

namespace {

// The shell resolves a relative path against its own idea of the current
// folder; the full path leaves no doubt.
std::wstring FullPath(const std::wstring& path) {
  const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (size == 0) return path;
  std::wstring full(size, L'\0');
  const DWORD length = GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
  full.resize(length);
  return full;
}

void Open(const std::wstring& target) {
  ShellExecuteW(nullptr, L"open", target.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace

void ShellLauncher::OpenAddress(const std::wstring& url) {
  Open(url);
}

void ShellLauncher::OpenFolder(const std::wstring& path) {
  Open(FullPath(path));
}

void ShellLauncher::OpenFile(const std::wstring& path) {
  Open(FullPath(path));
}

}  // namespace kalvoran
