#include "registry_language_store.h"

#include <windows.h>

namespace kalvoran {
namespace {

constexpr wchar_t kValue[] = L"Language";

}  // namespace

std::string RegistryLanguageStore::Load() {
  wchar_t code[8] = L"";
  DWORD size = sizeof(code);
  if (RegGetValueW(HKEY_CURRENT_USER, kSettingsKey, kValue, RRF_RT_REG_SZ, nullptr, code, &size) !=
      ERROR_SUCCESS) {
    return "";
  }
  // The codes are two ASCII letters; anything else is no code.
  std::string text;
  for (const wchar_t* c = code; *c; ++c) {
    if (*c > 0x7f) return "";
    text += static_cast<char>(*c);
  }
  return text;
}

void RegistryLanguageStore::Save(const std::string& langCode) {
  const std::wstring code(langCode.begin(), langCode.end());
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    return;
  }
  RegSetValueExW(key, kValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(code.c_str()),
                 static_cast<DWORD>((code.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
}

}  // namespace kalvoran
