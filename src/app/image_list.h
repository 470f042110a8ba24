#pragma once
// A list of same-sized images, as the window keeps its glyphs, animation frames
// and flags.
#include <QImage>
#include <QStringList>
#include <vector>

namespace kalvoran {

class ImageList {
 public:
  // Loads each resource; one that is missing gives a transparent image of the
  // list's size, so a drawing never fails.
  ImageList(int width, int height, const QStringList& resources);

  int Width() const { return width_; }
  int Height() const { return height_; }
  int Count() const { return static_cast<int>(images_.size()); }
  // A fresh image of the list's size holding image index drawn at its origin;
  // empty (transparent) for an index outside the list.
  QImage Draw(int index) const;

 private:
  int width_;
  int height_;
  std::vector<QImage> images_;
};

}  // namespace kalvoran
