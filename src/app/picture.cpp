#include "picture.h"

#include <QMouseEvent>
#include <QPainter>

#include "artwork.h"

namespace kalvoran {

QImage WithFuchsiaTransparent(const QImage& image) {
  QImage out = image.convertToFormat(QImage::Format_ARGB32);
  const QRgb fuchsia = qRgb(255, 0, 255);
  for (int y = 0; y < out.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
    for (int x = 0; x < out.width(); ++x) {
      if ((line[x] | 0xff000000u) == fuchsia && qAlpha(line[x]) != 0) line[x] = 0;
    }
  }
  return out;
}

Picture::Picture(QWidget* parent) : QWidget(parent) {
  // Pictures are no keyboard stops, unless they act as buttons.
  setFocusPolicy(Qt::NoFocus);
}

void Picture::SetPicture(const QImage& image, const QImage& sharp) {
  image_ = image;
  sharp_ = sharp;
  Rebuild();
}

void Picture::SetTransparent(bool transparent) {
  transparent_ = transparent;
  Rebuild();
}

void Picture::Rebuild() {
  // The key colour is cut before any scaling, so that no blend of it with
  // its neighbours can survive as a pink fringe.
  drawn_ = image_.isNull() ? image_ : WithFuchsiaTransparent(image_);
  sharpDrawn_ = sharp_.isNull() ? sharp_ : WithFuchsiaTransparent(sharp_);
  update();
}

void Picture::paintEvent(QPaintEvent*) {
  const bool sharp = devicePixelRatioF() >= kSharpRatio && !sharpDrawn_.isNull();
  const QImage& shown = sharp ? sharpDrawn_ : drawn_;
  if (shown.isNull()) return;
  QPainter painter(this);
  // Between the densities of the two pictures Qt scales one: smoothly.
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  if (!transparent_) painter.setCompositionMode(QPainter::CompositionMode_Source);
  // Centred, odd differences rounding towards zero: a 19 x 19 arrow in a
  // 17 x 15 picture starts at (-1, -2). Sizes are logical.
  const QSize size = shown.deviceIndependentSize().toSize();
  const int left = (width() - size.width()) / 2;
  const int top = (height() - size.height()) / 2;
  painter.drawImage(left, top, shown);
  if (hasFocus()) {
    // White on the dark skin, and around the picture's own edge.
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.setPen(QPen(Qt::white, 1, Qt::DotLine));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
  }
}

void Picture::SetKeyboardStop(bool stop) {
  setFocusPolicy(stop ? Qt::TabFocus : Qt::NoFocus);
}

void Picture::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) leftPressed_ = true;
  event->accept();
}

void Picture::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const bool wasPressed = leftPressed_;
  leftPressed_ = false;
  if (wasPressed && rect().contains(event->position().toPoint())) emit Clicked();
}

}  // namespace kalvoran
