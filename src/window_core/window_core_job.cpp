// The download job as the window runs it: DOWNLOAD, the progress display fed
// from the worker's thread, the job timer with its completion step, CLOSE and
// the launch after a successful job.
#include <chrono>
#include <cstdlib>
#include <future>
#include <thread>

#include "app_constants.h"
#include "cancel_flag.h"
#include "download_folder.h"
#include "download_thread.h"
#include "job_progress.h"
#include "language_state.h"
#include "proxy_rules.h"
#include "window_core.h"
#include "window_layout.h"

namespace kalvoran {
namespace {

// How long the program, closing in the middle of a job, waits for the worker.
constexpr std::chrono::seconds kExitWait{2};

}  // namespace

void WindowCore::Button1Click() {
  SetDownloadEnabled(false);
  view_.CaretToStart();
  view_.SetEnabled(Component::kRichEdit1, false);
  // Their pictures and texts stay those of the last job until the first tick.
  view_.SetVisible(Component::kImage4, true);
  view_.SetVisible(Component::kLabel6, true);

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
  const std::string key = view_.KeyText();
  keyLine_ = key.substr(0, key.find('\n'));
  worker_->Start();
}

void WindowCore::Timer1Timer() {
  if (!worker_ || worker_->Terminated()) {
    view_.StopTimer();
    return;
  }
  const int r = worker_->ReturnValue.load();
  if (r >= 0 && asking_) {
    // CLOSE's question is about a job that has just ended: it is withdrawn
    // as if answered No, and the end dialog follows at the next tick, alone.
    questionWithdrawn_ = true;
    view_.WithdrawQuestion();
    return;
  }
  if (r >= 0) {
    CompleteJob(r);
    return;
  }

  const auto frames = static_cast<int>(ImageList2().images.size());
  activityFrame_ = (activityFrame_ + 1) % frames;
  const auto frame = static_cast<std::size_t>(activityFrame_);
  view_.SetPicture(Component::kImage4, ImageList2().images[frame]);
  view_.SetTaskbarIcon(ImageList3().images[frame]);

  const std::string q = std::to_string(TitlePercent(barPosition_, barMaximum_));
  view_.SetTitle(q + "% " + kApplicationTitle);
  view_.SetText(Component::kLabel6, q + "%");
}

void WindowCore::CompleteJob(int r) {
  // Whatever the worker handed over last is of no use any more: the bar goes
  // back to 0 below and must stay there.
  progress_.Discard();
  if (r > 0) worker_->CloseTemporaryStream();
  // Through the worker: "tmp.tmp" may belong to a job of another window that
  // holds the folder, when this one found it taken.
  worker_->RemoveTemporaryFile();
  SetDownloadEnabled(true);
  view_.SetEnabled(Component::kRichEdit1, true);
  view_.StopTimer();
  view_.SetTaskbarIcon(std::nullopt);
  view_.SetTitle(kApplicationTitle);
  SetEnableBitBtn1(view_.IsFolder(kDownloadFolder));
  view_.RestoreAndActivate();

  switch (r) {
    case 0:
      view_.ShowMessage(kApplicationTitle, MsgSuccess());
      break;
    case 1:
      view_.ShowError(MsgBadKey());
      break;
    case 2: {
      // The cause on a line of its own, so that the user knows what to do.
      const std::string& cause = MsgFailureCause(worker_->Failure());
      view_.ShowError(cause.empty() ? MsgInterrupted() : MsgInterrupted() + "\n" + cause);
      break;
    }
    default:
      break;
  }

  view_.SetVisible(Component::kImage4, false);
  view_.SetVisible(Component::kLabel6, false);
  SetBar(0, barMaximum_);
  // The window may have been closed while the dialog was open.
  if (!worker_) return;
  if (r == 0) RunAfterDownload();
  worker_->Terminate();
}

void WindowCore::RunAfterDownload() {
  const std::string runFile = worker_ ? worker_->RunFile() : std::string();
  const std::string folder = kDownloadFolder;
  // Only a file the job saved in the folder is opened: a name that would
  // reach out of the folder ("..", a separator) opens the folder instead.
  if (!runFile.empty() && IsPlainFileName(runFile)) {
    const std::string file = folder + "/" + runFile;
    if (view_.IsFile(file)) {
      view_.OpenFile(file);
      return;
    }
  }
  view_.OpenFolder(folder);
}

void WindowCore::Button2Click() {
  const bool running = worker_ && !downloadEnabled_ && !worker_->Terminated();
  if (running) {
    asking_ = true;
    questionWithdrawn_ = false;
    const bool yes = view_.AskWarning(MsgConfirmClose());
    asking_ = false;
    if (!yes || questionWithdrawn_) return;
  }
  if (worker_) worker_->Terminate();
  CancelFlag = true;
  view_.CloseWindow();
}

void WindowCore::FormClose() {
  // CLOSE or the window manager: either way the program ends here.
  EndJobForExit();
}

void WindowCore::EndJobForExit() {
  view_.StopTimer();
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

std::string WindowCore::KeyLine() {
  return keyLine_;
}

void WindowCore::StartJobTimer() {
  view_.Post([this] {
    if (worker_ && !worker_->Terminated()) view_.StartTimer();
  });
}

void WindowCore::SetFileCount(int n) {
  richEdit1Tag_.store(n);
}

void WindowCore::HandOver(ProgressUpdate update) {
  if (progress_.Offer(update)) view_.Post([this] { DeliverProgress(); });
}

void WindowCore::DeliverProgress() {
  const std::optional<ProgressUpdate> update = progress_.Take();
  if (!update) return;
  // A body has begun: the bar counts in thousandths from now on.
  SetBar(update->position, kBarMaximum);
  if (update->setsLabel) {
    view_.SetText(Component::kLabel6, std::to_string(LabelPercent(update->position)) + "%");
  }
}

void WindowCore::ZaciatokStahovania(HttpClient& sender, TWorkMode, std::int64_t) {
  // A refused file: the request ends here and the bar stays as it is.
  if (RefuseErrorResponse(sender)) return;
  HandOver({0, false});
}

void WindowCore::Stahovanie(HttpClient& sender, TWorkMode, std::int64_t countSoFar) {
  const Stream* body = sender.Response().ContentStream;
  if (body == nullptr) return;
  // The stream's size is the announced length. A body read until the server
  // closes has only what was written so far, nothing at first: no position.
  const std::optional<int> position =
      BarPosition(countSoFar, body->Size(), richEdit1Tag_.load(), sender.Tag);
  if (position) HandOver({*position, true});
}

void WindowCore::KoniecStahovania(HttpClient&, TWorkMode) {}

}  // namespace kalvoran
