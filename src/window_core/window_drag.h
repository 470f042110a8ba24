#pragma once
// Dragging the window by its picture. A press of any mouse button on a drag
// surface arms the drag and remembers where it happened, in the pressed
// control's coordinates. Each move with the left button held then shifts the
// window by how far the pointer is from that point; since the window follows,
// the pointer keeps its place on the control and every move is measured against
// the same origin. Releasing the button does not disarm; the instruction list
// dropping down does.
#include <cstdint>
#include <optional>

namespace kalvoran {

struct DragPoint {
  std::int32_t X = 0;
  std::int32_t Y = 0;
  friend bool operator==(const DragPoint&, const DragPoint&) = default;
};

class WindowDrag {
 public:
  void Press(DragPoint at) {
    origin_ = at;
    flag_ = 1;
  }

  // The window's displacement for a move to at, or nothing when the move does
  // not drag.
  std::optional<DragPoint> Move(DragPoint at, bool leftButtonHeld) const {
    if (!leftButtonHeld || flag_ != 1) return std::nullopt;
    return DragPoint{at.X - origin_.X, at.Y - origin_.Y};
  }

  void Disarm() { flag_ = 0; }

  // 1 while armed, 0 otherwise (the drag flag of the picture).
  std::int32_t Flag() const { return flag_; }
  DragPoint Origin() const { return origin_; }

 private:
  std::int32_t flag_ = 0;
  DragPoint origin_;
};

}  // namespace kalvoran
