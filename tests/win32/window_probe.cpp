// The window as the tests drive it under Wine: the program's own window, with
// the servers of the test and a launcher that writes down what it is handed
// instead of opening it.
//   kalvoran-window-probe.exe SERVER LAUNCHES [RECTANGLES [LAYOUT]]
// SERVER ("host:port") takes the place of every server; each launch appends
// "address|folder|file <target>" (UTF-8) as a line to the file LAUNCHES; the
// file RECTANGLES gets "<name> <left> <top> <width> <height>" of each shown
// control, in the window's coordinates, once the window shows; LAYOUT the
// same lines with the rectangles that the layout gives them (at 96 dpi).
#include <objbase.h>
#include <shellapi.h>
#include <windows.h>

#include <fstream>
#include <string>

#include "launcher.h"
#include "win32_text.h"
#include "win32_window.h"
#include "window_layout.h"

namespace {

std::string Utf8(const std::wstring& text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), size,
                      nullptr, nullptr);
  return out;
}

class RecordingLauncher final : public kalvoran::Launcher {
 public:
  explicit RecordingLauncher(std::wstring file) : file_(std::move(file)) {}
  void OpenAddress(const std::wstring& url) override { Write("address", url); }
  void OpenFolder(const std::wstring& path) override { Write("folder", path); }
  void OpenFile(const std::wstring& path) override { Write("file", path); }

 private:
  void Write(const char* what, const std::wstring& target) {
    std::ofstream(file_.c_str(), std::ios::app | std::ios::binary)
        << what << ' ' << Utf8(target) << '\n';
  }
  std::wstring file_;
};

void WriteRectangles(kalvoran::Win32Window& window, const std::wstring& file,
                     const wchar_t* layoutFile) {
  std::ofstream out(file.c_str(), std::ios::binary);
  std::ofstream layout;
  if (layoutFile) layout.open(layoutFile, std::ios::binary);
  for (const kalvoran::ComponentLayout& item : kalvoran::WindowLayout()) {
    const HWND control = window.Control(item.id);
    if (!control || control == window.Handle() || !IsWindowVisible(control)) continue;
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, window.Handle(), reinterpret_cast<POINT*>(&r), 2);
    out << kalvoran::ComponentName(item.id) << ' ' << r.left << ' ' << r.top << ' '
        << r.right - r.left << ' ' << r.bottom - r.top << '\n';
    kalvoran::Rect at = item.rect;  // within its parent: moved out to the window
    for (auto p = item.parent; p != kalvoran::Component::kForm1; p = kalvoran::LayoutOf(p).parent) {
      at.left += kalvoran::LayoutOf(p).rect.left;
      at.top += kalvoran::LayoutOf(p).rect.top;
    }
    if (layoutFile) {
      layout << kalvoran::ComponentName(item.id) << ' ' << at.left << ' ' << at.top << ' '
             << at.width << ' ' << at.height << '\n';
    }
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  int count = 0;
  wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  if (count < 3) return 2;
  const std::string server = kalvoran::Cp1250FromWide(arguments[1]);
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  int result = 0;
  {
    RecordingLauncher launcher(arguments[2]);
    kalvoran::Win32Window window(instance, launcher);
    window.Core().UseServers({{server, server, server}, server});
    window.Show(showCommand);
    if (count > 3) WriteRectangles(window, arguments[3], count > 4 ? arguments[4] : nullptr);
    result = window.Run();
  }
  CoUninitialize();
  LocalFree(arguments);
  return result;
}
