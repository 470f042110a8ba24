#pragma once
// A picture control: draws its image centred and unscaled, clipped to its own
// size. A transparent picture leaves its fuchsia pixels undrawn (and, for an
// image with alpha, its see-through pixels), so what lies below shows. Any
// other picture draws them as the window's colour key does: as holes through
// the window, where the desktop shows. On a dense screen the picture's
// twice-sized twin is drawn in its place.
#include <QImage>
#include <QWidget>

namespace kalvoran {

class Picture : public QWidget {
  Q_OBJECT

 public:
  explicit Picture(QWidget* parent = nullptr);

  // sharp: the same picture at twice the size, device pixel ratio 2; or none.
  void SetPicture(const QImage& image, const QImage& sharp = {});
  const QImage& PictureImage() const { return image_; }
  void SetTransparent(bool transparent);
  // A picture that acts as a button: the keyboard reaches it (Tab only, a
  // click does not take the focus from the key field), and it shows a frame
  // while it has the focus.
  void SetKeyboardStop(bool stop);

 signals:
  // A left button press and release both on the picture.
  void Clicked();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void Rebuild();

  QImage image_;
  QImage sharp_;
  QImage drawn_;
  QImage sharpDrawn_;
  bool transparent_ = false;
  bool leftPressed_ = false;
};

// Transparency by colour key: fuchsia pixels become see-through.
QImage WithFuchsiaTransparent(const QImage& image);

}  // namespace kalvoran
