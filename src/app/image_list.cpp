#include "image_list.h"

#include <QPainter>

namespace kalvoran {

ImageList::ImageList(int width, int height, const QStringList& resources)
    : width_(width), height_(height) {
  for (const QString& name : resources) {
    QImage image(name);
    if (image.isNull()) {
      image = QImage(width_, height_, QImage::Format_ARGB32);
      image.fill(Qt::transparent);
    }
    images_.push_back(image.convertToFormat(QImage::Format_ARGB32));
  }
}

QImage ImageList::Draw(int index) const {
  QImage canvas(width_, height_, QImage::Format_ARGB32);
  canvas.fill(Qt::transparent);
  if (index >= 0 && index < Count()) {
    QPainter painter(&canvas);
    painter.drawImage(0, 0, images_[static_cast<std::size_t>(index)]);
  }
  return canvas;
}

}  // namespace kalvoran
