#pragma once
// Qt's own texts (the Yes and No of the standard dialogs, for one) in the
// window's language: Qt's translation catalogue "qtbase_<language>.qm" from the
// folder Qt keeps its translations in. A language without a catalogue there
// leaves Qt's texts in English.
#include <QString>
#include <QTranslator>
#include <memory>
#include <string_view>

namespace kalvoran {

class QtTranslations {
 public:
  // The catalogues are looked up in Qt's translations folder, or in `folder`.
  QtTranslations();
  explicit QtTranslations(QString folder);
  QtTranslations(const QtTranslations&) = delete;
  QtTranslations& operator=(const QtTranslations&) = delete;

  // Puts Qt's texts into the language of langCode ("sk", "cz", "en", "de"),
  // replacing the language applied before.
  void Apply(std::string_view langCode);

 private:
  QString folder_;
  std::unique_ptr<QTranslator> catalogue_;  // leaves the application when destroyed
};

}  // namespace kalvoran
