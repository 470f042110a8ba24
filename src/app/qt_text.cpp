#include "qt_text.h"

#include <QList>

#include "cp1250.h"

namespace kalvoran {

QString FromCp1250(std::string_view cp1250) {
  QString out;
  out.reserve(static_cast<qsizetype>(cp1250.size()));
  // Every Windows-1250 character lies in the basic plane: one QChar each.
  for (unsigned char byte : cp1250)
    out.append(QChar(static_cast<char16_t>(Cp1250ToCodePoint(byte))));
  return out;
}

std::string ToCp1250(const QString& text) {
  std::string out;
  out.reserve(static_cast<std::size_t>(text.size()));
  for (uint codePoint : text.toUcs4()) out.push_back(CodePointToCp1250(codePoint));
  return out;
}

}  // namespace kalvoran
