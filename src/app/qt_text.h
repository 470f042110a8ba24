#pragma once
// The window shows QString; the program's own texts are Windows-1250.
#include <QString>
#include <string>
#include <string_view>

namespace kalvoran {

QString FromCp1250(std::string_view cp1250);
std::string ToCp1250(const QString& text);

}  // namespace kalvoran
