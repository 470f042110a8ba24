// Applying an interface language to the window.
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>

#include "image_list.h"
#include "language_state.h"
#include "language_tables.h"
#include "picture.h"
#include "qt_text.h"
#include "qt_translations.h"
#include "tform1.h"

namespace kalvoran {

void TForm1::Preklad(std::uint8_t index) {
  const LanguageTable* language = FindLanguage(index);
  // Only the four languages reach here: the start-up and the menu's tags.
  if (language == nullptr) return;

  Image8->SetPicture(ImageList4->Draw(language->flag));
  ComboBox1->clear();

  PublishLanguage(*language);
  qtTranslations_->Apply(language->langCode);
  Vloi1->setText(FromCp1250(language->paste));
  Vybravetko1->setText(FromCp1250(language->selectAll));
  Zmaza1->setText(FromCp1250(language->clear));
  Image5->setToolTip(FromCp1250(language->minimiseHint));
  Label2->setText(FromCp1250(language->keyLabel));
  Label2->adjustSize();
  Button1->setText(FromCp1250(language->download));
  Button2->setText(FromCp1250(language->close));
  BitBtn1->setText(FromCp1250(language->openFolder));
  Image8->setToolTip(FromCp1250(language->homepageHint));
  for (const std::string& line : language->instructions) ComboBox1->addItem(FromCp1250(line));

  ComboBox1->setCurrentIndex(0);
}

void TForm1::ZmenitJazyk(QObject* sender) {
  const auto* item = qobject_cast<const QAction*>(sender);
  if (item == nullptr) return;
  Preklad(static_cast<std::uint8_t>(item->data().toInt() & 0xFF));
}

}  // namespace kalvoran
