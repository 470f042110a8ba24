#pragma once
// The pictures of the window, compiled in as Qt resources.
#include <QString>

namespace kalvoran {

// Registers the compiled-in pictures; harmless to call more than once.
void RegisterArtwork();

namespace art {
inline const QString kSkin = QStringLiteral(":/skin.png");
inline const QString kArrowOpen = QStringLiteral(":/arrow_open.png");
inline const QString kArrowClose = QStringLiteral(":/arrow_close.png");
inline const QString kMinimise = QStringLiteral(":/minimise.png");
inline const QString kFolder = QStringLiteral(":/folder.png");
inline const QString kFolderGrey = QStringLiteral(":/folder_grey.png");
inline const QString kFlagSk = QStringLiteral(":/flag_sk.png");
inline const QString kFlagCz = QStringLiteral(":/flag_cz.png");
inline const QString kFlagEn = QStringLiteral(":/flag_en.png");
inline const QString kFlagDe = QStringLiteral(":/flag_de.png");
inline QString Activity(int frame) {
  return QStringLiteral(":/activity_%1.png").arg(frame);
}
inline QString Tray(int frame) {
  return QStringLiteral(":/tray_%1.png").arg(frame);
}
inline QString Icon(int size) {
  return QStringLiteral(":/icon_%1.png").arg(size);
}
}  // namespace art

}  // namespace kalvoran
