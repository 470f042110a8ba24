#pragma once
// A list of same-sized images, as the window keeps its glyphs, animation frames
// and flags; each image also at twice its size where the list has it.
#include <QImage>
#include <QStringList>
#include <vector>

namespace kalvoran {

class ImageList {
 public:
  // Loads each resource and its twice-sized twin; a missing resource gives a
  // transparent image of the list's size, so a drawing never fails.
  ImageList(int width, int height, const QStringList& resources);

  int Width() const { return width_; }
  int Height() const { return height_; }
  int Count() const { return static_cast<int>(images_.size()); }
  // A fresh image of the list's size holding image index drawn at its origin;
  // empty (transparent) for an index outside the list. For a screen of ratio
  // kSharpRatio or more it is drawn from the twice-sized image, at device
  // pixel ratio 2.
  QImage Draw(int index, qreal ratio = 1) const;

 private:
  int width_;
  int height_;
  std::vector<QImage> images_;
  std::vector<QImage> sharp_;  // null where a picture has no twin
};

}  // namespace kalvoran
