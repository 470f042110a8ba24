#pragma once
// The language chosen last, in Qt's settings of the user
// ($XDG_CONFIG_HOME/Kalvoran/Kalvoran Downloader.conf on Linux).
#include "language_store.h"

namespace kalvoran {

class SettingsLanguageStore final : public LanguageStore {
 public:
  std::string Load() override;
  void Save(const std::string& langCode) override;
};

}  // namespace kalvoran
