// The download job as the window runs it: DOWNLOAD, the progress display fed
// from the worker's thread, the job timer with its completion step, CLOSE and
// the launch after a successful job.
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QLabel>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <chrono>
#include <cstdlib>
#include <future>
#include <thread>

#include "app_constants.h"
#include "cancel_flag.h"
#include "dialogs.h"
#include "download_folder.h"
#include "download_thread.h"
#include "image_list.h"
#include "job_progress.h"
#include "language_state.h"
#include "launcher.h"
#include "picture.h"
#include "qt_text.h"
#include "tform1.h"

namespace kalvoran {
namespace {

// How long the program, closing in the middle of a job, waits for the worker.
constexpr std::chrono::seconds kExitWait{2};

QString FolderPath() {
  return QString::fromLatin1(kDownloadFolder);
}

}  // namespace

void TForm1::Button1Click() {
  Button1->setEnabled(false);
  CaretToStart();
  RichEdit1->setEnabled(false);
  // Their pictures and texts stay those of the last job until the first tick.
  Image4->show();
  Label6->show();

  progress_.Discard();
  DownloadJobOptions options;
  options.Servers = servers_;
  // Read at every job, so that a proxy set meanwhile counts.
  options.Proxies = SystemProxyRules();
  auto worker = std::make_unique<TDownloadThread>(*this, std::move(options));
  // The previous worker ended long ago; replacing it joins its thread.
  worker_ = std::move(worker);
  // The key field stays disabled until the job is over, so this is the key
  // the worker asks for once it runs.
  keyLine_ = ToCp1250(RichEdit1->toPlainText().section(u'\n', 0, 0));
  worker_->Start();
}

void TForm1::Timer1Timer() {
  if (!worker_ || worker_->Terminated()) {
    Timer1->stop();
    return;
  }
  const int r = worker_->ReturnValue.load();
  if (r >= 0) {
    CompleteJob(r);
    return;
  }

  const int frame = (Image4->Tag + 1) % ImageList2->Count();
  Image4->Tag = frame;
  Image4->SetPicture(ImageList2->Draw(frame));
  setWindowIcon(QIcon(QPixmap::fromImage(ImageList3->Draw(frame))));

  const int q = TitlePercent(ProgressBar1->value(), ProgressBar1->maximum());
  setWindowTitle(QString::number(q) + QStringLiteral("% ") +
                 QString::fromLatin1(kApplicationTitle));
  Label6->setText(QString::number(q) + u'%');
}

void TForm1::CompleteJob(int r) {
  // Whatever the worker handed over last is of no use any more: the bar goes
  // back to 0 below and must stay there.
  progress_.Discard();
  if (r > 0) worker_->CloseTemporaryStream();
  // Through the worker: "tmp.tmp" may belong to a job of another window that
  // holds the folder, when this one found it taken.
  worker_->RemoveTemporaryFile();
  Button1->setEnabled(true);
  RichEdit1->setEnabled(true);
  Timer1->stop();
  setWindowIcon(QApplication::windowIcon());
  setWindowTitle(QString::fromLatin1(kApplicationTitle));
  SetEnableBitBtn1(QFileInfo(FolderPath()).isDir());
  if (isMinimized()) showNormal();
  raise();
  activateWindow();

  switch (r) {
    case 0:
      dialogs_.ShowMessage(windowTitle(), FromCp1250(MsgSuccess()));
      break;
    case 1:
      dialogs_.ShowError(FromCp1250(MsgBadKey()));
      break;
    case 2:
      dialogs_.ShowError(FromCp1250(MsgInterrupted()));
      break;
    default:
      break;
  }

  Image4->hide();
  Label6->hide();
  ProgressBar1->setValue(0);
  RichEdit1->update();
  update();
  // The window may have been closed while the dialog was open.
  if (!worker_) return;
  if (r == 0) RunAfterDownload();
  worker_->Terminate();
}

void TForm1::RunAfterDownload() {
  const std::string runFile = worker_ ? worker_->RunFile() : std::string();
  // Only a file the job saved in the folder is opened: a name that would
  // reach out of the folder ("..", a separator) opens the folder instead.
  if (!runFile.empty() && IsPlainFileName(runFile)) {
    const QString file = FolderPath() + u'/' + FromCp1250(runFile);
    if (QFileInfo(file).isFile()) {
      launcher_.OpenFile(file);
      return;
    }
  }
  launcher_.OpenFolder(FolderPath());
}

void TForm1::Button2Click() {
  const bool running = worker_ && !Button1->isEnabled() && !worker_->Terminated();
  if (running && !dialogs_.AskWarning(FromCp1250(MsgConfirmClose()))) return;
  if (worker_) worker_->Terminate();
  CancelFlag = true;
  close();
}

void TForm1::closeEvent(QCloseEvent* event) {
  // CLOSE or the window manager: either way the program ends here.
  EndJobForExit();
  QWidget::closeEvent(event);
}

void TForm1::EndJobForExit() {
  Timer1->stop();
  if (!worker_) return;
  worker_->Terminate();
  CancelFlag = true;
  if (!worker_->Finished()) {
    // Destroying the worker disconnects the request it waits in and joins its
    // thread, which is quick. A host name being looked up or a connection
    // being opened cannot be cut short, though, so the wait has a limit:
    // past it the process ends at once, with no thread left to outlive it.
    std::promise<void> ended;
    std::future<void> endedFuture = ended.get_future();
    std::thread reaper([worker = std::move(worker_), &ended]() mutable {
      worker.reset();
      ended.set_value();
    });
    // The worker's end hook deletes its "tmp.tmp" while it holds the folder;
    // the window itself deletes nothing, as the file may be another job's.
    // One cut off here stays until the next job that holds the folder.
    if (endedFuture.wait_for(kExitWait) != std::future_status::ready) std::_Exit(EXIT_SUCCESS);
    reaper.join();
  }
}

std::string TForm1::KeyLine() {
  return keyLine_;
}

void TForm1::StartJobTimer() {
  QMetaObject::invokeMethod(
      this,
      [this] {
        if (worker_ && !worker_->Terminated()) Timer1->start();
      },
      Qt::QueuedConnection);
}

void TForm1::SetFileCount(int n) {
  richEdit1Tag_.store(n);
}

void TForm1::HandOver(ProgressUpdate update) {
  if (progress_.Offer(update)) {
    QMetaObject::invokeMethod(
        this, [this] { DeliverProgress(); }, Qt::QueuedConnection);
  }
}

void TForm1::DeliverProgress() {
  const std::optional<ProgressUpdate> update = progress_.Take();
  if (!update) return;
  // A body has begun: the bar counts in thousandths from now on.
  if (ProgressBar1->maximum() != kBarMaximum) ProgressBar1->setMaximum(kBarMaximum);
  ProgressBar1->setValue(update->position);
  if (update->setsLabel) Label6->setText(QString::number(LabelPercent(update->position)) + u'%');
}

void TForm1::ZaciatokStahovania(HttpClient& sender, TWorkMode, std::int64_t) {
  // A refused file: the request ends here and the bar stays as it is.
  if (RefuseErrorResponse(sender)) return;
  HandOver({0, false});
}

void TForm1::Stahovanie(HttpClient& sender, TWorkMode, std::int64_t countSoFar) {
  const Stream* body = sender.Response().ContentStream;
  if (body == nullptr) return;
  // The stream's size is the announced length. A body read until the server
  // closes has only what was written so far, nothing at first: no position.
  const std::optional<int> position =
      BarPosition(countSoFar, body->Size(), richEdit1Tag_.load(), sender.Tag);
  if (position) HandOver({*position, true});
}

void TForm1::KoniecStahovania(HttpClient&, TWorkMode) {}

std::string TForm1::LangCode() {
  return ::kalvoran::LangCode();
}

}  // namespace kalvoran
