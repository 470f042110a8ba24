#pragma once
// The window's pictures, PNG files compiled in as resources, decoded with
// Windows' imaging component into 32-bit bitmaps.
#include <windows.h>

#include "window_view.h"

namespace kalvoran {

// The resource id of a picture (resources.rc uses the same numbers).
int ArtResource(Art picture);
// A new top-down 32-bit DIB section of the picture; nullptr when it cannot be
// decoded. The caller deletes it.
HBITMAP LoadArt(Art picture, int* width = nullptr, int* height = nullptr);

}  // namespace kalvoran
