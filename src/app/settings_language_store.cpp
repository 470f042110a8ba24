#include "settings_language_store.h"

#include <QSettings>

namespace kalvoran {
namespace {

constexpr char kKey[] = "language";

QSettings Settings() {
  return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Kalvoran"),
                   QStringLiteral("Kalvoran Downloader"));
}

}  // namespace

std::string SettingsLanguageStore::Load() {
  return Settings().value(kKey).toString().toStdString();
}

void SettingsLanguageStore::Save(const std::string& langCode) {
  QSettings settings = Settings();
  settings.setValue(kKey, QString::fromStdString(langCode));
}

}  // namespace kalvoran
