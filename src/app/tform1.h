#pragma once
// The program's only window: a fixed 465 x 465 octagon without a frame, dragged
// by its picture, with the key field, the instruction list, the language flag,
// DOWNLOAD, CLOSE, the progress display and the open-folder button. Component
// and handler names follow the window's layout.
//
// The window also drives the download job: DOWNLOAD starts one worker, whose
// transfer events (on the worker's thread) hand the bar's position over to
// this thread, and the 500 ms job timer animates the job and completes it.
#include <QList>
#include <QWidget>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "job_window.h"
#include "progress_handoff.h"
#include "server_addresses.h"
#include "window_drag.h"

class QAction;
class QComboBox;
class QFrame;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTimer;

namespace kalvoran {

class Dialogs;
class ImageList;
class Launcher;
class Picture;
class QtTranslations;
class ShapeBox;
class TDownloadThread;

class TForm1 : public QWidget, public JobWindow {
  Q_OBJECT

 public:
  // The launcher and the dialogs must outlive the window.
  TForm1(Launcher& launcher, Dialogs& dialogs, QWidget* parent = nullptr);
  ~TForm1() override;

  // -- components, in the layout's order --
  QFrame* Panel4;
  Picture* Image0;
  QLabel* Label4;
  QLabel* Label1;
  QComboBox* ComboBox1;
  QFrame* Panel2;
  ShapeBox* Shape1;
  Picture* Image2;
  Picture* Image1;
  QFrame* Panel3;
  ShapeBox* Shape2;
  Picture* Image5;
  QLabel* Label2;
  QPlainTextEdit* RichEdit1;
  ShapeBox* Shape3;
  Picture* Image8;
  QPushButton* Button1;
  QPushButton* Button2;
  QLabel* Label6;
  QFrame* Panel1;
  QProgressBar* ProgressBar1;
  Picture* Image4;
  QPushButton* BitBtn1;
  QTimer* Timer1;
  QMenu* PopupMenu1;
  QAction* Vloi1;
  QAction* Vybravetko1;
  QAction* Zmaza1;
  QMenu* PopupMenu2;
  QAction* CZ1;
  QAction* DE1;
  QAction* EN1;
  QAction* SK1;
  std::unique_ptr<ImageList> ImageList1;  // 19 x 19: folder, grey folder
  std::unique_ptr<ImageList> ImageList2;  // 20 x 20: activity frames
  std::unique_ptr<ImageList> ImageList3;  // 15 x 15: task bar icons of a job
  std::unique_ptr<ImageList> ImageList4;  // 46 x 23: flags SK, CZ, EN, DE

  // -- window events --
  void FormCreate();
  void FormShow();

  // -- dragging; sender is the pressed drag surface, X and Y in its coordinates --
  void Image0MouseDown(QObject* sender, Qt::MouseButton button, int X, int Y);
  void Image0MouseMove(QObject* sender, Qt::MouseButtons buttons, int X, int Y);
  // The drag flag and origin (the picture's Tag and DragOrigin).
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
  // The look only: caption colour and glyph. The button stays clickable.
  void SetEnableBitBtn1(bool enabled);

  // -- minimise, homepage --
  void Image5Click();
  void Image8Click();

  // -- the download job, on this thread --
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

  // The key field's Tag: the file count N of the running job.
  int RichEdit1Tag() const { return richEdit1Tag_.load(); }
  // The worker of the latest job; nullptr before the first DOWNLOAD.
  TDownloadThread* CurrentWorker() const { return worker_.get(); }
  // The bar's hand-over from the worker, with its counts.
  const ProgressHandOff& Progress() const { return progress_; }
  // The hosts the next jobs talk to. The program keeps the fixed addresses;
  // tests point the window at a server of their own.
  void UseServers(ServerAddresses servers) { servers_ = std::move(servers); }

  // -- languages --
  void Preklad(std::uint8_t index);
  void ZmenitJazyk(QObject* sender);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildLayout();
  void BuildMenus();
  void ConnectHandlers();
  void ApplySkinShape();
  void CaretToStart();

  // Applies the latest bar position the worker handed over.
  void DeliverProgress();
  void HandOver(ProgressUpdate update);
  // The job timer's completion step for result r.
  void CompleteJob(int r);
  // Ends a running job before the program exits.
  void EndJobForExit();

  Launcher& launcher_;
  Dialogs& dialogs_;
  // Qt's own texts (the dialogs' buttons) follow the window's language.
  std::unique_ptr<QtTranslations> qtTranslations_;
  WindowDrag drag_;
  QList<QWidget*> dragSurfaces_;

  ServerAddresses servers_ = ServerAddresses::Fixed();
  std::atomic<int> richEdit1Tag_{0};
  // Line 1 of the key field, taken when DOWNLOAD was pressed.
  std::string keyLine_;
  ProgressHandOff progress_;
  // Destroyed before the window: the worker calls back into it.
  std::unique_ptr<TDownloadThread> worker_;
};

}  // namespace kalvoran
