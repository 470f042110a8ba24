#pragma once
// The window's own painted controls: panels and shapes (a fill, an outline,
// a raised edge), pictures, and labels drawn straight onto the skin. Where a
// control is not opaque, what lies below it (its parent and the siblings
// behind it) shows through, as it does in the window's other views. A
// control's press and moves on a drag surface, and a picture's click, are
// reported to the top-level window.
#include <windows.h>

#include <optional>
#include <string>

namespace kalvoran {

// Sent to the top-level window by a drag surface: a press (any button) and a
// move, at a point in the surface's own coordinates (LPARAM), with the
// buttons held (WPARAM).
inline constexpr UINT kDragPress = WM_APP + 2;
inline constexpr UINT kDragMove = WM_APP + 3;

inline constexpr wchar_t kBoxClass[] = L"KalvoranBox";
inline constexpr wchar_t kLabelClass[] = L"KalvoranLabel";

struct Painted {
  // -- a box (panel, shape or picture) --
  std::optional<COLORREF> fill;
  std::optional<COLORREF> pen;
  bool raised = false;
  int line = 1;               // the outline's and the raised edge's width, in pixels
  HBITMAP picture = nullptr;  // owned; premultiplied 32-bit, drawn centred
  int width = 0;
  int height = 0;
  // -- a label --
  COLORREF text = 0;
  UINT format = DT_LEFT;  // DrawText's alignment flags
  HFONT font = nullptr;   // not owned; a label has one
  // -- both --
  bool dragSurface = false;
  // A click goes to the top-level window as a BN_CLICKED command.
  bool clickable = false;
  // The keyboard reaches it; a frame shows while it has the focus.
  bool keyboardStop = false;
};

// Registers both classes; a control of them owns the Painted it is created
// with (CreateWindowEx's last parameter).
void RegisterPaintedClasses(HINSTANCE instance);
Painted* PaintedOf(HWND control);
// Replaces a picture control's picture, taking ownership.
void SetPaintedPicture(HWND control, HBITMAP picture, int width, int height);

}  // namespace kalvoran
