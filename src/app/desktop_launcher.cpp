#include "desktop_launcher.h"

#include <QDesktopServices>
#include <QDir>
#include <QUrl>

namespace kalvoran {
namespace {

QUrl LocalUrl(const QString& path) {
  return QUrl::fromLocalFile(QDir::current().absoluteFilePath(path));
}

}  // namespace

void DesktopLauncher::OpenAddress(const QString& url) {
  // The homepage is "http://" and a host: nothing to guess about the scheme.
  (void)QDesktopServices::openUrl(QUrl(url));
}

// A folder URL opens in the file manager, a file URL in the program the desktop
// associates with the file.
void DesktopLauncher::OpenFolder(const QString& path) {
  (void)QDesktopServices::openUrl(LocalUrl(path));
}

void DesktopLauncher::OpenFile(const QString& path) {
  (void)QDesktopServices::openUrl(LocalUrl(path));
}

}  // namespace kalvoran
