#include "shape_box.h"

#include <QPainter>

namespace kalvoran {

ShapeBox::ShapeBox(QColor outline, std::optional<QColor> fill, QWidget* parent)
    : QWidget(parent), outline_(outline), fill_(fill) {
  setFocusPolicy(Qt::NoFocus);
}

void ShapeBox::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (fill_) painter.fillRect(rect(), *fill_);
  painter.setPen(QPen(outline_, 1));
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

}  // namespace kalvoran
