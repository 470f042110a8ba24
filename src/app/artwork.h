#pragma once
// The pictures of the window, compiled in as Qt resources.
#include <QImage>
#include <QString>

#include "window_view.h"

namespace kalvoran {

// Registers the compiled-in pictures; harmless to call more than once.
void RegisterArtwork();

// The resource of a picture.
QString ArtPath(Art picture);

// From this many device pixels per logical pixel on, the pictures drawn at
// twice their size are shown; below it the plain ones, so that a screen at
// 100 % shows exactly what it always did.
inline constexpr qreal kSharpRatio = 1.5;

// The twice-sized twin of a picture's resource: ":/skin.png" gives
// ":/skin@2x.png".
QString SharpPath(const QString& path);

// A picture for a screen of the given ratio: the plain one, or from
// kSharpRatio on its twin at device pixel ratio 2, which a painter scales
// to the screen's ratio. The plain one too when there is no twin.
QImage LoadArt(const QString& path, qreal ratio);

// The program's icon at one of its sizes (16, 32, 48, 64).
inline QString IconPath(int size) {
  return QStringLiteral(":/icon_%1.png").arg(size);
}

}  // namespace kalvoran
