// The download job in the window: the bar's arithmetic, the hand-over from the
// worker's thread, and whole jobs from DOWNLOAD to the dialog, the launch and
// CLOSE, against a scripted server and against the reference scripts.
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QIcon>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "download_folder.h"
#include "download_thread.h"
#include "fakes.h"
#include "image_list.h"
#include "job_progress.h"
#include "job_test_support.h"
#include "key_encoder.h"
#include "language_state.h"
#include "language_tables.h"
#include "picture.h"
#include "progress_handoff.h"
#include "qt_text.h"
#include "scripted_server.h"
#include "tform1.h"

using kalvoran::FromCp1250;
using kalvoran::ProgressHandOff;
using kalvoran::ProgressUpdate;
using kalvoran::ServerAddresses;
using kalvoran::TForm1;
using kalvoran::test::ReferenceServer;
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
      if (!form_->Image4->isHidden()) frames_ << form_->Image4->Tag;
    });
  }

  void cleanup() {
    form_.reset();
    launcher_ = RecordingLauncher();
    dialogs_ = RecordingDialogs();
  }

  // -- the arithmetic --

  void barLabelAndTitleFollowTheFileSlices_data() {
    QTest::addColumn<qint64>("w");
    QTest::addColumn<qint64>("s");
    QTest::addColumn<qint64>("n");
    QTest::addColumn<qint64>("i");
    QTest::addColumn<int>("position");  // -1: no update
    QTest::addColumn<int>("label");
    QTest::addColumn<int>("title");
    QTest::newRow("half of file 3 of 4") << 500LL << 1000LL << 4LL << 2LL << 625 << 62 << 62;
    QTest::newRow("whole single file") << 7LL << 7LL << 1LL << 0LL << 1000 << 100 << 100;
    QTest::newRow("start of file 2 of 2") << 0LL << 9LL << 2LL << 1LL << 500 << 50 << 50;
    QTest::newRow("thirds round up") << 1LL << 1LL << 3LL << 1LL << 667 << 67 << 67;
    QTest::newRow("last third ends at 1000") << 1LL << 1LL << 3LL << 2LL << 1000 << 100 << 100;
    // Slices of half a step make exact ties: they go to the even neighbour.
    QTest::newRow("tie 0.5 to 0") << 1LL << 1LL << 2000LL << 0LL << 0 << 0 << 0;
    QTest::newRow("tie 1.5 to 2") << 1LL << 1LL << 2000LL << 2LL << 2 << 0 << 0;
    QTest::newRow("tie 2.5 to 2") << 1LL << 1LL << 2000LL << 4LL << 2 << 0 << 0;
    QTest::newRow("label 63.5 to even 64") << 635LL << 1000LL << 1LL << 0LL << 635 << 64 << 64;
    QTest::newRow("label 0.5 to even 0") << 5LL << 1000LL << 1LL << 0LL << 5 << 0 << 0;
    QTest::newRow("label 1.5 to even 2") << 15LL << 1000LL << 1LL << 0LL << 15 << 2 << 2;
    QTest::newRow("beyond a growing body") << 5000LL << 10LL << 2LL << 0LL << 1000 << 100 << 100;
    QTest::newRow("large file, 4 GiB")
        << (1LL << 31) << (1LL << 32) << 1LL << 0LL << 500 << 50 << 50;
    QTest::newRow("nothing written yet") << 0LL << 0LL << 1LL << 0LL << -1 << 0 << 0;
    QTest::newRow("no file count") << 5LL << 10LL << 0LL << 0LL << -1 << 0 << 0;
  }

  void barLabelAndTitleFollowTheFileSlices() {
    QFETCH(qint64, w);
    QFETCH(qint64, s);
    QFETCH(qint64, n);
    QFETCH(qint64, i);
    QFETCH(int, position);
    QFETCH(int, label);
    QFETCH(int, title);
    const std::optional<int> p = kalvoran::BarPosition(w, s, n, i);
    QCOMPARE(p.value_or(-1), position);
    if (!p) return;
    QCOMPARE(kalvoran::LabelPercent(*p), label);
    QCOMPARE(kalvoran::TitlePercent(*p, kalvoran::kBarMaximum), title);
  }

  void titlePercentOfTheUntouchedBar() {
    QCOMPARE(kalvoran::TitlePercent(0, 100), 0);
    QCOMPARE(kalvoran::TitlePercent(37, 100), 37);
  }

  // -- the hand-over --

  void handOffQueuesOneDeliveryAndKeepsTheLatestValue() {
    ProgressHandOff handOff;
    std::atomic<int> queued{0};
    std::atomic<bool> done{false};
    constexpr int kOffers = 200000;
    std::thread worker([&] {
      for (int k = 1; k <= kOffers; ++k) {
        if (handOff.Offer({k % 1001, true})) queued.fetch_add(1);
      }
      done = true;
    });
    // The user-interface side: runs each queued delivery.
    int last = -1;
    while (!done.load() || queued.load() > 0) {
      if (queued.load() == 0) continue;
      queued.fetch_sub(1);
      if (const auto update = handOff.Take()) last = update->position;
    }
    worker.join();
    QCOMPARE(last, kOffers % 1001);  // the final position is never lost
    QCOMPARE(handOff.Posted(), handOff.Delivered());
    QVERIFY(handOff.MostBehind() <= 1);

    // A discarded value is not delivered; the next offer queues anew.
    QVERIFY(handOff.Offer({7, false}));
    QVERIFY(!handOff.Offer({8, false}));
    handOff.Discard();
    QVERIFY(!handOff.Take().has_value());
    QVERIFY(handOff.Offer({9, false}));
    const auto next = handOff.Take();
    QVERIFY(next.has_value());
    QCOMPARE(next->position, 9);
    QVERIFY(!next->setsLabel);
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
                      form_->ImageList3->Draw(form_->Image4->Tag)));
    QVERIFY(SameImage(form_->Image4->PictureImage(), form_->ImageList2->Draw(form_->Image4->Tag)));
    QVERIFY(!form_->Button1->isEnabled());
    QVERIFY(!form_->RichEdit1->isEnabled());
    QVERIFY(QFile::exists(kTemp));
    QCOMPARE(form_->RichEdit1Tag(), 4);

    // CLOSE asks; No keeps the job.
    QTest::mouseClick(form_->Button2, Qt::LeftButton);
    QCOMPARE(dialogs_.kinds, QStringList{QStringLiteral("warning")});
    QCOMPARE(dialogs_.shown.last(),
             Message(kalvoran::kGerman, &kalvoran::LanguageTable::msgConfirmClose));
    QVERIFY(form_->isVisible());
    QCOMPARE(form_->CurrentWorker()->ReturnValue.load(), -1);

    // Half of file 3 of 4.
    server.Release();
    QTRY_VERIFY_WITH_TIMEOUT(server.Signals() == 2, kJobLimitMs);
    QTRY_COMPARE_WITH_TIMEOUT(form_->ProgressBar1->value(), 625, kJobLimitMs);
    QCOMPARE(form_->ProgressBar1->maximum(), 1000);
    QCOMPARE(form_->Label6->text(), QStringLiteral("62%"));
    QTRY_COMPARE_WITH_TIMEOUT(form_->windowTitle(), QStringLiteral("62% Kalvoran Downloader"),
                              kJobLimitMs);

    // English in the middle of the job: every text follows, the job stays
    // locked, and CLOSE asks in English.
    form_->EN1->trigger();
    const kalvoran::LanguageTable& english = *kalvoran::FindLanguage(kalvoran::kEnglish);
    QCOMPARE(form_->Button1->text(), FromCp1250(english.download));
    QCOMPARE(form_->Button2->text(), FromCp1250(english.close));
    QCOMPARE(form_->BitBtn1->text(), FromCp1250(english.openFolder));
    QCOMPARE(form_->ComboBox1->count(), 11);
    QCOMPARE(form_->ComboBox1->currentText(), FromCp1250(english.instructions[0]));
    QVERIFY(!form_->Button1->isEnabled());
    QVERIFY(!form_->RichEdit1->isEnabled());
    QVERIFY(form_->Image4->isVisible() && form_->Label6->isVisible());
    QVERIFY(form_->Timer1->isActive());
    QTest::mouseClick(form_->Button2, Qt::LeftButton);
    QCOMPARE(dialogs_.shown.last(),
             Message(kalvoran::kEnglish, &kalvoran::LanguageTable::msgConfirmClose));
    QCOMPARE(form_->CurrentWorker()->ReturnValue.load(), -1);
    QVERIFY(!form_->Button1->isEnabled());

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
    QTRY_COMPARE_WITH_TIMEOUT(form_->Progress().Posted(), form_->Progress().Delivered(),
                              kJobLimitMs);
    QCOMPARE(form_->ProgressBar1->value(), 0);
  }

  void jobReadsLineOneOfTheKeyFieldUpTo4096Characters_data() {
    QTest::addColumn<QByteArray>("descriptor");
    QTest::addColumn<QByteArray>("after");  // what follows the key in the field
    // The longest key: 4,096 characters, two for each descriptor character.
    const std::string longest =
        "0;noo;" + std::string(kalvoran::kMaxDescriptorLength - 13, 'p') + ";a.bin;";
    QTest::newRow("longest key, line 1 goes on")
        << QByteArray::fromStdString(longest) << QByteArray("ABCD\nsecond line");
    QTest::newRow("short key, then line 2")
        << QByteArray("0;noo;p;a.bin;") << QByteArray("\n1234ABCD");
  }

  void jobReadsLineOneOfTheKeyFieldUpTo4096Characters() {
    QFETCH(QByteArray, descriptor);
    QFETCH(QByteArray, after);
    ScriptedServer server(60s);
    server.AddScript(Serve("x"));
    server.AddScript(SavedStatistics());
    const std::string key = kalvoran::test::KeyFor(descriptor.toStdString());
    QCOMPARE(key.size(), 2 * static_cast<std::size_t>(descriptor.size()));
    form_->UseServers(AllAt(Host(server)));
    form_->RichEdit1->setPlainText(FromCp1250(key + after.toStdString()));
    form_->Button1->click();
    WaitForCompletion();
    QCOMPARE(dialogs_.kinds, QStringList{QStringLiteral("message: ") + kTitle});
    QCOMPARE(FolderEntries(), QStringList{"a.bin"});
    // The statistics record carries the descriptor the job read, whole.
    QVERIFY(server.WaitForFinished(2));
    QVERIFY(server.Received(1).find("*" + descriptor.toStdString() + "*") != std::string::npos);
  }

  void framesContinueFromThePreviousJob() {
    for (int job = 0; job < 2; ++job) {
      ScriptedServer server(60s);
      server.AddScript(HeldBeforeTheBody("x"));
      server.AddScript(SavedStatistics());
      const qsizetype before = frames_.size();
      StartJob("0;noo;p;x.txt;", AllAt(Host(server)));
      QTRY_VERIFY_WITH_TIMEOUT(frames_.size() >= before + 2 + job, kJobLimitMs);
      server.Release();
      WaitForCompletion();
    }
    // One run of ticks across both jobs: 0, 1, 2, ... modulo 4.
    for (qsizetype k = 0; k < frames_.size(); ++k) QCOMPARE(frames_[k], int(k % 4));
  }

  void jobFromTheReferenceServerOpensItsRunFile_data() {
    QTest::addColumn<QString>("runFile");
    QTest::addColumn<bool>("opensTheFile");
    QTest::newRow("saved file") << "readme.txt" << true;
    QTest::newRow("no run file") << "" << false;
    QTest::newRow("not in the list") << "missing.txt" << false;
    QTest::newRow("outside the folder") << "../readme.txt" << false;
  }

  void jobFromTheReferenceServerOpensItsRunFile() {
    QFETCH(QString, runFile);
    QFETCH(bool, opensTheFile);
    if (!ReferenceServer::Available()) QSKIP("php is not installed");
    ReferenceServer server;
    QVERIFY(server.Running());
    const std::string pack = server.FilesRoot() + "/pack/";
    std::filesystem::create_directories(pack);
    const std::string big = kalvoran::test::TestBytes(3 << 20, 4);
    kalvoran::test::WriteFile(pack + "a b.bin", big);
    kalvoran::test::WriteFile(pack + "readme.txt", "read me\n");
    // A file of that name beside the folder, which a run file must not reach.
    kalvoran::test::WriteFile("readme.txt", "outside\n");

    StartJob("1;noo;pack;a b.bin*readme.txt;" + runFile.toStdString(),
             {{"127.0.0.1:1", server.Host(), "127.0.0.1:1"}, server.Host()});
    WaitForCompletion();
    QCOMPARE(dialogs_.kinds, QStringList{QStringLiteral("message: ") + kTitle});
    QCOMPARE(FolderEntries(), (QStringList{"a b.bin", "readme.txt"}));
    QVERIFY(kalvoran::test::ReadFile("Kalvoran Downloader/a b.bin") == big);
    if (opensTheFile) {
      QCOMPARE(launcher_.files, QStringList{QStringLiteral("Kalvoran Downloader/readme.txt")});
      QVERIFY(launcher_.folders.isEmpty());
    } else {
      QCOMPARE(launcher_.folders, QStringList{kFolder});
      QVERIFY(launcher_.files.isEmpty());
    }
  }

  void refusedSecondOfThreeEndsInterruptedAndOpensNothing() {
    if (!ReferenceServer::Available()) QSKIP("php is not installed");
    ReferenceServer server;
    QVERIFY(server.Running());
    const std::string pack = server.FilesRoot() + "/pack/";
    std::filesystem::create_directories(pack);
    kalvoran::test::WriteFile(pack + "a.bin", kalvoran::test::TestBytes(200000, 5));
    kalvoran::test::WriteFile(pack + "c.bin", "third");
    // b.bin is missing: the server answers with the content type "error".
    StartJob("1;noo;pack;a.bin*b.bin*c.bin;c.bin",
             {{"127.0.0.1:1", server.Host(), "127.0.0.1:1"}, server.Host()});
    WaitForCompletion();
    QCOMPARE(dialogs_.kinds, QStringList{QStringLiteral("error")});
    QCOMPARE(dialogs_.shown,
             QStringList{Message(kalvoran::kGerman, &kalvoran::LanguageTable::msgInterrupted)});
    QCOMPARE(FolderEntries(), QStringList{"a.bin"});
    QVERIFY(launcher_.files.isEmpty() && launcher_.folders.isEmpty());
    QCOMPARE(form_->ProgressBar1->value(), 0);
  }

  void unreadableKeyShowsTheBadKeyDialogWithTheBarAtZero() {
    form_->RichEdit1->setPlainText(QStringLiteral("abc"));
    form_->Button1->click();
    WaitForCompletion();
    QCOMPARE(dialogs_.kinds, QStringList{QStringLiteral("error")});
    QCOMPARE(dialogs_.shown,
             QStringList{Message(kalvoran::kGerman, &kalvoran::LanguageTable::msgBadKey)});
    QCOMPARE(form_->ProgressBar1->value(), 0);
    QCOMPARE(form_->ProgressBar1->maximum(), 100);  // no body ever began
    QVERIFY(launcher_.files.isEmpty() && launcher_.folders.isEmpty());
  }

  void closingDuringAJobEndsItWithinTwoSeconds_data() {
    QTest::addColumn<bool>("byCloseButton");
    QTest::newRow("CLOSE, answered Yes") << true;
    QTest::newRow("window manager") << false;
  }

  void closingDuringAJobEndsItWithinTwoSeconds() {
    QFETCH(bool, byCloseButton);
    ScriptedServer server(60s);
    server.AddScript(HeldBeforeTheBody("never sent"));
    StartJob("0;noo;p;a.bin;", AllAt(Host(server)));
    QTRY_VERIFY_WITH_TIMEOUT(server.Signals() == 1 && !frames_.isEmpty(), kJobLimitMs);
    QVERIFY(QFile::exists(kTemp));

    QElapsedTimer clock;
    clock.start();
    if (byCloseButton) {
      dialogs_.answerYes = true;
      QTest::mouseClick(form_->Button2, Qt::LeftButton);
      QCOMPARE(dialogs_.kinds, QStringList{QStringLiteral("warning")});
    } else {
      QVERIFY(form_->close());
      QVERIFY(dialogs_.kinds.isEmpty());
    }
    QVERIFY(clock.elapsed() < 2000);
    QVERIFY(!form_->isVisible());
    // The worker is gone, its thread joined, and nothing is left behind.
    QVERIFY(form_->CurrentWorker() == nullptr);
    QVERIFY(!QFile::exists(kTemp));
    QVERIFY(!form_->Timer1->isActive());
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

  void closeAfterAFinishedJobWithAnEmptiedKeyAsksNothing() {
    ScriptedServer server(60s);
    server.AddScript(Serve("done"));
    server.AddScript(SavedStatistics());
    StartJob("0;noo;p;a.txt;", AllAt(Host(server)));
    WaitForCompletion();
    form_->RichEdit1->clear();
    QVERIFY(!form_->Button1->isEnabled());
    dialogs_ = RecordingDialogs();
    QTest::mouseClick(form_->Button2, Qt::LeftButton);
    QVERIFY(dialogs_.kinds.isEmpty());
    QVERIFY(!form_->isVisible());
  }

 private:
  void StartJob(const std::string& descriptor, const ServerAddresses& servers) {
    form_->UseServers(servers);
    form_->RichEdit1->setPlainText(FromCp1250(kalvoran::test::KeyFor(descriptor)));
    QVERIFY(form_->Button1->isEnabled());
    form_->Button1->click();
  }

  // Until the completion step has run to its end.
  void WaitForCompletion() {
    QTRY_VERIFY_WITH_TIMEOUT(
        form_->CurrentWorker() != nullptr && form_->CurrentWorker()->Terminated(), kJobLimitMs);
    QVERIFY(form_->CurrentWorker()->WaitFor(20s));  // and the folder let go
  }

  QTemporaryDir workDir_;
  RecordingLauncher launcher_;
  RecordingDialogs dialogs_;
  std::unique_ptr<TForm1> form_;
  QList<int> frames_;
};

QTEST_MAIN(JobTest)
#include "job_test.moc"
