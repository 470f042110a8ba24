#pragma once
// The program's only window: a fixed 465 x 465 octagon without a frame, dragged
// by its picture, with the key field, the instruction list, the language flag,
// DOWNLOAD, CLOSE, the progress display and the open-folder button. Component
// and handler names follow the window's layout.
#include <QList>
#include <QWidget>
#include <cstdint>
#include <memory>

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
class ShapeBox;

class TForm1 : public QWidget {
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

  // -- CLOSE --
  void Button2Click();

  // -- languages --
  void Preklad(std::uint8_t index);
  void ZmenitJazyk(QObject* sender);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void BuildLayout();
  void BuildMenus();
  void ConnectHandlers();
  void ApplySkinShape();
  void CaretToStart();

  Launcher& launcher_;
  Dialogs& dialogs_;
  WindowDrag drag_;
  QList<QWidget*> dragSurfaces_;
};

}  // namespace kalvoran
