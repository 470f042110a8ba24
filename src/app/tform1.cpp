// The Qt window as a view of the window core: widget events go to the
// core's handlers, and the core's requests become widget calls.
#include "tform1.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QWindow>

#include "dialogs.h"
#include "image_list.h"
#include "launcher.h"
#include "picture.h"
#include "qt_text.h"
#include "qt_translations.h"
#include "window_layout.h"

namespace kalvoran {

TForm1::TForm1(Launcher& launcher, Dialogs& dialogs, LanguageStore* languages, QWidget* parent)
    : QWidget(parent),
      launcher_(launcher),
      dialogs_(dialogs),
      qtTranslations_(std::make_unique<QtTranslations>()),
      core_(*this, languages) {
  setObjectName(QString::fromLatin1(ComponentName(Component::kForm1)));
  BuildLayout();
  BuildMenus();
  ConnectHandlers();
  core_.FormCreate();
}

TForm1::~TForm1() = default;

QWidget* TForm1::Widget(Component component) const {
  return qobject_cast<QWidget*>(components_[static_cast<std::size_t>(component)]);
}

std::optional<Component> TForm1::ComponentOf(const QObject* widget) const {
  for (std::size_t i = 0; i < components_.size(); ++i) {
    if (components_[i] == widget) return static_cast<Component>(i);
  }
  return std::nullopt;
}

QAction* TForm1::Action(Component component) const {
  return qobject_cast<QAction*>(components_[static_cast<std::size_t>(component)]);
}

void TForm1::ConnectHandlers() {
  // The picture and the captions lying on it drag the window.
  for (QWidget* surface : dragSurfaces_) {
    surface->setMouseTracking(true);
    surface->installEventFilter(this);
  }
  // The list may open by any means (arrow, click, keyboard): watch its popup.
  ComboBox1->view()->window()->installEventFilter(this);
  // Keys on the controls the keyboard reaches go to the core first.
  for (Component stop : TabOrder()) Widget(stop)->installEventFilter(this);

  connect(Image1, &Picture::Clicked, this, [this] { core_.Image1Click(); });
  connect(Image2, &Picture::Clicked, this, [this] { core_.Image2Click(); });
  connect(Image5, &Picture::Clicked, this, [this] { core_.Image5Click(); });
  connect(Image8, &Picture::Clicked, this, [this] { core_.Image8Click(); });
  connect(Image8, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { PopupMenu2->popup(Image8->mapToGlobal(at)); });

  // Every change of the text, whoever makes it, goes through RichEdit1Change.
  connect(RichEdit1, &QPlainTextEdit::textChanged, this, [this] { core_.RichEdit1Change(); });
  connect(RichEdit1, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { PopupMenu1->popup(RichEdit1->mapToGlobal(at)); });
  connect(Vloi1, &QAction::triggered, this, [this] { core_.Vloi1Click(); });
  connect(Vybravetko1, &QAction::triggered, this, [this] { core_.Vybravetko1Click(); });
  connect(Zmaza1, &QAction::triggered, this, [this] { core_.Zmaza1Click(); });
  for (Component item : {Component::kCZ1, Component::kDE1, Component::kEN1, Component::kSK1}) {
    connect(Action(item), &QAction::triggered, this, [this, item] { core_.ZmenitJazyk(item); });
  }

  connect(BitBtn1, &QPushButton::clicked, this, [this] { core_.BitBtn1Click(); });
  connect(Button1, &QPushButton::clicked, this, [this] { core_.Button1Click(); });
  connect(Button2, &QPushButton::clicked, this, [this] { core_.Button2Click(); });
  connect(Timer1, &QTimer::timeout, this, [this] { core_.Timer1Timer(); });
}

void TForm1::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // Being shown by the program, not restored by the window manager.
  if (!event->spontaneous()) core_.FormShow();
}

void TForm1::closeEvent(QCloseEvent* event) {
  core_.FormClose();
  QWidget::closeEvent(event);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    std::optional<WindowKey> windowKey;
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) windowKey = WindowKey::kReturn;
    if (key->key() == Qt::Key_Space) windowKey = WindowKey::kSpace;
    if (key->key() == Qt::Key_Menu ||
        (key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier)) {
      windowKey = WindowKey::kContextMenu;
    }
    const std::optional<Component> focused = ComponentOf(watched);
    if (windowKey && focused && !key->isAutoRepeat() && core_.KeyDown(*focused, *windowKey)) {
      return true;
    }
  }
  if (auto* widget = qobject_cast<QWidget*>(watched); widget && dragSurfaces_.contains(widget)) {
    switch (event->type()) {
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonDblClick: {
        const QPoint at = static_cast<QMouseEvent*>(event)->position().toPoint();
        core_.Image0MouseDown(at.x(), at.y());
        break;
      }
      case QEvent::MouseMove: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const QPoint at = mouse->position().toPoint();
        core_.Image0MouseMove(at.x(), at.y(), mouse->buttons().testFlag(Qt::LeftButton));
        break;
      }
      default:
        break;
    }
    return false;
  }
  if (watched == ComboBox1->view()->window()) {
    if (event->type() == QEvent::Show) core_.ComboBox1DropDown();
    if (event->type() == QEvent::Hide) core_.ComboBox1CloseUp();
  }
  return false;
}

// ---- the view

void TForm1::SetText(Component component, const std::string& text) {
  const QString value = FromCp1250(text);
  if (QAction* item = Action(component)) {
    item->setText(value);
  } else if (auto* label = qobject_cast<QLabel*>(Widget(component))) {
    label->setText(value);
    if (LayoutOf(component).autoSize) label->adjustSize();
  } else if (auto* button = qobject_cast<QPushButton*>(Widget(component))) {
    button->setText(value);
  }
}

void TForm1::SetHint(Component component, const std::string& hint) {
  if (QWidget* widget = Widget(component)) widget->setToolTip(FromCp1250(hint));
}

void TForm1::SetEnabled(Component component, bool enabled) {
  if (QWidget* widget = Widget(component)) widget->setEnabled(enabled);
}

void TForm1::SetVisible(Component component, bool visible) {
  if (QWidget* widget = Widget(component)) widget->setVisible(visible);
}

void TForm1::SetCaptionGreyed(Component component, bool greyed) {
  QWidget* widget = Widget(component);
  if (!widget) return;
  const QColor caption = QApplication::palette().color(
      greyed ? QPalette::Disabled : QPalette::Active, QPalette::WindowText);
  QPalette palette = widget->palette();
  for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    palette.setColor(group, QPalette::ButtonText, caption);
  }
  widget->setPalette(palette);
}

void TForm1::SetPicture(Component component, Art picture) {
  if (auto* image = qobject_cast<Picture*>(Widget(component))) {
    image->SetPicture(Draw(picture), Draw(picture, 2));
  } else if (auto* button = qobject_cast<QPushButton*>(Widget(component))) {
    button->setIcon(DrawIcon(picture));
    button->update();
  }
}

void TForm1::BringToFront(Component component) {
  if (QWidget* widget = Widget(component)) widget->raise();
}

void TForm1::SetListItems(const std::vector<std::string>& items) {
  ComboBox1->clear();
  for (const std::string& line : items) ComboBox1->addItem(FromCp1250(line));
  ComboBox1->setCurrentIndex(0);
}

void TForm1::DropList(bool down) {
  down ? ComboBox1->showPopup() : ComboBox1->hidePopup();
}

void TForm1::SetBar(int position, int maximum) {
  if (ProgressBar1->maximum() != maximum) ProgressBar1->setMaximum(maximum);
  ProgressBar1->setValue(position);
}

void TForm1::SetAccessibleText(Component component, const std::string& name,
                               const std::string& description) {
  if (QWidget* widget = Widget(component)) {
    widget->setAccessibleName(FromCp1250(name));
    widget->setAccessibleDescription(FromCp1250(description));
  }
}

void TForm1::ShowMenu(Component menu, Component at) {
  auto* popup = qobject_cast<QMenu*>(components_[static_cast<std::size_t>(menu)]);
  QWidget* widget = Widget(at);
  if (!popup || !widget) return;
  // Below the control (the key field: below its caret), as from a click there.
  QPoint where(0, widget->height());
  if (widget == RichEdit1) where = RichEdit1->cursorRect().bottomLeft();
  popup->popup(widget->mapToGlobal(where));
}

std::string TForm1::KeyText() {
  return ToCp1250(RichEdit1->toPlainText());
}

void TForm1::ClearKey() {
  RichEdit1->clear();
}

void TForm1::PasteKey() {
  RichEdit1->paste();
}

void TForm1::SelectAllKey() {
  RichEdit1->selectAll();
}

void TForm1::CaretToStart() {
  QTextCursor caret = RichEdit1->textCursor();
  caret.setPosition(0);
  RichEdit1->setTextCursor(caret);
  RichEdit1->ensureCursorVisible();
}

void TForm1::FocusKey() {
  RichEdit1->setFocus(Qt::OtherFocusReason);
}

void TForm1::SetTitle(const std::string& title) {
  setWindowTitle(FromCp1250(title));
}

void TForm1::SetTaskbarIcon(std::optional<Art> icon) {
  setWindowIcon(icon ? DrawIcon(*icon) : QApplication::windowIcon());
}

void TForm1::MoveWindowBy(int dx, int dy) {
  // A Wayland compositor alone places windows: it is handed the drag instead.
  if (QGuiApplication::platformName().startsWith(QLatin1String("wayland")) && windowHandle()) {
    windowHandle()->startSystemMove();
    return;
  }
  move(x() + dx, y());
  move(x(), y() + dy);
}

void TForm1::Minimise() {
  showMinimized();
}

void TForm1::RestoreAndActivate() {
  if (isMinimized()) showNormal();
  raise();
  activateWindow();
}

void TForm1::CloseWindow() {
  close();
}

void TForm1::StartTimer() {
  Timer1->start();
}

void TForm1::StopTimer() {
  Timer1->stop();
}

void TForm1::Post(std::function<void()> call) {
  QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
}

void TForm1::ApplyToolkitLanguage(const std::string& langCode) {
  qtTranslations_->Apply(langCode);
}

void TForm1::ShowMessage(const std::string& title, const std::string& text) {
  dialogs_.ShowMessage(FromCp1250(title), FromCp1250(text));
}

void TForm1::ShowError(const std::string& text) {
  dialogs_.ShowError(FromCp1250(text));
}

bool TForm1::AskWarning(const std::string& text) {
  return dialogs_.AskWarning(FromCp1250(text));
}

void TForm1::WithdrawQuestion() {
  dialogs_.WithdrawQuestion();
}

void TForm1::OpenAddress(const std::string& url) {
  launcher_.OpenAddress(FromCp1250(url));
}

void TForm1::OpenFolder(const std::string& path) {
  launcher_.OpenFolder(FromCp1250(path));
}

void TForm1::OpenFile(const std::string& path) {
  launcher_.OpenFile(FromCp1250(path));
}

bool TForm1::IsFolder(const std::string& path) {
  return QFileInfo(FromCp1250(path)).isDir();
}

bool TForm1::IsFile(const std::string& path) {
  return QFileInfo(FromCp1250(path)).isFile();
}

}  // namespace kalvoran
