#pragma once
// The window's pictures, PNG files compiled in as resources, decoded with
// Windows' imaging component into 32-bit bitmaps.
#include <windows.h>

#include "window_view.h"

namespace kalvoran {

// The resource id of a picture (resources.rc uses the same numbers).
int ArtResource(Art picture);
// A new top-down 32-bit DIB section of the picture, its colours premultiplied
// by its alpha (as AlphaBlend takes them); nullptr when it cannot be decoded.
// With `keyTransparent` its fuchsia pixels become fully transparent. The
// caller deletes it.
HBITMAP LoadArt(Art picture, int* width = nullptr, int* height = nullptr,
                bool keyTransparent = false);
// The picture as an icon (the task bar's during a job); the caller destroys it.
HICON ArtIcon(Art picture);

}  // namespace kalvoran
