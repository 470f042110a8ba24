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
  void ShowMessage(const QString& title, const QString& text) override {
    shown << text;
    kinds << QStringLiteral("message: ") + title;
  }
  void ShowError(const QString& text) override {
    shown << text;
    kinds << QStringLiteral("error");
  }
  bool AskWarning(const QString& text) override {
    shown << text;
    kinds << QStringLiteral("warning");
    return answerYes;
  }
  void WithdrawQuestion() override { kinds << QStringLiteral("withdrawn"); }

  QStringList shown;  // the texts, in order
  QStringList kinds;  // "message: <title>", "error" or "warning", in order
  bool answerYes = false;
};

}  // namespace kalvoran::testing
