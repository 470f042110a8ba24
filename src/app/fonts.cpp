#include "fonts.h"

#include <QStringList>

namespace kalvoran {

QFont SansFont(int pixels, bool bold, bool underline) {
  QFont font;
  font.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans")});
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(pixels);
  font.setBold(bold);
  font.setUnderline(underline);
  return font;
}

QFont SerifFont(int pixels) {
  QFont font;
  font.setFamilies({QStringLiteral("Times New Roman"), QStringLiteral("Liberation Serif")});
  font.setStyleHint(QFont::Serif);
  font.setPixelSize(pixels);
  return font;
}

}  // namespace kalvoran
