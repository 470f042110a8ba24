// Start-up: the application, its title and icon, the window centred on the
// screen, and the message loop until the window closes.
#include <QApplication>
#include <QIcon>
#include <QScreen>

#include "app_constants.h"
#include "artwork.h"
#include "desktop_launcher.h"
#include "message_box_dialogs.h"
#include "settings_language_store.h"
#include "tform1.h"

int main(int argc, char** argv) {
  // The program takes no command line: Qt sees the program name only.
  (void)argc;
  int qtArgc = 1;
  char* qtArgv[] = {argv[0], nullptr};
  QApplication application(qtArgc, qtArgv);

  const QString title = QString::fromLatin1(kalvoran::kApplicationTitle);
  QApplication::setApplicationName(title);
  QGuiApplication::setDesktopFileName(QStringLiteral("kalvoran-downloader"));

  kalvoran::RegisterArtwork();
  QIcon icon;
  for (int size : {16, 32, 48, 64}) icon.addFile(kalvoran::IconPath(size), QSize(size, size));
  QApplication::setWindowIcon(icon);

  kalvoran::DesktopLauncher launcher;
  kalvoran::MessageBoxDialogs dialogs;
  kalvoran::SettingsLanguageStore languages;
  kalvoran::TForm1 form(launcher, dialogs, &languages);
  dialogs.SetOwner(&form);

  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    form.move(screen->geometry().center() - form.rect().center());
  }
  form.show();
  return QApplication::exec();
}
