#include "win32_painted.h"

#include <algorithm>
#include <string>
#include <vector>

#include "win32_text.h"

namespace kalvoran {

namespace {

void Blend(HDC dc, int left, int top, HBITMAP picture, int x, int y, int width, int height) {
  HDC source = CreateCompatibleDC(dc);
  HGDIOBJ old = SelectObject(source, picture);
  BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  AlphaBlend(dc, left, top, width, height, source, x, y, width, height, blend);
  SelectObject(source, old);
  DeleteDC(source);
}

void PaintOwn(HWND control, HDC dc);

// Paints what shows through a control that is not opaque: its parent and
// the parent's background first, then its siblings behind it, the farthest
// first. `dc` has its origin at the control's top left.
void PaintBelow(HWND control, HDC dc) {
  const HWND parent = GetParent(control);
  if (!parent || !PaintedOf(parent)) {
    // The top-level window: the colour key, cut away.
    RECT r;
    GetClientRect(control, &r);
    HBRUSH brush = CreateSolidBrush(RGB(255, 0, 255));
    FillRect(dc, &r, brush);
    DeleteObject(brush);
    return;
  }
  POINT at{0, 0};
  MapWindowPoints(control, parent, &at, 1);
  POINT origin;
  OffsetViewportOrgEx(dc, -at.x, -at.y, &origin);
  PaintBelow(parent, dc);
  PaintOwn(parent, dc);
  std::vector<HWND> behind;
  for (HWND s = GetWindow(control, GW_HWNDNEXT); s; s = GetWindow(s, GW_HWNDNEXT)) {
    if (IsWindowVisible(s) && PaintedOf(s)) behind.push_back(s);
  }
  for (auto s = behind.rbegin(); s != behind.rend(); ++s) {
    POINT sibling{0, 0};
    MapWindowPoints(*s, parent, &sibling, 1);
    POINT saved;
    OffsetViewportOrgEx(dc, sibling.x, sibling.y, &saved);
    PaintOwn(*s, dc);
    SetViewportOrgEx(dc, saved.x, saved.y, nullptr);
  }
  SetViewportOrgEx(dc, origin.x, origin.y, nullptr);
}

// Paints the control itself, over whatever the DC holds already.
void PaintOwn(HWND control, HDC dc) {
  const Painted* painted = PaintedOf(control);
  if (!painted) return;
  RECT r;
  GetClientRect(control, &r);
  if (painted->font) {
    const std::wstring text = WindowText(control);
    HGDIOBJ old = SelectObject(dc, painted->font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, painted->text);
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, painted->format | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, old);
    return;
  }
  if (painted->fill) {
    HBRUSH brush = CreateSolidBrush(*painted->fill);
    FillRect(dc, &r, brush);
    DeleteObject(brush);
  }
  // A line of one pixel at 96 dpi is as many thicker at a denser screen's:
  // drawn again inside itself.
  if (painted->pen) {
    HBRUSH brush = CreateSolidBrush(*painted->pen);
    RECT frame = r;
    for (int i = 0; i < painted->line; ++i, InflateRect(&frame, -1, -1)) {
      FrameRect(dc, &frame, brush);
    }
    DeleteObject(brush);
  }
  if (painted->raised) {
    RECT edge = r;
    for (int i = 0; i < painted->line; ++i, InflateRect(&edge, -1, -1)) {
      DrawEdge(dc, &edge, BDR_RAISEDOUTER, BF_RECT);
    }
  }
  if (painted->picture) {
    // Centred and unscaled.
    Blend(dc, (r.right - painted->width) / 2, (r.bottom - painted->height) / 2, painted->picture,
          0, 0, painted->width, painted->height);
  }
  if (painted->keyboardStop && GetFocus() == control) {
    // White dots on the dark skin, round the picture's own edge.
    HPEN pen = CreatePen(PS_DOT, 1, RGB(255, 255, 255));
    HGDIOBJ oldPen = SelectObject(dc, pen);
    HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
    SetBkMode(dc, TRANSPARENT);
    Rectangle(dc, r.left, r.top, r.right, r.bottom);
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
    DeleteObject(pen);
  }
}

void Paint(HWND control, HDC dc) {
  const Painted* painted = PaintedOf(control);
  if (!painted) return;
  // Drawn off-screen first: no flicker of what lies below.
  RECT r;
  GetClientRect(control, &r);
  HDC buffer = CreateCompatibleDC(dc);
  HBITMAP bitmap = CreateCompatibleBitmap(dc, std::max<LONG>(r.right, 1), std::max<LONG>(r.bottom, 1));
  HGDIOBJ old = SelectObject(buffer, bitmap);
  if (!painted->fill) PaintBelow(control, buffer);
  PaintOwn(control, buffer);
  BitBlt(dc, 0, 0, r.right, r.bottom, buffer, 0, 0, SRCCOPY);
  SelectObject(buffer, old);
  DeleteObject(bitmap);
  DeleteDC(buffer);
}

LRESULT CALLBACK PaintedProc(HWND hwnd, UINT message, WPARAM w, LPARAM l) {
  Painted* painted = PaintedOf(hwnd);
  const HWND root = GetAncestor(hwnd, GA_ROOT);
  switch (message) {
    case WM_NCCREATE:
      SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                        reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(l)->lpCreateParams));
      break;
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_DRAWITEM:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CONTEXTMENU:
      // The controls on a panel report to the window, as if they were its own.
      if (message != WM_CONTEXTMENU || reinterpret_cast<HWND>(w) != hwnd) {
        return SendMessageW(root, message, w, l);
      }
      break;
    case WM_NCDESTROY:
      if (painted && painted->picture) DeleteObject(painted->picture);
      delete painted;
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      break;
    case WM_NCHITTEST:
      // A label that is a drag surface lets the mouse through to the skin
      // below it, which moves the window.
      if (painted && painted->font && painted->dragSurface) return HTTRANSPARENT;
      break;
    case WM_SETTEXT: {
      const LRESULT result = DefWindowProcW(hwnd, message, w, l);
      InvalidateRect(hwnd, nullptr, FALSE);
      return result;
    }
    case WM_ERASEBKGND:
      return 1;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      if (painted && painted->keyboardStop) InvalidateRect(hwnd, nullptr, FALSE);
      break;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(hwnd, &paint);
      Paint(hwnd, dc);
      EndPaint(hwnd, &paint);
      return 0;
    }
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
      if (painted && (painted->dragSurface || painted->clickable)) SetCapture(hwnd);
      if (painted && painted->dragSurface) SendMessageW(root, kDragPress, w, l);
      return 0;
    case WM_MOUSEMOVE:
      if (painted && painted->dragSurface) SendMessageW(root, kDragMove, w, l);
      return 0;
    case WM_LBUTTONUP: {
      const bool captured = GetCapture() == hwnd;
      if (captured) ReleaseCapture();
      RECT r;
      GetClientRect(hwnd, &r);
      const POINT at{static_cast<short>(LOWORD(l)), static_cast<short>(HIWORD(l))};
      // A click: released over the control it was pressed on.
      if (painted && painted->clickable && captured && PtInRect(&r, at)) {
        SendMessageW(root, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(hwnd), BN_CLICKED),
                     reinterpret_cast<LPARAM>(hwnd));
      }
      return 0;
    }
    case WM_RBUTTONUP:
      if (GetCapture() == hwnd) ReleaseCapture();
      // The context menu's message, as a control of the system's would send.
      if (painted && painted->clickable) {
        POINT at{static_cast<short>(LOWORD(l)), static_cast<short>(HIWORD(l))};
        ClientToScreen(hwnd, &at);
        SendMessageW(root, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(hwnd), MAKELPARAM(at.x, at.y));
      }
      return 0;
    case WM_MBUTTONUP:
      if (GetCapture() == hwnd) ReleaseCapture();
      return 0;
    default:
      break;
  }
  return DefWindowProcW(hwnd, message, w, l);
}

}  // namespace

void RegisterPaintedClasses(HINSTANCE instance) {
  WNDCLASSEXW painted{};
  painted.cbSize = sizeof(painted);
  painted.lpfnWndProc = PaintedProc;
  painted.hInstance = instance;
  painted.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  painted.lpszClassName = kBoxClass;
  RegisterClassExW(&painted);
  painted.lpszClassName = kLabelClass;
  RegisterClassExW(&painted);
}

Painted* PaintedOf(HWND control) {
  return reinterpret_cast<Painted*>(GetWindowLongPtrW(control, GWLP_USERDATA));
}

void SetPaintedPicture(HWND control, HBITMAP picture, int width, int height) {
  Painted* painted = PaintedOf(control);
  if (!painted) {
    if (picture) DeleteObject(picture);
    return;
  }
  if (painted->picture) DeleteObject(painted->picture);
  painted->picture = picture;
  painted->width = width;
  painted->height = height;
  InvalidateRect(control, nullptr, FALSE);
}

}  // namespace kalvoran
