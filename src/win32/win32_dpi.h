#pragma once
// The density, in dots per inch, of the screen a window is on.
#include <windows.h>

namespace kalvoran {

// The window's monitor's where Windows knows densities per monitor (10 1607
// on); before that the system's, which is the only one Windows 7 has.
int WindowDpi(HWND window);

}  // namespace kalvoran
