#pragma once
// The window's pictures, PNG files compiled in as resources, decoded with
// Windows' imaging component into 32-bit bitmaps. Each picture exists drawn
// for 96 and for 192 dpi; a screen of another density gets the closer one,
// scaled smoothly.
#include <windows.h>

#include "window_view.h"

namespace kalvoran {

// The resource id of a picture drawn for `artDpi` (96 or 192; resources.rc
// uses the same numbers).
int ArtResource(Art picture, int artDpi);
// A new top-down 32-bit DIB section of the picture at `dpi`, its colours
// premultiplied by its alpha (as AlphaBlend takes them); nullptr when it
// cannot be decoded. With `keyTransparent` its fuchsia pixels become fully
// transparent; without, they stay exact fuchsia at any scale, since the
// window's shape is cut along them. The caller deletes it.
HBITMAP LoadArt(Art picture, int dpi, int* width = nullptr, int* height = nullptr,
                bool keyTransparent = false);
// The picture as an icon at `dpi` (the task bar's during a job); the caller
// destroys it.
HICON ArtIcon(Art picture, int dpi);

}  // namespace kalvoran
