#pragma once
// The program's only window in Qt: a fixed 465 x 465 octagon without a frame,
// built from the window core's layout, whose widgets hand their events to the
// core and which does what the core asks of a view. Widgets carry their
// component names as object names.
#include <QIcon>
#include <QList>
#include <QWidget>
#include <array>
#include <memory>
#include <optional>
#include <string>

#include "window_core.h"
#include "window_view.h"

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

class TForm1 : public QWidget, public WindowView {
  Q_OBJECT

 public:
  // The launcher, the dialogs and the language store (if any) must outlive
  // the window.
  TForm1(Launcher& launcher, Dialogs& dialogs, LanguageStore* languages = nullptr,
         QWidget* parent = nullptr);
  ~TForm1() override;

  // The window's behaviour and its job session.
  WindowCore& Core() { return core_; }

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
  ShapeBox* Shape3;
  Picture* Image8;
  QPushButton* Button1;
  QPushButton* Button2;
  QLabel* Label6;
  QFrame* Panel1;
  QProgressBar* ProgressBar1;
  Picture* Image4;
  QPushButton* BitBtn1;
  QPlainTextEdit* RichEdit1;
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

  // -- the view --
  void SetText(Component component, const std::string& text) override;
  void SetHint(Component component, const std::string& hint) override;
  void SetEnabled(Component component, bool enabled) override;
  void SetVisible(Component component, bool visible) override;
  void SetCaptionGreyed(Component component, bool greyed) override;
  void SetPicture(Component component, Art picture) override;
  void BringToFront(Component component) override;
  void SetListItems(const std::vector<std::string>& items) override;
  void DropList(bool down) override;
  void SetBar(int position, int maximum) override;
  void SetAccessibleText(Component component, const std::string& name,
                         const std::string& description) override;
  void ShowMenu(Component menu, Component at) override;
  std::string KeyText() override;
  void ClearKey() override;
  void PasteKey() override;
  void SelectAllKey() override;
  void CaretToStart() override;
  void FocusKey() override;
  void SetTitle(const std::string& title) override;
  void SetTaskbarIcon(std::optional<Art> icon) override;
  void MoveWindowBy(int dx, int dy) override;
  void Minimise() override;
  void RestoreAndActivate() override;
  void CloseWindow() override;
  void StartTimer() override;
  void StopTimer() override;
  void Post(std::function<void()> call) override;
  void ApplyToolkitLanguage(const std::string& langCode) override;
  void ShowMessage(const std::string& title, const std::string& text) override;
  void ShowError(const std::string& text) override;
  bool AskWarning(const std::string& text) override;
  void WithdrawQuestion() override;
  void OpenAddress(const std::string& url) override;
  void OpenFolder(const std::string& path) override;
  void OpenFile(const std::string& path) override;
  bool IsFolder(const std::string& path) override;
  bool IsFile(const std::string& path) override;

  // A picture as the image lists draw it: at the list's size, for a screen of
  // the given ratio (see LoadArt).
  QImage Draw(Art picture, qreal ratio = 1) const;
  // The picture as an icon, with its twin for dense screens.
  QIcon DrawIcon(Art picture) const;

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
  QWidget* Widget(Component component) const;
  // The component of a widget of the window, if it is one.
  std::optional<Component> ComponentOf(const QObject* widget) const;
  QAction* Action(Component component) const;

  Launcher& launcher_;
  Dialogs& dialogs_;
  // Qt's own texts (the dialogs' buttons) follow the window's language.
  std::unique_ptr<QtTranslations> qtTranslations_;
  QList<QWidget*> dragSurfaces_;
  // Every component's widget or menu item, by component.
  std::array<QObject*, static_cast<std::size_t>(Component::kSK1) + 1> components_{};
  // Destroyed before the widgets: its worker calls back into the view.
  WindowCore core_;
};

}  // namespace kalvoran
