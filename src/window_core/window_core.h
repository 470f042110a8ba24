#pragma once
// The window's behaviour, free of any toolkit: what start-up, the drag, the
// key field, the instruction list, the flag, minimise, the open-folder button,
// a language switch, DOWNLOAD, CLOSE and the job timer do, and the download
// job's session with its worker. It drives a WindowView; the front-end calls
// the handlers below from its widgets' events, on the user-interface thread.
//
// The worker calls the JobWindow side on its own thread: the key line and
// the file count are plain values, the bar's position goes through a
// ProgressHandOff and WindowView::Post to the user-interface thread.
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "job_window.h"
#include "language_store.h"
#include "progress_handoff.h"
#include "server_addresses.h"
#include "window_drag.h"
#include "window_view.h"

namespace kalvoran {

class TDownloadThread;

// The keys a front-end hands to WindowCore::KeyDown; kContextMenu is the
// context-menu key or Shift+F10.
enum class WindowKey { kReturn, kSpace, kContextMenu };

class WindowCore : public JobWindow {
 public:
  // The view, and the store when there is one, must outlive the core.
  explicit WindowCore(WindowView& view, LanguageStore* languages = nullptr);
  ~WindowCore() override;
  WindowCore(const WindowCore&) = delete;
  WindowCore& operator=(const WindowCore&) = delete;

  // -- window events --
  void FormCreate();
  void FormShow();
  // The window is closing, by CLOSE or otherwise: ends a running job.
  void FormClose();

  // -- dragging, X and Y in the pressed drag surface's coordinates --
  void Image0MouseDown(int X, int Y);
  void Image0MouseMove(int X, int Y, bool leftButtonHeld);
  const WindowDrag& Drag() const { return drag_; }

  // -- instruction list --
  void Image1Click();
  void Image2Click();
  void ComboBox1DropDown();
  void ComboBox1CloseUp();

  // -- key field --
  void RichEdit1Change();
  void Vloi1Click();
  void Vybravetko1Click();
  void Zmaza1Click();

  // -- open-folder button --
  void BitBtn1Click();
  void SetEnableBitBtn1(bool enabled);

  // -- minimise, homepage --
  void Image5Click();
  void Image8Click();

  // -- the keyboard: a key pressed on the focused component; true when the
  // core acted on it, and the toolkit must not --
  bool KeyDown(Component focused, WindowKey key);

  // -- languages --
  void Preklad(std::uint8_t index);
  // A language menu item was chosen.
  void ZmenitJazyk(Component item);

  // -- the download job, on the user-interface thread --
  void Button1Click();  // DOWNLOAD
  void Button2Click();  // CLOSE
  void Timer1Timer();
  void RunAfterDownload();

  // -- the download job, on the worker's thread (see job_window.h) --
  std::string KeyLine() override;
  void StartJobTimer() override;
  void SetFileCount(int n) override;
  void ZaciatokStahovania(HttpClient& sender, TWorkMode mode, std::int64_t expected) override;
  void Stahovanie(HttpClient& sender, TWorkMode mode, std::int64_t countSoFar) override;
  void KoniecStahovania(HttpClient& sender, TWorkMode mode) override;
  std::string LangCode() override;

  // Image4's Tag: the activity animation's frame shown last; -1 before any.
  int ActivityFrame() const { return activityFrame_; }
  // The key field's Tag: the file count N of the running job.
  int RichEdit1Tag() const { return richEdit1Tag_.load(); }
  // The worker of the latest job; nullptr before the first DOWNLOAD.
  TDownloadThread* CurrentWorker() const { return worker_.get(); }
  // The bar's hand-over from the worker, with its counts.
  const ProgressHandOff& Progress() const { return progress_; }
  // The hosts the next jobs talk to. The program keeps the fixed addresses;
  // tests point the window at a server of their own.
  void UseServers(ServerAddresses servers) { servers_ = std::move(servers); }

 private:
  void SetDownloadEnabled(bool enabled);
  void SetBar(int position, int maximum);
  // Applies the latest bar position the worker handed over.
  void DeliverProgress();
  void HandOver(ProgressUpdate update);
  // The job timer's completion step for result r.
  void CompleteJob(int r);
  // Ends a running job before the program exits.
  void EndJobForExit();

  WindowView& view_;
  LanguageStore* languages_;
  WindowDrag drag_;
  bool downloadEnabled_ = false;  // Button1
  int barPosition_ = 0;
  int barMaximum_ = 100;
  int activityFrame_ = -1;  // Image4's Tag: the animation's last frame
  // CLOSE's question is open; the job's end withdrew it.
  bool asking_ = false;
  bool questionWithdrawn_ = false;

  ServerAddresses servers_ = ServerAddresses::Fixed();
  std::atomic<int> richEdit1Tag_{0};
  // Line 1 of the key field, taken when DOWNLOAD was pressed.
  std::string keyLine_;
  ProgressHandOff progress_;
  // Destroyed before the rest: the worker calls back into the core.
  std::unique_ptr<TDownloadThread> worker_;
};

}  // namespace kalvoran
