#include "artwork.h"

#include <QtGlobal>

#ifdef KALVORAN_HAVE_ARTWORK
// The resources live in a static library: nothing else references them, so
// they are registered by hand (outside any namespace, as the macro requires).
static void RegisterKalvoranResources() {
  Q_INIT_RESOURCE(kalvoran);
}
#endif

namespace kalvoran {

void RegisterArtwork() {
#ifdef KALVORAN_HAVE_ARTWORK
  static const bool registered = (RegisterKalvoranResources(), true);
  (void)registered;
#endif
}

QString ArtPath(Art picture) {
  switch (picture) {
    case Art::kSkin:
      return QStringLiteral(":/skin.png");
    case Art::kArrowOpen:
      return QStringLiteral(":/arrow_open.png");
    case Art::kArrowClose:
      return QStringLiteral(":/arrow_close.png");
    case Art::kMinimise:
      return QStringLiteral(":/minimise.png");
    case Art::kFolder:
      return QStringLiteral(":/folder.png");
    case Art::kFolderGrey:
      return QStringLiteral(":/folder_grey.png");
    case Art::kFlagSk:
      return QStringLiteral(":/flag_sk.png");
    case Art::kFlagCz:
      return QStringLiteral(":/flag_cz.png");
    case Art::kFlagEn:
      return QStringLiteral(":/flag_en.png");
    case Art::kFlagDe:
      return QStringLiteral(":/flag_de.png");
    case Art::kActivity0:
    case Art::kActivity1:
    case Art::kActivity2:
    case Art::kActivity3:
      return QStringLiteral(":/activity_%1.png")
          .arg(static_cast<int>(picture) - static_cast<int>(Art::kActivity0));
    case Art::kTray0:
    case Art::kTray1:
    case Art::kTray2:
    case Art::kTray3:
      return QStringLiteral(":/tray_%1.png")
          .arg(static_cast<int>(picture) - static_cast<int>(Art::kTray0));
  }
  return {};
}

QString SharpPath(const QString& path) {
  const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
  return dot < 0 ? path + QStringLiteral("@2x")
                 : path.left(dot) + QStringLiteral("@2x") + path.mid(dot);
}

QImage LoadArt(const QString& path, qreal ratio) {
  if (ratio >= kSharpRatio) {
    QImage sharp(SharpPath(path));
    if (!sharp.isNull()) {
      sharp.setDevicePixelRatio(2);
      return sharp;
    }
  }
  return QImage(path);
}

}  // namespace kalvoran
