#pragma once
// The language chosen last, in the user's registry:
// HKCU\Software\Kalvoran\Kalvoran Downloader, value "Language" (the
// uninstaller removes the key).
#include "language_store.h"

namespace kalvoran {

inline constexpr wchar_t kSettingsKey[] = L"Software\\Kalvoran\\Kalvoran Downloader";

class RegistryLanguageStore final : public LanguageStore {
 public:
  std::string Load() override;
  void Save(const std::string& langCode) override;
};

}  // namespace kalvoran
