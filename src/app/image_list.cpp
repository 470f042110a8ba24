#include "image_list.h"

#include <QPainter>

#include "artwork.h"

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
    QImage sharp(SharpPath(name));
    if (!sharp.isNull()) sharp = sharp.convertToFormat(QImage::Format_ARGB32);
    sharp.setDevicePixelRatio(2);
    sharp_.push_back(sharp);
  }
}

QImage ImageList::Draw(int index, qreal ratio) const {
  const bool inList = index >= 0 && index < Count();
  const auto at = static_cast<std::size_t>(index);
  const bool sharp = inList && ratio >= kSharpRatio && !sharp_[at].isNull();
  const int scale = sharp ? 2 : 1;
  QImage canvas(width_ * scale, height_ * scale, QImage::Format_ARGB32);
  canvas.setDevicePixelRatio(scale);
  canvas.fill(Qt::transparent);
  if (inList) {
    QPainter painter(&canvas);
    painter.drawImage(0, 0, sharp ? sharp_[at] : images_[at]);
  }
  return canvas;
}

}  // namespace kalvoran
