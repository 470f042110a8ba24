#pragma once
// The window's faces. Arial and Times New Roman come as their metric twins
// (Liberation Sans, Liberation Serif) where the originals are missing. Sizes
// are in pixels, as the layout is.
#include <QFont>

namespace kalvoran {

QFont SansFont(int pixels, bool bold = false, bool underline = false);
QFont SerifFont(int pixels);

}  // namespace kalvoran
