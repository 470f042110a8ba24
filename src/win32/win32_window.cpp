#include "win32_window.h"

#include <commctrl.h>
#include <richedit.h>
#include <shellapi.h>
#include <windowsx.h>

#include <algorithm>

#include "app_constants.h"
#include "win32_pictures.h"
#include "win32_text.h"
#include "window_layout.h"

namespace kalvoran {

namespace {

constexpr wchar_t kWindowClass[] = L"KalvoranDownloader";
constexpr wchar_t kBoxClass[] = L"KalvoranBox";
constexpr wchar_t kPictureClass[] = L"KalvoranPicture";
constexpr UINT kPostedMessage = WM_APP + 1;
// From a drag surface: a press (any button) and a move, at a point in its
// own coordinates (LPARAM), with the buttons held (WPARAM).
constexpr UINT kDragPress = WM_APP + 2;
constexpr UINT kDragMove = WM_APP + 3;
constexpr UINT_PTR kTimerId = 1;
constexpr int kFirstControlId = 1000;

COLORREF ToColorRef(Colour c) {
  return RGB(c.r, c.g, c.b);
}

int ControlId(Component component) {
  return kFirstControlId + static_cast<int>(component);
}

// What a panel, shape or picture control draws; kept in its user data.
struct Box {
  std::optional<COLORREF> fill;
  std::optional<COLORREF> pen;
  bool raised = false;
  HBITMAP picture = nullptr;
  int width = 0;
  int height = 0;
  bool transparent = false;
  bool dragSurface = false;
};

Box* BoxOf(HWND hwnd) {
  return reinterpret_cast<Box*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

LRESULT CALLBACK BoxProc(HWND hwnd, UINT message, WPARAM w, LPARAM l) {
  Box* box = BoxOf(hwnd);
  switch (message) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CONTEXTMENU:
      // The controls on a panel report to the window, as if they were its own.
      return SendMessageW(GetAncestor(hwnd, GA_ROOT), message, w, l);
    case WM_NCDESTROY:
      if (box && box->picture) DeleteObject(box->picture);
      delete box;
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      break;
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(hwnd, &paint);
      RECT r;
      GetClientRect(hwnd, &r);
      if (box && box->fill) {
        HBRUSH brush = CreateSolidBrush(*box->fill);
        FillRect(dc, &r, brush);
        DeleteObject(brush);
      }
      if (box && box->pen) {
        HBRUSH brush = CreateSolidBrush(*box->pen);
        FrameRect(dc, &r, brush);
        DeleteObject(brush);
      }
      if (box && box->raised) DrawEdge(dc, &r, BDR_RAISEDOUTER, BF_RECT);
      if (box && box->picture) {
        // Centred and unscaled; a transparent picture leaves its fuchsia
        // pixels undrawn.
        HDC source = CreateCompatibleDC(dc);
        HGDIOBJ old = SelectObject(source, box->picture);
        const int left = (r.right - box->width) / 2;
        const int top = (r.bottom - box->height) / 2;
        if (box->transparent) {
          TransparentBlt(dc, left, top, box->width, box->height, source, 0, 0, box->width,
                         box->height, RGB(255, 0, 255));
        } else {
          BitBlt(dc, left, top, box->width, box->height, source, 0, 0, SRCCOPY);
        }
        SelectObject(source, old);
        DeleteDC(source);
      }
      EndPaint(hwnd, &paint);
      return 0;
    }
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
      if (box && box->dragSurface) {
        SetCapture(hwnd);
        SendMessageW(GetAncestor(hwnd, GA_ROOT), kDragPress, w, l);
      }
      return 0;
    case WM_MOUSEMOVE:
      if (box && box->dragSurface) SendMessageW(GetAncestor(hwnd, GA_ROOT), kDragMove, w, l);
      return 0;
    case WM_LBUTTONUP:
      if (GetCapture() == hwnd) ReleaseCapture();
      // A picture's click goes to the window as a command of its id.
      SendMessageW(GetAncestor(hwnd, GA_ROOT), WM_COMMAND,
                   MAKEWPARAM(GetDlgCtrlID(hwnd), BN_CLICKED), reinterpret_cast<LPARAM>(hwnd));
      return 0;
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
      if (GetCapture() == hwnd) ReleaseCapture();
      return 0;
    default:
      break;
  }
  return DefWindowProcW(hwnd, message, w, l);
}

HFONT MakeFont(const Font& font) {
  return CreateFontW(-font.pixels, 0, 0, 0, font.bold ? FW_BOLD : FW_NORMAL, FALSE,
                     font.underline ? TRUE : FALSE, FALSE, EASTEUROPE_CHARSET, OUT_DEFAULT_PRECIS,
                     CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY, DEFAULT_PITCH,
                     font.face == Font::kSerif ? L"Times New Roman" : L"Arial");
}

}  // namespace

Win32Window::Win32Window(HINSTANCE instance) : instance_(instance) {
  LoadLibraryW(L"msftedit.dll");
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);

  WNDCLASSEXW window{};
  window.cbSize = sizeof(window);
  window.lpfnWndProc = WindowProc;
  window.hInstance = instance;
  window.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  window.lpszClassName = kWindowClass;
  RegisterClassExW(&window);
  WNDCLASSEXW box = window;
  box.lpfnWndProc = BoxProc;
  box.lpszClassName = kBoxClass;
  RegisterClassExW(&box);
  box.lpszClassName = kPictureClass;
  RegisterClassExW(&box);

  const std::wstring title = WideFromCp1250(LayoutOf(Component::kForm1).caption);
  window_ = CreateWindowExW(WS_EX_LAYERED | WS_EX_APPWINDOW, kWindowClass, title.c_str(),
                            WS_POPUP | WS_MINIMIZEBOX | WS_SYSMENU | WS_CLIPCHILDREN, 0, 0,
                            kWindowSize, kWindowSize, nullptr, nullptr, instance, this);
  // The colour key: fuchsia pixels are not drawn, the desktop shows there.
  SetLayeredWindowAttributes(window_, ToColorRef(kFuchsia), 0, LWA_COLORKEY);
  BuildControls();
  core_.FormCreate();
}

Win32Window::~Win32Window() {
  for (HFONT font : fonts_) DeleteObject(font);
  if (skinBrush_) DeleteObject(skinBrush_);
  if (taskbarIcon_) DestroyIcon(taskbarIcon_);
}

HWND Win32Window::Control(Component component) const {
  return controls_[static_cast<std::size_t>(component)];
}

void Win32Window::BuildControls() {
  controls_[static_cast<std::size_t>(Component::kForm1)] = window_;
  for (const ComponentLayout& item : WindowLayout()) {
    const HWND parent = Control(item.parent);
    const Rect& r = item.rect;
    const HMENU id = reinterpret_cast<HMENU>(static_cast<INT_PTR>(ControlId(item.id)));
    DWORD style = WS_CHILD | (item.visible ? WS_VISIBLE : 0) | WS_CLIPSIBLINGS;
    const wchar_t* cls = nullptr;
    Box* box = nullptr;
    switch (item.kind) {
      case Kind::kWindow:
      case Kind::kTimer:
      case Kind::kMenu:
      case Kind::kMenuItem:
        continue;
      case Kind::kPanel:
      case Kind::kShape:
        cls = kBoxClass;
        box = new Box{};
        if (item.fill) box->fill = ToColorRef(*item.fill);
        if (item.kind == Kind::kPanel && !item.fill) box->fill = GetSysColor(COLOR_BTNFACE);
        if (item.pen) box->pen = ToColorRef(*item.pen);
        box->raised = item.raisedBevel;
        break;
      case Kind::kPicture:
        cls = kPictureClass;
        box = new Box{};
        box->transparent = item.transparent;
        box->dragSurface = item.dragSurface;
        if (item.picture) box->picture = LoadArt(*item.picture, &box->width, &box->height);
        break;
      case Kind::kLabel:
        cls = L"STATIC";
        style |= item.align == Align::kCentreTop  ? SS_CENTER
                 : item.align == Align::kRightTop ? SS_RIGHT
                                                  : SS_LEFT;
        break;
      case Kind::kList:
        cls = L"COMBOBOX";
        style |= CBS_DROPDOWNLIST | WS_TABSTOP | WS_VSCROLL;
        break;
      case Kind::kButton:
        cls = L"BUTTON";
        style |= BS_PUSHBUTTON | WS_TABSTOP;
        break;
      case Kind::kBar:
        cls = PROGRESS_CLASSW;
        style |= PBS_SMOOTH;
        break;
      case Kind::kEdit:
        cls = MSFTEDIT_CLASS;
        style |= ES_MULTILINE | ES_AUTOHSCROLL | WS_HSCROLL | WS_TABSTOP | WS_BORDER;
        break;
    }
    // A list's height includes its drop-down part.
    const int height = item.kind == Kind::kList ? r.height + 13 * kListVisibleItems : r.height;
    const std::wstring caption = WideFromCp1250(item.caption);
    HWND control = CreateWindowExW(0, cls, caption.c_str(), style, r.left, r.top, r.width, height,
                                   parent, id, instance_, nullptr);
    if (box) SetWindowLongPtrW(control, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(box));
    // Later components lie in front of earlier ones (a new child window goes
    // behind its siblings).
    SetWindowPos(control, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    if (item.font) {
      fonts_.push_back(MakeFont(*item.font));
      SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(fonts_.back()), FALSE);
    }
    controls_[static_cast<std::size_t>(item.id)] = control;
  }
  SendMessageW(Control(Component::kProgressBar1), PBM_SETRANGE32, 0, 100);
  SendMessageW(Control(Component::kRichEdit1), EM_SETEVENTMASK, 0, ENM_CHANGE);

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
  RECT work;
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  SetWindowPos(window_, nullptr, (work.left + work.right - kWindowSize) / 2,
               (work.top + work.bottom - kWindowSize) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  ShowWindow(window_, showCommand);
  UpdateWindow(window_);
  core_.FormShow();
}

int Win32Window::Run() {
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (IsDialogMessageW(window_, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return static_cast<int>(message.wParam);
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
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC: {
      // Labels lie on the skin: transparent, in their layout's text colour.
      HDC dc = reinterpret_cast<HDC>(w);
      const int id = GetDlgCtrlID(reinterpret_cast<HWND>(l)) - kFirstControlId;
      const ComponentLayout& item = LayoutOf(static_cast<Component>(id));
      SetBkMode(dc, TRANSPARENT);
      COLORREF colour = item.text ? ToColorRef(*item.text) : GetSysColor(COLOR_WINDOWTEXT);
      // Push buttons take no text colour from here: the open-folder
      // button's grey caption needs it drawn by the window (still to do).
      if (item.id == Component::kBitBtn1 && captionGreyed_) colour = GetSysColor(COLOR_GRAYTEXT);
      SetTextColor(dc, colour);
      // Their background is the skin below them.
      if (!skinBrush_) {
        HBITMAP skin = LoadArt(Art::kSkin);
        skinBrush_ = CreatePatternBrush(skin);
        DeleteObject(skin);
      }
      POINT origin{0, 0};
      MapWindowPoints(reinterpret_cast<HWND>(l), Control(Component::kImage0), &origin, 1);
      SetBrushOrgEx(dc, -origin.x, -origin.y, nullptr);
      return reinterpret_cast<LRESULT>(skinBrush_);
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
    default:
      break;
  }
  return DefWindowProcW(window_, message, w, l);
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
  HWND control = Control(component);
  SetWindowTextW(control, wide.c_str());
  if (item.autoSize) {
    // Sized to its text, as the layout asks.
    HDC dc = GetDC(control);
    HGDIOBJ old =
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
    SIZE size{};
    GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    SetWindowPos(control, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER);
  }
}

void Win32Window::SetHint(Component, const std::string&) {
  // Tool tips follow with the tool tip control.
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
  if (LayoutOf(component).kind == Kind::kButton) {
    HBITMAP glyph = LoadArt(picture);
    HBITMAP old = reinterpret_cast<HBITMAP>(
        SendMessageW(control, BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(glyph)));
    if (old) DeleteObject(old);
    return;
  }
  Box* box = BoxOf(control);
  if (!box) return;
  if (box->picture) DeleteObject(box->picture);
  box->picture = LoadArt(picture, &box->width, &box->height);
  InvalidateRect(control, nullptr, TRUE);
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

void Win32Window::SetBar(int position, int maximum) {
  HWND bar = Control(Component::kProgressBar1);
  SendMessageW(bar, PBM_SETRANGE32, 0, maximum);
  SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

std::string Win32Window::KeyText() {
  HWND edit = Control(Component::kRichEdit1);
  const int length = GetWindowTextLengthW(edit);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  GetWindowTextW(edit, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(length));
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

void Win32Window::SetTaskbarIcon(std::optional<Art>) {
  // The job's task bar icons follow with the icon resources.
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

void Win32Window::OpenAddress(const std::string& url) {
  ShellExecuteW(window_, L"open", WideFromCp1250(url).c_str(), L"", L"", SW_SHOWNORMAL);
}

void Win32Window::OpenFolder(const std::string& path) {
  ShellExecuteW(window_, L"open", L"explorer", WideFromCp1250(path).c_str(), nullptr,
                SW_SHOWNORMAL);
}

void Win32Window::OpenFile(const std::string& path) {
  ShellExecuteW(window_, L"open", WideFromCp1250(path).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
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
