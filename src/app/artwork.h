#pragma once
// The pictures of the window, compiled in as Qt resources.
#include <QString>

#include "window_view.h"

namespace kalvoran {

// Registers the compiled-in pictures; harmless to call more than once.
void RegisterArtwork();

// The resource of a picture.
QString ArtPath(Art picture);

// The program's icon at one of its sizes (16, 32, 48, 64).
inline QString IconPath(int size) {
  return QStringLiteral(":/icon_%1.png").arg(size);
}

}  // namespace kalvoran
