#include "qt_translations.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLibraryInfo>
#include <utility>

namespace kalvoran {
namespace {

// The window's language codes are its own; Qt names Czech "cs".
QString CatalogueLanguage(std::string_view langCode) {
  if (langCode == "cz") return QStringLiteral("cs");
  return QString::fromLatin1(langCode.data(), static_cast<qsizetype>(langCode.size()));
}

// Qt 6 asks for the dialog buttons' texts under "QPlatformTheme"; catalogues
// that were last translated for Qt 5 (the Slovak one) keep them under
// "QDialogButtonBox" only.
class Catalogue final : public QTranslator {
 public:
  QString translate(const char* context, const char* sourceText, const char* disambiguation,
                    int n) const override {
    QString text = QTranslator::translate(context, sourceText, disambiguation, n);
    if (text.isEmpty() && qstrcmp(context, "QPlatformTheme") == 0) {
      text = QTranslator::translate("QDialogButtonBox", sourceText, disambiguation, n);
    }
    return text;
  }
};

}  // namespace

QtTranslations::QtTranslations()
    : QtTranslations(QLibraryInfo::path(QLibraryInfo::TranslationsPath)) {}

QtTranslations::QtTranslations(QString folder)
    : folder_(std::move(folder)), catalogue_(std::make_unique<Catalogue>()) {}

void QtTranslations::Apply(std::string_view langCode) {
  // Out first: a language without a catalogue must not keep the previous one.
  QCoreApplication::removeTranslator(catalogue_.get());
  const QString file =
      folder_ + QStringLiteral("/qtbase_") + CatalogueLanguage(langCode) + QStringLiteral(".qm");
  if (QFileInfo(file).isFile() && catalogue_->load(file)) {
    QCoreApplication::installTranslator(catalogue_.get());
  }
}

}  // namespace kalvoran
