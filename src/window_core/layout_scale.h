#pragma once
// The layout on a denser screen. Its lengths are pixels at 96 dots per inch;
// a window on a screen of another density multiplies them by dpi / 96. A
// rectangle's edges are scaled rather than its size, so that controls that
// meet at 96 dpi still meet at any other density.
#include "window_layout.h"

namespace kalvoran {

inline constexpr int kLayoutDpi = 96;

// `value` pixels at `from` dots per inch as pixels at `to`, to the nearest
// pixel (halves away from zero).
constexpr int ScaleLength(int value, int to, int from = kLayoutDpi) {
  const long long scaled = static_cast<long long>(value) * to;
  return static_cast<int>((scaled >= 0 ? scaled + from / 2 : scaled - from / 2) / from);
}

constexpr Rect ScaleRect(const Rect& r, int dpi) {
  const int left = ScaleLength(r.left, dpi);
  const int top = ScaleLength(r.top, dpi);
  return {left, top, ScaleLength(r.left + r.width, dpi) - left,
          ScaleLength(r.top + r.height, dpi) - top};
}

// The pictures exist drawn for 96 and for 192 dpi. From 144 dpi on the
// larger one is the closer, and shrinking it loses less than enlarging the
// smaller.
constexpr int ArtDpiFor(int dpi) {
  return dpi >= 144 ? 2 * kLayoutDpi : kLayoutDpi;
}

}  // namespace kalvoran
