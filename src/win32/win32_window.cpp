#include "win32_window.h"

#include <commctrl.h>
#include <initguid.h>
#include <oleacc.h>
#include <richedit.h>
#include <windowsx.h>

#include <algorithm>

#include "app_constants.h"
#include "layout_scale.h"
#include "win32_dpi.h"
#include "win32_painted.h"
#include "win32_pictures.h"
#include "win32_text.h"
#include "window_layout.h"

namespace kalvoran {

namespace {

constexpr wchar_t kWindowClass[] = L"KalvoranDownloader";
constexpr UINT kPostedMessage = WM_APP + 1;
constexpr UINT_PTR kTimerId = 1;
constexpr int kFirstControlId = 1000;

COLORREF ToColorRef(Colour c) {
  return RGB(c.r, c.g, c.b);
}

int ControlId(Component component) {
  return kFirstControlId + static_cast<int>(component);
}

// Where the control lies at the density `dpi`, within its parent.
Rect ControlRect(const ComponentLayout& item, int dpi) {
  Rect r = ScaleRect(item.rect, dpi);
  // A list's height includes its drop-down part.
  if (item.kind == Kind::kList) {
    r.height = ScaleLength(item.rect.height + kListItemHeight * kListVisibleItems, dpi);
  }
  return r;
}

UINT LabelFormat(Align align) {
  switch (align) {
    case Align::kLeft:
      return DT_LEFT | DT_VCENTER;
    case Align::kCentreTop:
      return DT_CENTER | DT_TOP;
    case Align::kRightTop:
      return DT_RIGHT | DT_TOP;
  }
  return DT_LEFT;
}

// The control's font: its own, else a label's is the window's.
std::optional<Font> FontOf(const ComponentLayout& item) {
  if (item.kind == Kind::kWindow) return std::nullopt;
  if (item.font) return item.font;
  if (item.kind == Kind::kLabel) return LayoutOf(Component::kForm1).font;
  return std::nullopt;
}

}  // namespace

Win32Window::Win32Window(HINSTANCE instance, Launcher& launcher, LanguageStore* languages)
    : instance_(instance), launcher_(launcher), core_(*this, languages) {
  LoadLibraryW(L"msftedit.dll");
  INITCOMMONCONTROLSEX controls{sizeof(controls),
                                ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES | ICC_TAB_CLASSES};
  InitCommonControlsEx(&controls);
  programIcon_ = LoadIconW(instance, MAKEINTRESOURCEW(1));

  WNDCLASSEXW window{};
  window.cbSize = sizeof(window);
  window.lpfnWndProc = WindowProc;
  window.hInstance = instance;
  window.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  window.hIcon = programIcon_;
  window.lpszClassName = kWindowClass;
  RegisterClassExW(&window);
  RegisterPaintedClasses(instance);

  const std::wstring title = WideFromCp1250(LayoutOf(Component::kForm1).caption);
  window_ = CreateWindowExW(WS_EX_LAYERED | WS_EX_APPWINDOW, kWindowClass, title.c_str(),
                            WS_POPUP | WS_MINIMIZEBOX | WS_SYSMENU | WS_CLIPCHILDREN, 0, 0,
                            kWindowSize, kWindowSize, nullptr, nullptr, instance, this);
  // Laid out for the screen it opens on (the primary one, where Show puts it).
  dpi_ = WindowDpi(window_);
  const int size = ScaleLength(kWindowSize, dpi_);
  SetWindowPos(window_, nullptr, 0, 0, size, size, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  // The colour key: fuchsia pixels are not drawn, the desktop shows there.
  SetLayeredWindowAttributes(window_, ToColorRef(kFuchsia), 0, LWA_COLORKEY);
  BuildControls();
  BuildMenus();
  core_.FormCreate();
}

Win32Window::~Win32Window() {
  if (window_) DestroyWindow(window_);
  for (HFONT font : fonts_) {
    if (font) DeleteObject(font);
  }
  if (glyph_) DeleteObject(glyph_);
  if (taskbarIcon_) DestroyIcon(taskbarIcon_);
  if (accessibility_) accessibility_->Release();
}

HWND Win32Window::Control(Component component) const {
  return controls_[static_cast<std::size_t>(component)];
}

void Win32Window::BuildControls() {
  controls_[static_cast<std::size_t>(Component::kForm1)] = window_;
  tooltips_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                              CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window_,
                              nullptr, instance_, nullptr);
  for (const ComponentLayout& item : WindowLayout()) {
    const HWND parent = Control(item.parent);
    const Rect r = ControlRect(item, dpi_);
    const HMENU id = reinterpret_cast<HMENU>(static_cast<INT_PTR>(ControlId(item.id)));
    DWORD style = WS_CHILD | (item.visible ? WS_VISIBLE : 0) | WS_CLIPSIBLINGS;
    const wchar_t* cls = nullptr;
    HFONT font = nullptr;
    if (const std::optional<Font> own = FontOf(item)) font = MakeFont(*own);
    Painted* painted = nullptr;
    switch (item.kind) {
      case Kind::kWindow:
      case Kind::kTimer:
      case Kind::kMenu:
      case Kind::kMenuItem:
        continue;
      case Kind::kPanel:
      case Kind::kShape:
        cls = kBoxClass;
        painted = new Painted{};
        if (item.fill) painted->fill = ToColorRef(*item.fill);
        if (item.kind == Kind::kPanel && !item.fill) painted->fill = GetSysColor(COLOR_BTNFACE);
        if (item.pen) painted->pen = ToColorRef(*item.pen);
        painted->raised = item.raisedBevel;
        painted->line = ScaleLength(1, dpi_);
        break;
      case Kind::kPicture:
        cls = kBoxClass;
        painted = new Painted{};
        painted->dragSurface = item.dragSurface;
        painted->clickable = !item.dragSurface;
        painted->keyboardStop = std::ranges::count(TabOrder(), item.id) > 0;
        if (item.picture) {
          painted->picture =
              LoadArt(*item.picture, dpi_, &painted->width, &painted->height, item.transparent);
          pictures_[static_cast<std::size_t>(item.id)] = item.picture;
        }
        break;
      case Kind::kLabel:
        cls = kLabelClass;
        painted = new Painted{};
        painted->font = font;
        painted->text = item.text ? ToColorRef(*item.text) : GetSysColor(COLOR_WINDOWTEXT);
        painted->format = LabelFormat(item.align);
        painted->dragSurface = item.dragSurface;
        break;
      case Kind::kList:
        cls = WC_COMBOBOXW;
        style |= CBS_DROPDOWNLIST | WS_TABSTOP | WS_VSCROLL;
        break;
      case Kind::kButton:
        cls = WC_BUTTONW;
        // A button with a glyph is drawn by the window: the glyph's alpha
        // and the greyed caption are beyond a plain push button.
        style |= (item.picture || item.id == Component::kBitBtn1 ? BS_OWNERDRAW : BS_PUSHBUTTON) |
                 WS_TABSTOP;
        break;
      case Kind::kBar:
        cls = PROGRESS_CLASSW;
        style |= PBS_SMOOTH;
        break;
      case Kind::kEdit:
        cls = MSFTEDIT_CLASS;
        style |= ES_MULTILINE | ES_AUTOHSCROLL | ES_WANTRETURN | WS_HSCROLL | WS_TABSTOP |
                 WS_BORDER;
        break;
    }
    const std::wstring caption = WideFromCp1250(item.caption);
    HWND control = CreateWindowExW(0, cls, caption.c_str(), style, r.left, r.top, r.width, r.height,
                                   parent, id, instance_, painted);
    // Later components lie in front of earlier ones (a new child window goes
    // behind its siblings).
    SetWindowPos(control, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    if (font) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    fonts_[static_cast<std::size_t>(item.id)] = font;
    controls_[static_cast<std::size_t>(item.id)] = control;
    if (item.kind == Kind::kButton && item.picture) SetPicture(item.id, *item.picture);
  }
  SendMessageW(Control(Component::kProgressBar1), PBM_SETRANGE32, 0, 100);
  SendMessageW(Control(Component::kRichEdit1), EM_SETEVENTMASK, 0, ENM_CHANGE);
}

HFONT Win32Window::MakeFont(const Font& font) const {
  // The layout's sizes are pixels at 96 dpi: the same point sizes at this
  // screen's density.
  return CreateFontW(-ScaleLength(font.pixels, dpi_), 0, 0, 0, font.bold ? FW_BOLD : FW_NORMAL,
                     FALSE, font.underline ? TRUE : FALSE, FALSE, EASTEUROPE_CHARSET,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, DEFAULT_PITCH,
                     font.face == Font::kSerif ? L"Times New Roman" : L"Arial");
}

void Win32Window::PlaceControl(const ComponentLayout& item) {
  const Rect r = ControlRect(item, dpi_);
  SetWindowPos(Control(item.id), nullptr, r.left, r.top, r.width, r.height,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32Window::LoadPicture(Component component) {
  const std::optional<Art>& picture = pictures_[static_cast<std::size_t>(component)];
  if (picture) SetPicture(component, *picture);
}

void Win32Window::ApplyDpi(int dpi) {
  dpi_ = dpi;
  for (const ComponentLayout& item : WindowLayout()) {
    const auto index = static_cast<std::size_t>(item.id);
    const HWND control = Control(item.id);
    if (!control || control == window_) continue;
    PlaceControl(item);
    Painted* painted = PaintedOf(control);
    if (painted) painted->line = ScaleLength(1, dpi_);
    if (const HFONT old = fonts_[index]) {
      fonts_[index] = MakeFont(*FontOf(item));
      if (painted && painted->font) painted->font = fonts_[index];
      SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(fonts_[index]), TRUE);
      DeleteObject(old);
    }
    LoadPicture(item.id);
    if (item.autoSize) FitToText(item.id);
  }
  RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void Win32Window::BuildMenus() {
  keyMenu_ = CreatePopupMenu();
  languageMenu_ = CreatePopupMenu();
  for (const ComponentLayout& item : WindowLayout()) {
    if (item.kind != Kind::kMenuItem) continue;
    HMENU menu = item.parent == Component::kPopupMenu1 ? keyMenu_ : languageMenu_;
    const std::wstring caption = WideFromCp1250(item.caption);
    AppendMenuW(menu, MF_STRING, static_cast<UINT_PTR>(ControlId(item.id)), caption.c_str());
  }
}

void Win32Window::Show(int showCommand) {
  RECT work, own;
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  GetWindowRect(window_, &own);
  SetWindowPos(window_, nullptr, (work.left + work.right - (own.right - own.left)) / 2,
               (work.top + work.bottom - (own.bottom - own.top)) / 2, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER);
  ShowWindow(window_, showCommand);
  UpdateWindow(window_);
  core_.FormShow();
}

int Win32Window::Run() {
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (KeyToCore(message) || MoveFocus(message) || IsDialogMessageW(window_, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return static_cast<int>(message.wParam);
}

bool Win32Window::KeyToCore(const MSG& message) {
  const bool down = message.message == WM_KEYDOWN || message.message == WM_SYSKEYDOWN;
  const bool up = message.message == WM_KEYUP || message.message == WM_SYSKEYUP;
  if (up && swallowedKeyUp_ == message.wParam) {
    // Else the release of the menu key would open the menu a second time.
    swallowedKeyUp_ = 0;
    return true;
  }
  if (!down || (message.lParam & (1 << 30)) != 0) return false;  // no repeats
  std::optional<WindowKey> key;
  if (message.wParam == VK_RETURN) key = WindowKey::kReturn;
  if (message.wParam == VK_SPACE) key = WindowKey::kSpace;
  if (message.wParam == VK_APPS || (message.wParam == VK_F10 && GetKeyState(VK_SHIFT) < 0)) {
    key = WindowKey::kContextMenu;
  }
  if (!key) return false;
  // The keyboard stop that has the focus, itself or in a part of it (the
  // list's edit, say); the panels around them are no stops.
  const HWND focus = GetFocus();
  for (Component stop : TabOrder()) {
    const HWND control = Control(stop);
    if (control != focus && !IsChild(control, focus)) continue;
    if (!core_.KeyDown(stop, *key)) return false;
    swallowedKeyUp_ = message.wParam;
    return true;
  }
  return false;
}

bool Win32Window::MoveFocus(const MSG& message) {
  if (message.message != WM_KEYDOWN || message.wParam != VK_TAB) return false;
  if (GetAncestor(message.hwnd, GA_ROOT) != window_) return false;
  const std::vector<Component>& order = TabOrder();
  const HWND focus = GetFocus();
  std::size_t at = order.size() - 1;
  for (std::size_t i = 0; i < order.size(); ++i) {
    const HWND control = Control(order[i]);
    if (control == focus || IsChild(control, focus)) at = i;
  }
  const bool back = GetKeyState(VK_SHIFT) < 0;
  for (std::size_t step = 1; step <= order.size(); ++step) {
    const std::size_t next = back ? (at + order.size() - step) % order.size()
                                  : (at + step) % order.size();
    const HWND control = Control(order[next]);
    if (IsWindowVisible(control) && IsWindowEnabled(control)) {
      SetFocus(control);
      break;
    }
  }
  return true;
}

LRESULT CALLBACK Win32Window::WindowProc(HWND hwnd, UINT message, WPARAM w, LPARAM l) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<CREATESTRUCTW*>(l);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<Win32Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self && self->window_ == hwnd) return self->Handle(message, w, l);
  return DefWindowProcW(hwnd, message, w, l);
}

LRESULT Win32Window::Handle(UINT message, WPARAM w, LPARAM l) {
  switch (message) {
    case WM_ERASEBKGND: {
      RECT r;
      GetClientRect(window_, &r);
      HBRUSH brush = CreateSolidBrush(ToColorRef(kFuchsia));
      FillRect(reinterpret_cast<HDC>(w), &r, brush);
      DeleteObject(brush);
      return 1;
    }
    case WM_DRAWITEM: {
      const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(l);
      if (item.hwndItem == Control(Component::kBitBtn1)) {
        DrawFolderButton(item);
        return TRUE;
      }
      return FALSE;
    }
    case kDragPress:
      core_.Image0MouseDown(GET_X_LPARAM(l), GET_Y_LPARAM(l));
      return 0;
    case kDragMove:
      core_.Image0MouseMove(GET_X_LPARAM(l), GET_Y_LPARAM(l), (w & MK_LBUTTON) != 0);
      return 0;
    case WM_COMMAND:
      OnCommand(LOWORD(w), HIWORD(w));
      return 0;
    case WM_CONTEXTMENU: {
      const HWND target = reinterpret_cast<HWND>(w);
      HMENU menu = target == Control(Component::kRichEdit1) ? keyMenu_
                   : target == Control(Component::kImage8)  ? languageMenu_
                                                            : nullptr;
      if (menu) {
        TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_TOPALIGN, GET_X_LPARAM(l), GET_Y_LPARAM(l), 0,
                       window_, nullptr);
      }
      return 0;
    }
    case WM_TIMER:
      if (w == kTimerId) core_.Timer1Timer();
      return 0;
    case WM_DPICHANGED: {
      // Moved to a monitor of another density: where and how large Windows
      // suggests, and everything laid out anew for it.
      const RECT& suggested = *reinterpret_cast<const RECT*>(l);
      SetWindowPos(window_, nullptr, suggested.left, suggested.top,
                   suggested.right - suggested.left, suggested.bottom - suggested.top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
      ApplyDpi(LOWORD(w));
      return 0;
    }
    case kPostedMessage: {
      std::vector<std::function<void()>> calls;
      {
        std::lock_guard lock(postMutex_);
        calls.swap(posted_);
      }
      for (auto& call : calls) call();
      return 0;
    }
    case WM_CLOSE:
      core_.FormClose();
      DestroyWindow(window_);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    case WM_NCDESTROY: {
      // The handle is gone: nothing may use it later, the destructor included.
      const HWND gone = window_;
      window_ = nullptr;
      return DefWindowProcW(gone, message, w, l);
    }
    default:
      break;
  }
  return DefWindowProcW(window_, message, w, l);
}

void Win32Window::DrawFolderButton(const DRAWITEMSTRUCT& item) {
  HDC dc = item.hDC;
  RECT r = item.rcItem;
  const bool pressed = (item.itemState & ODS_SELECTED) != 0;
  DrawFrameControl(dc, &r, DFC_BUTTON, DFCS_BUTTONPUSH | (pressed ? DFCS_PUSHED : 0));
  // The glyph and the caption side by side, centred together; a pressed
  // button moves them a pixel down and right.
  const std::wstring caption = WindowText(item.hwndItem);
  const int length = static_cast<int>(caption.size());
  HGDIOBJ oldFont = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(item.hwndItem, WM_GETFONT, 0, 0)));
  SIZE text{};
  GetTextExtentPoint32W(dc, caption.c_str(), length, &text);
  const int spacing = ScaleLength(4, dpi_);
  const int shift = pressed ? ScaleLength(1, dpi_) : 0;
  const int width = glyphSize_ + (glyph_ ? spacing : 0) + text.cx;
  int x = (r.left + r.right - width) / 2 + shift;
  if (glyph_) {
    HDC source = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(source, glyph_);
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    AlphaBlend(dc, x, (r.top + r.bottom - glyphSize_) / 2 + shift, glyphSize_, glyphSize_, source,
               0, 0, glyphSize_, glyphSize_, blend);
    SelectObject(source, old);
    DeleteDC(source);
    x += glyphSize_ + spacing;
  }
  SetBkMode(dc, TRANSPARENT);
  const bool grey = captionGreyed_ || (item.itemState & ODS_DISABLED) != 0;
  SetTextColor(dc, GetSysColor(grey ? COLOR_GRAYTEXT : COLOR_BTNTEXT));
  RECT line{x, r.top + shift, r.right, r.bottom + shift};
  DrawTextW(dc, caption.c_str(), length, &line, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  SelectObject(dc, oldFont);
  if (item.itemState & ODS_FOCUS) {
    RECT focus = r;
    InflateRect(&focus, -spacing, -spacing);
    DrawFocusRect(dc, &focus);
  }
}

void Win32Window::OnCommand(int id, int code) {
  const auto component = static_cast<Component>(id - kFirstControlId);
  switch (component) {
    case Component::kButton1:
      core_.Button1Click();
      break;
    case Component::kButton2:
      core_.Button2Click();
      break;
    case Component::kBitBtn1:
      core_.BitBtn1Click();
      break;
    case Component::kImage1:
      core_.Image1Click();
      break;
    case Component::kImage2:
      core_.Image2Click();
      break;
    case Component::kImage5:
      core_.Image5Click();
      break;
    case Component::kImage8:
      core_.Image8Click();
      break;
    case Component::kVloi1:
      core_.Vloi1Click();
      break;
    case Component::kVybravetko1:
      core_.Vybravetko1Click();
      break;
    case Component::kZmaza1:
      core_.Zmaza1Click();
      break;
    case Component::kCZ1:
    case Component::kDE1:
    case Component::kEN1:
    case Component::kSK1:
      core_.ZmenitJazyk(component);
      break;
    case Component::kRichEdit1:
      if (code == EN_CHANGE) core_.RichEdit1Change();
      break;
    case Component::kComboBox1:
      if (code == CBN_DROPDOWN) core_.ComboBox1DropDown();
      if (code == CBN_CLOSEUP) core_.ComboBox1CloseUp();
      break;
    default:
      break;
  }
}

// ---- the view

void Win32Window::SetText(Component component, const std::string& text) {
  const std::wstring wide = WideFromCp1250(text);
  const ComponentLayout& item = LayoutOf(component);
  if (item.kind == Kind::kMenuItem) {
    HMENU menu = item.parent == Component::kPopupMenu1 ? keyMenu_ : languageMenu_;
    ModifyMenuW(menu, static_cast<UINT>(ControlId(component)), MF_BYCOMMAND | MF_STRING,
                static_cast<UINT_PTR>(ControlId(component)), wide.c_str());
    return;
  }
  SetWindowTextW(Control(component), wide.c_str());
  if (item.autoSize) FitToText(component);
}

void Win32Window::FitToText(Component component) {
  // Sized to its text, as the layout asks.
  const HWND control = Control(component);
  const std::wstring text = WindowText(control);
  HDC dc = GetDC(control);
  const Painted* label = PaintedOf(control);
  HGDIOBJ old = SelectObject(dc, label ? label->font : GetStockObject(DEFAULT_GUI_FONT));
  SIZE size{};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
  SelectObject(dc, old);
  ReleaseDC(control, dc);
  // What it covered before shows again.
  RECT before;
  GetWindowRect(control, &before);
  MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&before), 2);
  SetWindowPos(control, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER);
  RedrawWindow(GetParent(control), &before, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
}

void Win32Window::SetHint(Component component, const std::string& hint) {
  const HWND control = Control(component);
  if (!control || !tooltips_) return;
  std::wstring text = WideFromCp1250(hint);
  TTTOOLINFOW tool{};
  tool.cbSize = sizeof(tool);
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = window_;
  tool.uId = reinterpret_cast<UINT_PTR>(control);
  tool.lpszText = text.data();
  bool& added = hinted_[static_cast<std::size_t>(component)];
  SendMessageW(tooltips_, added ? TTM_UPDATETIPTEXTW : TTM_ADDTOOLW, 0,
               reinterpret_cast<LPARAM>(&tool));
  added = true;
}

void Win32Window::SetEnabled(Component component, bool enabled) {
  EnableWindow(Control(component), enabled ? TRUE : FALSE);
}

void Win32Window::SetVisible(Component component, bool visible) {
  ShowWindow(Control(component), visible ? SW_SHOW : SW_HIDE);
}

void Win32Window::SetCaptionGreyed(Component component, bool greyed) {
  captionGreyed_ = greyed;
  InvalidateRect(Control(component), nullptr, TRUE);
}

void Win32Window::SetPicture(Component component, Art picture) {
  HWND control = Control(component);
  pictures_[static_cast<std::size_t>(component)] = picture;
  if (LayoutOf(component).kind == Kind::kButton) {
    if (glyph_) DeleteObject(glyph_);
    int height = 0;
    glyph_ = LoadArt(picture, dpi_, &glyphSize_, &height, true);
    InvalidateRect(control, nullptr, FALSE);
    return;
  }
  int width = 0, height = 0;
  HBITMAP bitmap = LoadArt(picture, dpi_, &width, &height, LayoutOf(component).transparent);
  SetPaintedPicture(control, bitmap, width, height);
}

void Win32Window::BringToFront(Component component) {
  SetWindowPos(Control(component), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  InvalidateRect(Control(component), nullptr, TRUE);
}

void Win32Window::SetListItems(const std::vector<std::string>& items) {
  HWND list = Control(Component::kComboBox1);
  SendMessageW(list, CB_RESETCONTENT, 0, 0);
  for (const std::string& line : items) {
    const std::wstring wide = WideFromCp1250(line);
    SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str()));
  }
  SendMessageW(list, CB_SETCURSEL, 0, 0);
}

void Win32Window::DropList(bool down) {
  SendMessageW(Control(Component::kComboBox1), CB_SHOWDROPDOWN, down ? TRUE : FALSE, 0);
}

void Win32Window::SetAccessibleText(Component component, const std::string& name,
                                    const std::string& description) {
  const HWND control = Control(component);
  if (!control) return;
  const std::wstring wideName = WideFromCp1250(name);
  const std::wstring wideDescription = WideFromCp1250(description);
  // A painted picture shows no text: its window text is its name.
  if (PaintedOf(control)) SetWindowTextW(control, wideName.c_str());
  // Both through Active Accessibility's annotation, which the system's
  // controls (the key field, the bar) take as well.
  if (!accessibility_ &&
      FAILED(CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER,
                              IID_IAccPropServices, reinterpret_cast<void**>(&accessibility_)))) {
    accessibility_ = nullptr;
    return;
  }
  accessibility_->SetHwndPropStr(control, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF,
                                 PROPID_ACC_NAME, wideName.c_str());
  accessibility_->SetHwndPropStr(control, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF,
                                 PROPID_ACC_DESCRIPTION, wideDescription.c_str());
}

void Win32Window::ShowMenu(Component menu, Component at) {
  const HMENU popup = menu == Component::kPopupMenu1   ? keyMenu_
                      : menu == Component::kPopupMenu2 ? languageMenu_
                                                       : nullptr;
  RECT r;
  if (!popup || !GetWindowRect(Control(at), &r)) return;
  // Below the control, as from a click there.
  TrackPopupMenu(popup, TPM_LEFTALIGN | TPM_TOPALIGN, r.left, r.bottom, 0, window_, nullptr);
}

void Win32Window::SetBar(int position, int maximum) {
  HWND bar = Control(Component::kProgressBar1);
  SendMessageW(bar, PBM_SETRANGE32, 0, maximum);
  SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

std::string Win32Window::KeyText() {
  const std::wstring text = WindowText(Control(Component::kRichEdit1));
  // The edit field ends its lines with CR (or CR LF): the core's with LF.
  std::wstring lines;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') continue;
    lines += text[i] == L'\r' ? L'\n' : text[i];
  }
  return Cp1250FromWide(lines);
}

void Win32Window::ClearKey() {
  SetWindowTextW(Control(Component::kRichEdit1), L"");
}

void Win32Window::PasteKey() {
  SendMessageW(Control(Component::kRichEdit1), WM_PASTE, 0, 0);
}

void Win32Window::SelectAllKey() {
  SendMessageW(Control(Component::kRichEdit1), EM_SETSEL, 0, -1);
}

void Win32Window::CaretToStart() {
  HWND edit = Control(Component::kRichEdit1);
  const LRESULT start = SendMessageW(edit, EM_LINEINDEX, 0, 0);
  SendMessageW(edit, EM_SETSEL, static_cast<WPARAM>(start), start);
  SendMessageW(edit, EM_SCROLLCARET, 0, 0);
}

void Win32Window::FocusKey() {
  SetFocus(Control(Component::kRichEdit1));
}

void Win32Window::SetTitle(const std::string& title) {
  SetWindowTextW(window_, WideFromCp1250(title).c_str());
}

void Win32Window::SetTaskbarIcon(std::optional<Art> icon) {
  HICON shown = icon ? ArtIcon(*icon, dpi_) : nullptr;
  const HICON use = shown ? shown : programIcon_;
  SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(use));
  SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(use));
  if (taskbarIcon_) DestroyIcon(taskbarIcon_);
  taskbarIcon_ = shown;
}

void Win32Window::MoveWindowBy(int dx, int dy) {
  RECT r;
  GetWindowRect(window_, &r);
  SetWindowPos(window_, nullptr, r.left + dx, r.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  SetWindowPos(window_, nullptr, r.left + dx, r.top + dy, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

void Win32Window::Minimise() {
  ShowWindow(window_, SW_MINIMIZE);
}

void Win32Window::RestoreAndActivate() {
  if (IsIconic(window_)) ShowWindow(window_, SW_RESTORE);
  SetForegroundWindow(window_);
}

void Win32Window::CloseWindow() {
  PostMessageW(window_, WM_CLOSE, 0, 0);
}

void Win32Window::StartTimer() {
  SetTimer(window_, kTimerId, kTimerIntervalMs, nullptr);
}

void Win32Window::StopTimer() {
  KillTimer(window_, kTimerId);
}

void Win32Window::Post(std::function<void()> call) {
  {
    std::lock_guard lock(postMutex_);
    posted_.push_back(std::move(call));
  }
  PostMessageW(window_, kPostedMessage, 0, 0);
}

void Win32Window::ApplyToolkitLanguage(const std::string&) {
  // MessageBoxW's buttons speak the system's language.
}

void Win32Window::ShowMessage(const std::string& title, const std::string& text) {
  MessageBoxW(window_, WideFromCp1250(text).c_str(), WideFromCp1250(title).c_str(), MB_OK);
}

void Win32Window::ShowError(const std::string& text) {
  MessageBoxW(window_, WideFromCp1250(text).c_str(), L"Error", MB_OK | MB_ICONERROR);
}

bool Win32Window::AskWarning(const std::string& text) {
  return MessageBoxW(window_, WideFromCp1250(text).c_str(), L"Warning",
                     MB_YESNO | MB_ICONWARNING) == IDYES;
}

void Win32Window::WithdrawQuestion() {
  // The message box is a dialog of this thread's, owned by the window: it
  // ends as its No button would end it.
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND box, LPARAM owner) -> BOOL {
        wchar_t cls[16] = L"";
        GetClassNameW(box, cls, 16);
        if (GetWindow(box, GW_OWNER) == reinterpret_cast<HWND>(owner) &&
            std::wstring(cls) == L"#32770") {
          PostMessageW(box, WM_COMMAND, IDNO, 0);
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(window_));
}

void Win32Window::OpenAddress(const std::string& url) {
  launcher_.OpenAddress(WideFromCp1250(url));
}

void Win32Window::OpenFolder(const std::string& path) {
  launcher_.OpenFolder(WideFromCp1250(path));
}

void Win32Window::OpenFile(const std::string& path) {
  launcher_.OpenFile(WideFromCp1250(path));
}

bool Win32Window::IsFolder(const std::string& path) {
  const DWORD a = GetFileAttributesW(WideFromCp1250(path).c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool Win32Window::IsFile(const std::string& path) {
  const DWORD a = GetFileAttributesW(WideFromCp1250(path).c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

}  // namespace kalvoran
