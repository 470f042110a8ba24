#pragma once
// Stand-ins for the desktop: they record what the window hands over.
#include <QString>
#include <QStringList>

#include "dialogs.h"
#include "launcher.h"

namespace kalvoran::testing {

class RecordingLauncher final : public Launcher {
 public:
  void OpenAddress(const QString& url) override { addresses << url; }
  void OpenFolder(const QString& path) override { folders << path; }
  void OpenFile(const QString& path) override { files << path; }

  QStringList addresses;
  QStringList folders;
  QStringList files;
};

class RecordingDialogs final : public Dialogs {
 public:
  void ShowMessage(const QString&, const QString& text) override { shown << text; }
  void ShowError(const QString& text) override { shown << text; }
  bool AskWarning(const QString& text) override {
    shown << text;
    return answerYes;
  }

  QStringList shown;
  bool answerYes = false;
};

}  // namespace kalvoran::testing
