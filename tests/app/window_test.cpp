// The main window: start-up state, layout, the key field, dragging, the list,
// the open-folder button, the homepage launch and closing.
#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

#include "download_thread.h"
#include "fakes.h"
#include "image_list.h"
#include "kalvoran_addresses.h"
#include "language_state.h"
#include "message_box_dialogs.h"
#include "picture.h"
#include "settings_language_store.h"
#include "tform1.h"

using kalvoran::TForm1;
using kalvoran::testing::RecordingDialogs;
using kalvoran::testing::RecordingLauncher;

namespace {

const QString kFolder = QStringLiteral("Kalvoran Downloader");

// Compared premultiplied: a glyph comes back from its pixmap in that format.
bool SameImage(const QImage& a, const QImage& b) {
  return a.convertToFormat(QImage::Format_ARGB32_Premultiplied) ==
         b.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

QImage Glyph(const QPushButton* button) {
  return button->icon().pixmap(QSize(19, 19)).toImage();
}

// Delivers a mouse event straight to a control, in its own coordinates.
void SendMouse(QWidget* target, QEvent::Type type, QPoint at, Qt::MouseButton button,
               Qt::MouseButtons held) {
  QMouseEvent event(type, QPointF(at), target->mapToGlobal(QPointF(at)), button, held,
                    Qt::NoModifier);
  QApplication::sendEvent(target, &event);
}

}  // namespace

class WindowTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    QVERIFY(workDir_.isValid());
    QVERIFY(QDir::setCurrent(workDir_.path()));
  }

  void init() {
    QDir().rmdir(kFolder);
    form_ = std::make_unique<TForm1>(launcher_, dialogs_);
  }

  void cleanup() {
    form_.reset();
    launcher_ = RecordingLauncher();
    dialogs_ = RecordingDialogs();
  }

  void layoutPlacesEveryControl_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    const auto row = [](const char* name, int left, int top, int width, int height) {
      QTest::newRow(name) << QString::fromLatin1(name) << QRect(left, top, width, height);
    };
    row("Panel4", 0, 0, 465, 465);
    row("Image0", 0, 0, 465, 465);
    row("Label4", 152, 52, 164, 18);
    row("Label1", 150, 109, 164, 18);
    row("ComboBox1", 103, 127, 260, 21);
    row("Panel2", 343, 130, 17, 15);
    row("Shape1", 0, 0, 17, 15);
    row("Image2", 0, 0, 17, 15);
    row("Image1", 0, 0, 17, 15);
    row("Panel3", 303, 15, 20, 9);
    row("Shape2", 0, 0, 20, 9);
    row("Image5", 0, 0, 20, 9);
    row("RichEdit1", 46, 240, 377, 46);
    row("Shape3", 209, 297, 48, 25);
    row("Image8", 210, 298, 46, 23);
    row("Button1", 139, 336, 85, 25);
    row("Button2", 241, 336, 85, 25);
    row("Label6", 72, 374, 40, 13);
    row("Panel1", 115, 372, 235, 17);
    row("ProgressBar1", 1, 1, 233, 15);
    row("Image4", 352, 370, 20, 20);
    row("BitBtn1", 144, 401, 177, 25);
  }

  void layoutPlacesEveryControl() {
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    const auto* control = form_->findChild<QWidget*>(name);
    QVERIFY2(control != nullptr, qPrintable(name));
    QCOMPARE(control->geometry(), geometry);
  }

  void startsGermanIdleAndFocusedOnTheKey() {
    QCOMPARE(form_->size(), QSize(465, 465));
    QVERIFY(form_->windowFlags().testFlag(Qt::FramelessWindowHint));
    QCOMPARE(form_->windowTitle(), QStringLiteral("Kalvoran Downloader"));
    // The octagon: the corners are cut away, the middle and the edge centres stay.
    QVERIFY(!form_->mask().isEmpty());
    QVERIFY(!form_->mask().contains(QPoint(2, 2)));
    QVERIFY(!form_->mask().contains(QPoint(462, 462)));
    QVERIFY(form_->mask().contains(QPoint(232, 232)));
    QVERIFY(form_->mask().contains(QPoint(232, 3)));

    QCOMPARE(form_->Label4->text(), QStringLiteral("DOWNLOADER"));
    QCOMPARE(form_->Label1->text(), QStringLiteral("v 2.0"));
    QCOMPARE(form_->Button1->text(), QStringLiteral("HERUNTERLAD"));
    QCOMPARE(form_->ComboBox1->count(), 14);
    QCOMPARE(form_->ComboBox1->currentIndex(), 0);
    QCOMPARE(form_->ComboBox1->currentText(), QStringLiteral("Verfahren:"));
    QVERIFY(SameImage(form_->Image8->PictureImage(), form_->ImageList4->Draw(3)));
    for (int other : {0, 1, 2}) {
      QVERIFY(!SameImage(form_->Image8->PictureImage(), form_->ImageList4->Draw(other)));
    }

    QVERIFY(!form_->Button1->isEnabled() && form_->Button2->isEnabled());
    QVERIFY(form_->Image4->isHidden());
    QCOMPARE(form_->ProgressBar1->value(), 0);
    QCOMPARE(form_->Timer1->interval(), 500);

    form_->show();
    QVERIFY(QTest::qWaitForWindowActive(form_.get()));
    QTRY_VERIFY(form_->RichEdit1->hasFocus());
  }

  void tabVisitsKeyFolderDownloadCloseListInTurn() {
    form_->show();
    QVERIFY(QTest::qWaitForWindowActive(form_.get()));
    QTRY_VERIFY(form_->RichEdit1->hasFocus());
    const auto tabOrder = [] {
      QList<QWidget*> visited;
      for (int i = 0; i < 7; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << QApplication::focusWidget();
      }
      return visited;
    };
    // DOWNLOAD is disabled while the key field is empty, and skipped.
    QCOMPARE(tabOrder(),
             (QList<QWidget*>{form_->BitBtn1, form_->Button2, form_->ComboBox1, form_->Image8,
                              form_->Image5, form_->RichEdit1, form_->BitBtn1}));
    form_->RichEdit1->setFocus();
    form_->RichEdit1->setPlainText(QStringLiteral("K"));
    QCOMPARE(tabOrder(),
             (QList<QWidget*>{form_->BitBtn1, form_->Button1, form_->Button2, form_->ComboBox1,
                              form_->Image8, form_->Image5, form_->RichEdit1}));
  }

  void openFolderLookShowsTheFolderAndItsClickOpensIt() {
    const QColor text = QApplication::palette().color(QPalette::Active, QPalette::WindowText);
    const QColor grey = QApplication::palette().color(QPalette::Disabled, QPalette::WindowText);
    const auto looksEnabled = [&](bool enabled) {
      return form_->BitBtn1->palette().color(QPalette::ButtonText) == (enabled ? text : grey) &&
             SameImage(Glyph(form_->BitBtn1), form_->ImageList1->Draw(enabled ? 0 : 1));
    };
    // Started without the folder: grey, but still clickable.
    QVERIFY(text != grey && looksEnabled(false));
    QVERIFY(QDir().mkdir(kFolder));
    form_->BitBtn1->click();
    QVERIFY(looksEnabled(true));
    QCOMPARE(launcher_.folders, QStringList{kFolder});
    QVERIFY(QDir().rmdir(kFolder));
  }

  void typedCharactersLandBeforeEarlierOnes() {
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
    QTest::keyClicks(form_->RichEdit1, QStringLiteral("xyz"));
    QCOMPARE(form_->RichEdit1->toPlainText(), QStringLiteral("zyx"));
    QCOMPARE(form_->RichEdit1->textCursor().position(), 0);
    QVERIFY(form_->Button1->isEnabled());
  }

  void pasteReplacesEverythingAndShowsTheStart() {
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
    form_->RichEdit1->setPlainText(QStringLiteral("old content"));

    const QString key = QString(600, QLatin1Char('Q')) + QStringLiteral("\nsecond line");
    QGuiApplication::clipboard()->setText(key);
    form_->Vloi1->trigger();
    QCOMPARE(form_->RichEdit1->toPlainText(), key);
    QCOMPARE(form_->RichEdit1->textCursor().position(), 0);
    QVERIFY(!form_->RichEdit1->textCursor().hasSelection());
    QVERIFY(form_->RichEdit1->horizontalScrollBar()->maximum() > 0);
    QCOMPARE(form_->RichEdit1->horizontalScrollBar()->value(), 0);
    QVERIFY(form_->Button1->isEnabled());

    // Scrolled to the end, a text set by the program scrolls back to the start.
    form_->RichEdit1->horizontalScrollBar()->setValue(
        form_->RichEdit1->horizontalScrollBar()->maximum());
    form_->RichEdit1->setPlainText(QString(500, QLatin1Char('Z')));
    QCOMPARE(form_->RichEdit1->horizontalScrollBar()->value(), 0);

    form_->Vybravetko1->trigger();
    QCOMPARE(form_->RichEdit1->textCursor().selectedText(), QString(500, QLatin1Char('Z')));

    // Nothing to paste: the field ends up empty.
    QGuiApplication::clipboard()->clear();
    form_->Vloi1->trigger();
    QVERIFY(form_->RichEdit1->toPlainText().isEmpty());
    QVERIFY(!form_->Button1->isEnabled());
  }

  void anyPressArmsAndOnlyALeftMoveDrags_data() {
    QTest::addColumn<QString>("surface");
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::newRow("picture, right") << QStringLiteral("Image0") << Qt::RightButton;
    QTest::newRow("picture, middle") << QStringLiteral("Image0") << Qt::MiddleButton;
    QTest::newRow("version label, left") << QStringLiteral("Label1") << Qt::LeftButton;
    QTest::newRow("key label, right") << QStringLiteral("Label2") << Qt::RightButton;
    QTest::newRow("title label, left") << QStringLiteral("Label4") << Qt::LeftButton;
    QTest::newRow("activity picture, left") << QStringLiteral("Image4") << Qt::LeftButton;
  }

  void anyPressArmsAndOnlyALeftMoveDrags() {
    QFETCH(QString, surface);
    QFETCH(Qt::MouseButton, button);
    auto* control = form_->findChild<QWidget*>(surface);
    QVERIFY(control != nullptr);
    form_->move(100, 80);

    // Any button arms; a move with the left button held moves the window.
    SendMouse(control, QEvent::MouseButtonPress, {10, 5}, button, button);
    SendMouse(control, QEvent::MouseButtonRelease, {10, 5}, button, Qt::NoButton);
    SendMouse(control, QEvent::MouseMove, {25, -2}, Qt::NoButton, Qt::LeftButton | Qt::RightButton);
    QCOMPARE(form_->pos(), QPoint(115, 73));
  }

  void pressesOffTheDragSurfacesNeverArm_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<bool>("arms");
    // The picture itself shows that the press goes through the window.
    QTest::newRow("picture") << QStringLiteral("Image0") << true;
    QTest::newRow("percentage") << QStringLiteral("Label6") << false;
    QTest::newRow("flag") << QStringLiteral("Image8") << false;
    QTest::newRow("flag frame") << QStringLiteral("Shape3") << false;
    QTest::newRow("open arrow") << QStringLiteral("Image1") << false;
    QTest::newRow("minimise") << QStringLiteral("Image5") << false;
    QTest::newRow("progress") << QStringLiteral("ProgressBar1") << false;
  }

  void pressesOffTheDragSurfacesNeverArm() {
    QFETCH(QString, control);
    QFETCH(bool, arms);
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
    auto* target = form_->findChild<QWidget*>(control);
    QVERIFY(target != nullptr);
    // A frame control is pressed on its outline, not at its centre.
    const QPoint at = control == QLatin1String("Shape3") ? QPoint(0, 12) : target->rect().center();
    QTest::mousePress(target, Qt::MiddleButton, Qt::NoModifier, at);
    QCOMPARE(form_->Core().Drag().Flag(), arms ? 1 : 0);
    QTest::mouseRelease(target, Qt::MiddleButton, Qt::NoModifier, at);
  }

  void theArrowsDropTheListAndSwap() {
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
    const auto arrowInFront = [this] { return form_->Panel2->childAt(8, 7); };
    QCOMPARE(arrowInFront(), form_->Image1);

    QTest::mouseClick(form_->Image1, Qt::LeftButton);
    QTRY_VERIFY(form_->ComboBox1->view()->isVisible());
    QCOMPARE(arrowInFront(), form_->Image2);
    QTest::mouseClick(form_->Image2, Qt::LeftButton);
    QTRY_VERIFY(!form_->ComboBox1->view()->isVisible());
    QCOMPARE(arrowInFront(), form_->Image1);
  }

  void flagOpensTheHomepageAndItsMenuTheLanguages() {
    form_->findChild<QAction*>(QStringLiteral("SK1"))->trigger();
    const QString host = QString::fromUtf8(kalvoran::addresses::kHomepageSk);
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
    QTest::mouseClick(form_->Image8, Qt::LeftButton);
    QCOMPARE(launcher_.addresses, QStringList{QStringLiteral("http://") + host});

    // A right click shows the language menu instead.
    QContextMenuEvent rightClick(QContextMenuEvent::Mouse, QPoint(5, 5),
                                 form_->Image8->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(form_->Image8, &rightClick);
    QTRY_VERIFY(form_->PopupMenu2->isVisible());
    form_->PopupMenu2->hide();
    QCOMPARE(launcher_.addresses.size(), 1);
  }

  // Return presses what has the focus; Shift+F10 opens the flag's menu;
  // Return in the key field is a new line.
  void keysActOnTheFocusedControl() {
    QDir().mkdir(kFolder);
    form_->show();
    QVERIFY(QTest::qWaitForWindowActive(form_.get()));
    const auto press = [](QWidget* widget, Qt::Key key, Qt::KeyboardModifiers modifiers = {}) {
      widget->setFocus(Qt::TabFocusReason);
      QTRY_VERIFY(widget->hasFocus());
      QTest::keyClick(widget, key, modifiers);
    };
    press(form_->RichEdit1, Qt::Key_Return);
    QCOMPARE(form_->RichEdit1->toPlainText(), QStringLiteral("\n"));
    press(form_->BitBtn1, Qt::Key_Return);
    QCOMPARE(launcher_.folders, QStringList{kFolder});
    press(form_->Image8, Qt::Key_Return);
    QCOMPARE(launcher_.addresses.size(), 1);
    press(form_->Image8, Qt::Key_F10, Qt::ShiftModifier);
    QTRY_VERIFY(form_->PopupMenu2->isVisible());
    form_->PopupMenu2->hide();
    press(form_->Image5, Qt::Key_Return);
    QTRY_VERIFY(form_->isMinimized());
    form_->showNormal();
    press(form_->Button2, Qt::Key_Return);
    QTRY_VERIFY(!form_->isVisible());
  }

  // What a screen reader says, in the window's language; the language chosen
  // comes back at the next start, from the user's settings.
  void namesFollowTheLanguageWhichIsKeptBetweenStarts() {
    QCOMPARE(form_->Image8->accessibleName(), QStringLiteral("Homepage und Sprache"));
    for (QWidget* named :
         {static_cast<QWidget*>(form_->RichEdit1), static_cast<QWidget*>(form_->Image5),
          static_cast<QWidget*>(form_->ProgressBar1)}) {
      QVERIFY(!named->accessibleName().isEmpty() && !named->accessibleDescription().isEmpty());
    }
    kalvoran::SettingsLanguageStore store;
    store.Save("");
    form_ = std::make_unique<TForm1>(launcher_, dialogs_, &store);
    form_->findChild<QAction*>(QStringLiteral("EN1"))->trigger();
    QCOMPARE(form_->ProgressBar1->accessibleName(), QStringLiteral("Download progress"));
    form_.reset();
    kalvoran::SettingsLanguageStore nextStart;
    form_ = std::make_unique<TForm1>(launcher_, dialogs_, &nextStart);
    QCOMPARE(form_->Button1->text(), QStringLiteral("DOWNLOAD"));
    form_.reset();
    store.Save("");
  }

  // A question withdrawn while it is open returns No.
  void aWithdrawnQuestionAnswersNo() {
    kalvoran::MessageBoxDialogs dialogs(form_.get());
    QTimer::singleShot(0, form_.get(), [&] { dialogs.WithdrawQuestion(); });
    QVERIFY(!dialogs.AskWarning(QStringLiteral("Stop?")));
  }

  void minimisePictureMinimises() {
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
    QTest::mouseClick(form_->Image5, Qt::LeftButton);
    QTRY_VERIFY(form_->isMinimized());
  }

 private:
  QTemporaryDir workDir_;
  RecordingLauncher launcher_;
  RecordingDialogs dialogs_;
  std::unique_ptr<TForm1> form_;
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
