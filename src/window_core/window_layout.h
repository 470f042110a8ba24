#pragma once
// The window's layout as data: every component's kind, parent, rectangle,
// font, colours, picture and fixed caption, the image lists, the keyboard
// order and the drag surfaces. Front-ends build their widgets from it.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "window_view.h"

namespace kalvoran {

struct Rect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
};

struct Colour {
  std::uint8_t r = 0;
  std::uint8_t g = 0;
  std::uint8_t b = 0;
  friend bool operator==(const Colour&, const Colour&) = default;
};

// The colour key: pixels of it are not drawn, the desktop shows through.
inline constexpr Colour kFuchsia{255, 0, 255};

// Sizes in pixels. Arial and Times New Roman, or their metric twins.
struct Font {
  enum Face { kSans, kSerif };
  Face face = kSans;
  int pixels = 11;
  bool bold = false;
  bool underline = false;
};

enum class Kind {
  kWindow,
  kPanel,    // a plain container
  kPicture,  // draws its picture centred and unscaled
  kLabel,
  kList,    // a drop-down list, not editable
  kShape,   // a rectangle: pen outline, fill inside
  kButton,  // a push button, with a glyph when it has a picture
  kBar,     // a smooth progress bar
  kEdit,    // the multi-line plain-text key field
  kTimer,
  kMenu,
  kMenuItem,  // in the menu that precedes it
};

// A label's text: left and centred vertically, or along the top, centred or
// right-aligned.
enum class Align { kLeft, kCentreTop, kRightTop };

struct ComponentLayout {
  Component id;
  Kind kind;
  Component parent;  // the window itself for its own children
  Rect rect;         // within the parent
  std::optional<Font> font;
  std::optional<Colour> text;  // a label's text colour
  std::optional<Colour> pen;   // a shape's outline
  std::optional<Colour> fill;  // a shape's or panel's fill
  std::optional<Art> picture;
  bool transparent = false;  // a picture leaves its fuchsia pixels undrawn
  std::string caption;       // fixed, not set by a language
  Align align = Align::kLeft;
  int tag = 0;  // a language menu item's language
  bool visible = true;
  bool dragSurface = false;  // presses and moves drag the window
  bool autoSize = false;     // a label that sizes itself to its text
  bool raisedBevel = false;  // a panel with a raised edge
};

// Every component, parents before their children, in the order in which
// they are stacked (later ones in front).
const std::vector<ComponentLayout>& WindowLayout();
const ComponentLayout& LayoutOf(Component component);

struct ImageListLayout {
  int width;
  int height;
  std::vector<Art> images;
};
// 19 x 19 folder glyphs; 20 x 20 activity frames; 15 x 15 task bar icons of
// a job; 46 x 23 flags in language order.
const ImageListLayout& ImageList1();
const ImageListLayout& ImageList2();
const ImageListLayout& ImageList3();
const ImageListLayout& ImageList4();

// The keyboard order, round from the last back to the first.
const std::vector<Component>& TabOrder();

inline constexpr int kWindowSize = 465;
inline constexpr int kTimerIntervalMs = 500;
inline constexpr int kListItemHeight = 13;
inline constexpr int kListVisibleItems = 20;

}  // namespace kalvoran
