// The download job in the window: the bar's arithmetic, the hand-over from the
// worker's thread, and whole jobs from DOWNLOAD to the dialog, the launch and
// CLOSE, against a scripted server and against the reference scripts.
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QIcon>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>
#include <string>

#include "download_folder.h"
#include "download_thread.h"
#include "fakes.h"
#include "image_list.h"
#include "job_test_support.h"
#include "language_state.h"
#include "language_tables.h"
#include "picture.h"
#include "qt_text.h"
#include "scripted_server.h"
#include "tform1.h"

using kalvoran::FromCp1250;
using kalvoran::ServerAddresses;
using kalvoran::TForm1;
using kalvoran::test::Script;
using kalvoran::test::ScriptedServer;
using kalvoran::testing::RecordingDialogs;
using kalvoran::testing::RecordingLauncher;
using namespace std::chrono_literals;

namespace {

const QString kFolder = QStringLiteral("Kalvoran Downloader");
const QString kTemp = QStringLiteral("Kalvoran Downloader/tmp.tmp");
const QString kTitle = QStringLiteral("Kalvoran Downloader");
constexpr int kJobLimitMs = 20000;

QString Message(std::uint8_t language, std::string kalvoran::LanguageTable::*text) {
  return FromCp1250(kalvoran::FindLanguage(language)->*text);
}

std::string Head(std::size_t length) {
  return "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Type: application/octet-stream\r\n"
         "Content-Length: " +
         std::to_string(length) + "\r\n\r\n";
}

Script Serve(const std::string& body) {
  return Script().ReadHead().Send(Head(body.size()) + body).Close();
}

Script SavedStatistics() {
  return Script()
      .ReadHead()
      .Send("HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 6\r\n\r\n Saved")
      .Close();
}

// File 1 of one file, held before its answer until the test releases it.
Script HeldBeforeTheBody(const std::string& body) {
  return Script().ReadHead().Signal().WaitForRelease().Send(Head(body.size()) + body).Close();
}

ServerAddresses AllAt(const std::string& host) {
  return {{host, host, host}, host};
}

std::string Host(const ScriptedServer& server) {
  return "127.0.0.1:" + std::to_string(server.Port());
}

QStringList FolderEntries() {
  return QDir(kFolder).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
}

bool SameImage(const QImage& a, const QImage& b) {
  return a.convertToFormat(QImage::Format_ARGB32_Premultiplied) ==
         b.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

}  // namespace

class JobTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    QVERIFY(workDir_.isValid());
    QVERIFY(QDir::setCurrent(workDir_.path()));
  }

  void init() {
    QDir(kFolder).removeRecursively();
    form_ = std::make_unique<TForm1>(launcher_, dialogs_);
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
    // After the window's own handler: the frame each running tick showed.
    frames_.clear();
    connect(form_->Timer1, &QTimer::timeout, form_.get(), [this] {
      if (!form_->Image4->isHidden()) frames_ << form_->Core().ActivityFrame();
    });
  }

  void cleanup() {
    form_.reset();
    launcher_ = RecordingLauncher();
    dialogs_ = RecordingDialogs();
  }

  // -- whole jobs --

  void runningJobShowsZeroThenItsSliceAndEndsInTheNewLanguage() {
    const std::string body = kalvoran::test::TestBytes(1000, 3);
    ScriptedServer server(60s);
    server.AddScript(HeldBeforeTheBody(body));
    server.AddScript(Serve(body));
    server.AddScript(Script()
                         .ReadHead()
                         .Send(Head(body.size()) + body.substr(0, 500))
                         .Signal()
                         .WaitForRelease()
                         .Send(body.substr(500))
                         .Close());
    server.AddScript(Serve(body));
    server.AddScript(SavedStatistics());
    StartJob("0;noo;p;a.bin*b.bin*c.bin*d.bin;", AllAt(Host(server)));

    // Before the first body: locked, animated, at 0 percent.
    QTRY_VERIFY_WITH_TIMEOUT(server.Signals() == 1 && frames_.size() >= 5, kJobLimitMs);
    QCOMPARE(frames_.mid(0, 5), (QList<int>{0, 1, 2, 3, 0}));
    QCOMPARE(form_->windowTitle(), QStringLiteral("0% Kalvoran Downloader"));
    QCOMPARE(form_->Label6->text(), QStringLiteral("0%"));
    QVERIFY(SameImage(form_->windowIcon().pixmap(15, 15).toImage(),
                      form_->ImageList3->Draw(form_->Core().ActivityFrame())));
    QVERIFY(SameImage(form_->Image4->PictureImage(),
                      form_->ImageList2->Draw(form_->Core().ActivityFrame())));
    QVERIFY(!form_->Button1->isEnabled());
    QVERIFY(!form_->RichEdit1->isEnabled());
    QVERIFY(QFile::exists(kTemp));
    QCOMPARE(form_->Core().RichEdit1Tag(), 4);

    // Half of file 3 of 4.
    server.Release();
    QTRY_VERIFY_WITH_TIMEOUT(server.Signals() == 2, kJobLimitMs);
    QTRY_COMPARE_WITH_TIMEOUT(form_->ProgressBar1->value(), 625, kJobLimitMs);
    QCOMPARE(form_->ProgressBar1->maximum(), 1000);
    QCOMPARE(form_->Label6->text(), QStringLiteral("62%"));
    QTRY_COMPARE_WITH_TIMEOUT(form_->windowTitle(), QStringLiteral("62% Kalvoran Downloader"),
                              kJobLimitMs);

    // English in the middle of the job: the end dialog follows it.
    form_->EN1->trigger();
    QVERIFY(!form_->Button1->isEnabled() && !form_->RichEdit1->isEnabled());
    QVERIFY(form_->Image4->isVisible() && form_->Label6->isVisible());

    server.Release();
    WaitForCompletion();
    QCOMPARE(dialogs_.kinds.last(), QStringLiteral("message: ") + kTitle);
    QCOMPARE(dialogs_.shown.last(),
             Message(kalvoran::kEnglish, &kalvoran::LanguageTable::msgSuccess));
    QCOMPARE(FolderEntries(), (QStringList{"a.bin", "b.bin", "c.bin", "d.bin"}));
    // No run-after file: the folder opens.
    QCOMPARE(launcher_.folders, QStringList{kFolder});
    QVERIFY(launcher_.files.isEmpty());

    // Back to idle.
    QCOMPARE(form_->ProgressBar1->value(), 0);
    QCOMPARE(form_->ProgressBar1->maximum(), 1000);
    QVERIFY(form_->Image4->isHidden());
    QVERIFY(form_->Label6->isHidden());
    QCOMPARE(form_->windowTitle(), kTitle);
    QVERIFY(form_->Button1->isEnabled());
    QVERIFY(form_->RichEdit1->isEnabled());
    QVERIFY(!form_->Timer1->isActive());
    QVERIFY(!QFile::exists(kTemp));
    // A delivery still queued when the job ended runs later and finds
    // nothing: the bar stays at 0.
    QTRY_COMPARE_WITH_TIMEOUT(form_->Core().Progress().Posted(),
                              form_->Core().Progress().Delivered(), kJobLimitMs);
    QCOMPARE(form_->ProgressBar1->value(), 0);
  }

  void aJobFindingItsFolderTakenLeavesTheOthersFilesAlone() {
    kalvoran::DownloadFolder other(kalvoran::SystemJobFiles());
    QVERIFY(other.Open("."));
    other.CreateTemp()->Write("theirs", 6);
    StartJob("0;noo;p;a.bin;", AllAt("127.0.0.1:1"));
    WaitForCompletion();
    QCOMPARE(dialogs_.kinds, QStringList{QStringLiteral("error")});
    QVERIFY(form_->close());
    QVERIFY(kalvoran::test::ReadFile(kTemp.toStdString()) == "theirs");
  }

 private:
  void StartJob(const std::string& descriptor, const ServerAddresses& servers) {
    form_->Core().UseServers(servers);
    form_->RichEdit1->setPlainText(FromCp1250(kalvoran::test::KeyFor(descriptor)));
    QVERIFY(form_->Button1->isEnabled());
    form_->Button1->click();
  }

  // Until the completion step has run to its end.
  void WaitForCompletion() {
    QTRY_VERIFY_WITH_TIMEOUT(
        form_->Core().CurrentWorker() != nullptr && form_->Core().CurrentWorker()->Terminated(),
        kJobLimitMs);
    QVERIFY(form_->Core().CurrentWorker()->WaitFor(20s));  // and the folder let go
  }

  QTemporaryDir workDir_;
  RecordingLauncher launcher_;
  RecordingDialogs dialogs_;
  std::unique_ptr<TForm1> form_;
  QList<int> frames_;
};

QTEST_MAIN(JobTest)
#include "job_test.moc"
