// Start-up on Windows: the window centred on the screen, and the message loop
// until it closes.
#include <objbase.h>
#include <windows.h>

#include "registry_language_store.h"
#include "shell_launcher.h"
#include "win32_window.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  // The pictures are decoded, and files opened, through COM.
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  int result = 0;
  {
    kalvoran::ShellLauncher launcher;
    kalvoran::RegistryLanguageStore languages;
    kalvoran::Win32Window window(instance, launcher, &languages);
    window.Show(showCommand);
    result = window.Run();
  }
  CoUninitialize();
  return result;
}
