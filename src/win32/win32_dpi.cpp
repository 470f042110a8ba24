#include "win32_dpi.h"

namespace kalvoran {

namespace {

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);

// Looked up at run time: the program also runs on Windows 7, which lacks it.
GetDpiForWindowFn FindGetDpiForWindow() {
  const HMODULE user32 = GetModuleHandleW(L"user32.dll");
  const FARPROC found = user32 ? GetProcAddress(user32, "GetDpiForWindow") : nullptr;
  // (Through void (*)(): the compiler takes that as a cast on purpose.)
  return reinterpret_cast<GetDpiForWindowFn>(reinterpret_cast<void (*)()>(found));
}

}  // namespace

int WindowDpi(HWND window) {
  static const GetDpiForWindowFn forWindow = FindGetDpiForWindow();
  if (forWindow) {
    const UINT dpi = forWindow(window);
    if (dpi > 0) return static_cast<int>(dpi);
  }
  HDC screen = GetDC(nullptr);
  const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 0;
  if (screen) ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : USER_DEFAULT_SCREEN_DPI;
}

}  // namespace kalvoran
