// window_job HOST KEY: one whole download job in the window, as a user runs
// it: the key in the key field, DOWNLOAD, the job timer, the completion step.
// All three download servers and the statistics host are HOST. Prints one
// line: the result code, seconds from DOWNLOAD to the published result and to
// the end of the completion step, the progress deliveries queued and run, and
// the most that were ever waiting at once. Exit status 0 for a successful job.
#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <cstdio>
#include <string>

#include "dialogs.h"
#include "download_thread.h"
#include "launcher.h"
#include "tform1.h"

namespace {

class QuietLauncher final : public kalvoran::Launcher {
 public:
  void OpenAddress(const QString&) override {}
  void OpenFolder(const QString&) override {}
  void OpenFile(const QString&) override {}
};

// The completion step's dialog ends the run; nothing waits for a user.
class EndingDialogs final : public kalvoran::Dialogs {
 public:
  void ShowMessage(const QString&, const QString&) override { End(); }
  void ShowError(const QString&) override { End(); }
  bool AskWarning(const QString&) override { return false; }

 private:
  static void End() { QTimer::singleShot(0, qApp, &QCoreApplication::quit); }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("usage: window_job HOST KEY\n", stderr);
    return 2;
  }
  const std::string host = argv[1];
  const QString key = QString::fromLatin1(argv[2]);
  int qtArgc = 1;
  char* qtArgv[] = {argv[0], nullptr};
  QApplication application(qtArgc, qtArgv);

  QuietLauncher launcher;
  EndingDialogs dialogs;
  kalvoran::TForm1 form(launcher, dialogs);
  form.Core().UseServers({{host, host, host}, host});
  form.show();
  form.RichEdit1->setPlainText(key);

  QElapsedTimer clock;
  qint64 resultAt = -1;
  // Notes when the worker publishes its result; the job timer acts on it at
  // its next tick.
  QTimer watch;
  watch.setInterval(2);
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (resultAt < 0 && form.Core().CurrentWorker() != nullptr &&
        form.Core().CurrentWorker()->ReturnValue.load() >= 0) {
      resultAt = clock.nsecsElapsed();
    }
  });
  QTimer::singleShot(0, [&] {
    clock.start();
    watch.start();
    form.Button1->click();
  });
  QApplication::exec();
  const qint64 completedAt = clock.nsecsElapsed();

  const int result =
      form.Core().CurrentWorker() ? form.Core().CurrentWorker()->ReturnValue.load() : -1;
  const kalvoran::ProgressHandOff& progress = form.Core().Progress();
  std::printf(
      "result %d result_s %.3f completed_s %.3f posted %llu delivered %llu most_behind %llu\n",
      result, static_cast<double>(resultAt) / 1e9, static_cast<double>(completedAt) / 1e9,
      static_cast<unsigned long long>(progress.Posted()),
      static_cast<unsigned long long>(progress.Delivered()),
      static_cast<unsigned long long>(progress.MostBehind()));
  return result == 0 ? 0 : 1;
}
