// The window's behaviour: start-up, dragging, the key field, the instruction
// list, the flag, minimise and the open-folder button. The download job's
// handlers are in tform1_job.cpp.
#include "tform1.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QWindow>

#include "app_constants.h"
#include "dialogs.h"
#include "download_thread.h"
#include "image_list.h"
#include "language_state.h"
#include "language_tables.h"
#include "launcher.h"
#include "picture.h"
#include "qt_text.h"
#include "qt_translations.h"
#include "shape_box.h"

namespace kalvoran {
namespace {

bool DownloadFolderExists() {
  return QFileInfo(QString::fromLatin1(kDownloadFolder)).isDir();
}

}  // namespace

TForm1::TForm1(Launcher& launcher, Dialogs& dialogs, QWidget* parent)
    : QWidget(parent),
      launcher_(launcher),
      dialogs_(dialogs),
      qtTranslations_(std::make_unique<QtTranslations>()) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QString::fromLatin1(kApplicationTitle));
  BuildLayout();
  BuildMenus();
  ConnectHandlers();
  FormCreate();
}

TForm1::~TForm1() {
  // The worker calls back into the window until its thread has ended.
  worker_.reset();
}

void TForm1::ConnectHandlers() {
  // The picture and the captions lying on it drag the window.
  dragSurfaces_ = {Image0, Label1, Label2, Label4, Image4};
  for (QWidget* surface : dragSurfaces_) {
    surface->setMouseTracking(true);
    surface->installEventFilter(this);
  }
  // The list may open by any means (arrow, click, keyboard): watch its popup.
  ComboBox1->view()->window()->installEventFilter(this);

  connect(Image1, &Picture::Clicked, this, &TForm1::Image1Click);
  connect(Image2, &Picture::Clicked, this, &TForm1::Image2Click);
  connect(Image5, &Picture::Clicked, this, &TForm1::Image5Click);
  connect(Image8, &Picture::Clicked, this, &TForm1::Image8Click);
  connect(Image8, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { PopupMenu2->popup(Image8->mapToGlobal(at)); });

  // Every change of the text, whoever makes it, goes through RichEdit1Change.
  connect(RichEdit1, &QPlainTextEdit::textChanged, this, &TForm1::RichEdit1Change);
  connect(RichEdit1, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { PopupMenu1->popup(RichEdit1->mapToGlobal(at)); });
  connect(Vloi1, &QAction::triggered, this, &TForm1::Vloi1Click);
  connect(Vybravetko1, &QAction::triggered, this, &TForm1::Vybravetko1Click);
  connect(Zmaza1, &QAction::triggered, this, &TForm1::Zmaza1Click);

  for (QAction* item : {CZ1, DE1, EN1, SK1}) {
    connect(item, &QAction::triggered, this, [this, item] { ZmenitJazyk(item); });
  }

  connect(BitBtn1, &QPushButton::clicked, this, &TForm1::BitBtn1Click);
  connect(Button1, &QPushButton::clicked, this, &TForm1::Button1Click);
  connect(Button2, &QPushButton::clicked, this, &TForm1::Button2Click);
  connect(Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);
}

void TForm1::FormCreate() {
  Button1->setEnabled(false);
  Label1->setText(QString::fromLatin1(kVersionLabel));
  SetEnableBitBtn1(DownloadFolderExists());
  Label6->setText(QString());
  Preklad(kGerman);
}

void TForm1::FormShow() {
  RichEdit1->setFocus(Qt::OtherFocusReason);
}

void TForm1::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // Being shown by the program, not restored by the window manager.
  if (!event->spontaneous()) FormShow();
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  if (auto* widget = qobject_cast<QWidget*>(watched); widget && dragSurfaces_.contains(widget)) {
    switch (event->type()) {
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonDblClick: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        const QPoint at = mouse->position().toPoint();
        Image0MouseDown(watched, mouse->button(), at.x(), at.y());
        break;
      }
      case QEvent::MouseMove: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        const QPoint at = mouse->position().toPoint();
        Image0MouseMove(watched, mouse->buttons(), at.x(), at.y());
        break;
      }
      default:
        break;
    }
    return false;
  }
  if (watched == ComboBox1->view()->window()) {
    if (event->type() == QEvent::Show) ComboBox1DropDown();
    if (event->type() == QEvent::Hide) ComboBox1CloseUp();
  }
  return false;
}

void TForm1::Image0MouseDown(QObject*, Qt::MouseButton, int X, int Y) {
  // Any button arms.
  drag_.Press({X, Y});
}

void TForm1::Image0MouseMove(QObject*, Qt::MouseButtons buttons, int X, int Y) {
  const auto shift = drag_.Move({X, Y}, buttons.testFlag(Qt::LeftButton));
  if (!shift) return;
  // A Wayland compositor alone places windows: it is handed the drag instead.
  if (QGuiApplication::platformName().startsWith(QLatin1String("wayland")) && windowHandle()) {
    windowHandle()->startSystemMove();
    return;
  }
  move(x() + shift->X, y());
  move(x(), y() + shift->Y);
}

void TForm1::Image1Click() {
  ComboBox1->showPopup();
}

void TForm1::Image2Click() {
  ComboBox1->hidePopup();
}

void TForm1::ComboBox1DropDown() {
  Image2->raise();
  drag_.Disarm();
}

void TForm1::ComboBox1CloseUp() {
  Image1->raise();
}

void TForm1::CaretToStart() {
  QTextCursor caret = RichEdit1->textCursor();
  caret.setPosition(0);
  RichEdit1->setTextCursor(caret);
  RichEdit1->ensureCursorVisible();
}

void TForm1::RichEdit1Change() {
  // Every change puts the caret back at the start, so the field always shows
  // the beginning of a long key; a character typed next lands before the
  // earlier ones.
  CaretToStart();
  Button1->setEnabled(!RichEdit1->toPlainText().isEmpty());
}

void TForm1::Vloi1Click() {
  // Paste replaces the whole content.
  RichEdit1->clear();
  RichEdit1->paste();
  CaretToStart();
}

void TForm1::Vybravetko1Click() {
  RichEdit1->selectAll();
}

void TForm1::Zmaza1Click() {
  RichEdit1->clear();
  CaretToStart();
}

void TForm1::SetEnableBitBtn1(bool enabled) {
  const QPalette system = QApplication::palette();
  const QColor caption = enabled ? system.color(QPalette::Active, QPalette::WindowText)
                                 : system.color(QPalette::Disabled, QPalette::WindowText);
  QPalette palette = BitBtn1->palette();
  for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    palette.setColor(group, QPalette::ButtonText, caption);
  }
  BitBtn1->setPalette(palette);
  BitBtn1->setIcon(QIcon(QPixmap::fromImage(ImageList1->Draw(enabled ? 0 : 1))));
  BitBtn1->update();
}

void TForm1::BitBtn1Click() {
  // The look follows the folder only when asked: here, at start and after a job.
  if (!DownloadFolderExists()) {
    SetEnableBitBtn1(false);
    return;
  }
  SetEnableBitBtn1(true);
  launcher_.OpenFolder(QString::fromLatin1(kDownloadFolder));
}

void TForm1::Image5Click() {
  showMinimized();
}

void TForm1::Image8Click() {
  launcher_.OpenAddress(FromCp1250(HomepageUrl()));
}

}  // namespace kalvoran
