// Start-up on Windows: the window centred on the screen, and the message loop
// until it closes.
#include <objbase.h>
#include <windows.h>

#include "win32_window.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  // The pictures are decoded through COM (Windows' imaging component).
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  int result = 0;
  {
    kalvoran::Win32Window window(instance);
    window.Show(showCommand);
    result = window.Run();
  }
  CoUninitialize();
  return result;
}
