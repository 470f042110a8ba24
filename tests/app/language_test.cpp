// The four interface languages: every text of each, applied through the
// language menu, the program-wide texts the rest of the program reads, and
// Qt's own texts of the dialogs.
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLibraryInfo>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

#include "fakes.h"
#include "image_list.h"
#include "kalvoran_addresses.h"
#include "language_state.h"
#include "language_tables.h"
#include "message_box_dialogs.h"
#include "picture.h"
#include "qt_text.h"
#include "qt_translations.h"
#include "tform1.h"

using namespace Qt::Literals::StringLiterals;
using kalvoran::FromCp1250;
using kalvoran::TForm1;

namespace {

// Typed from the translation tables, independently of the program's own copy.
struct Expected {
  const char* name;
  const char* menuItem;
  int flag;
  QString langCode, paste, selectAll, clear, minimiseHint, keyLabel, download, close, openFolder,
      homepageHint, msgConfirmClose, msgSuccess, msgBadKey, msgInterrupted;
  const char* homepageHost;
  QStringList instructions;
};

const std::vector<Expected>& Languages() {
  static const std::vector<Expected> languages = {
      {"Slovak",
       "SK1",
       0,
       u"sk"_s,                                             // LangCode
       u"Vložiť"_s,                                         // Vloi1
       u"Vybrať všetko"_s,                                  // Vybravetko1
       u"Zmazať"_s,                                         // Zmaza1
       u"Minimalizovať"_s,                                  // Image5Hint
       u"DOWNLOADER KEY:"_s,                                // Label2
       u"STIAHNUŤ"_s,                                       // Button1
       u"ZAVRIEŤ"_s,                                        // Button2
       u"Otvoriť stiahnuté súbory"_s,                       // BitBtn1
       u"Prejsť na domovskú stránku programu"_s,            // Image8Hint
       u"Chcete prerušiť sťahovanie a ukončiť program?"_s,  // MsgConfirmClose
       u"Sťahovanie úspešne dokončené."_s,                  // MsgSuccess
       u"Neaktuálny sťahovací kľúč."_s,                     // MsgBadKey
       u"Proces sťahovania prerušený."_s,                   // MsgInterrupted
       kalvoran::addresses::kHomepageSk,
       {
           u"Postup:"_s,
           u"1. Vložte získaný kľúč do pola pre \"KLÚČ\""_s,
           u"2. Kliknite na tlačidlo STIAHNUŤ"_s,
           u"3. Počkajte kým sa súbory stiahnu"_s,
           u"4. Postupujte podľa inštukcií príslušného balíka"_s,
           u"5. Riešenie problémov pri sťahovaní nájdete na "_s,
           u"    webovej stránke v časti Podpora"_s,
           u"UPOZORNENIE: "_s,
           u"    Po kliknutí na STIAHNUŤ sa môže zobraziť "_s,
           u"    hláška firewallu kde je potrebné stlačiť tlačidlo "_s,
           u"    \"Odblokovať\""_s,
       }},
      {"Czech",
       "CZ1",
       1,
       u"cz"_s,                                            // LangCode
       u"Vložit"_s,                                        // Vloi1
       u"Vybrat vše"_s,                                    // Vybravetko1
       u"Smazat"_s,                                        // Zmaza1
       u"Minimalizovat"_s,                                 // Image5Hint
       u"DOWNLOADER KEY:"_s,                               // Label2
       u"STÁHNOUT"_s,                                      // Button1
       u"ZAVŘÍT"_s,                                        // Button2
       u"Otevřít stažené soubory"_s,                       // BitBtn1
       u"Přejít na domovskou stránku programu"_s,          // Image8Hint
       u"Chcete přerušit stahování a ukončit program?"_s,  // MsgConfirmClose
       u"Stahování úspěšně dokončeno."_s,                  // MsgSuccess
       u"Neaktuální stahovací klíč."_s,                    // MsgBadKey
       u"Proces stahování byl přerušen."_s,                // MsgInterrupted
       kalvoran::addresses::kHomepageCz,
       {
           u"Postup:"_s,
           u"1. Vložte získaný klíč do pole pro \"KLÍČ\""_s,
           u"2. Klikněte na tlačítko STÁHNOUT"_s,
           u"3. Počkejte dokud se soubory stáhnou"_s,
           u"4. Postupujte podle instrukcí příslušného balíku"_s,
           u"5. Řešení problémů při stahování najdete na "_s,
           u"    webové stránce v části Podpora"_s,
           u"UPOZORNĚNÍ: "_s,
           u"    Po kliknutí na STÁHNOUT se může zobrazit "_s,
           u"    hlášení firewallu kde je potřeba stlačit tlačítko "_s,
           u"    \"Odblokovat\""_s,
       }},
      {"English",
       "EN1",
       2,
       u"en"_s,                                                      // LangCode
       u"Insert"_s,                                                  // Vloi1
       u"Select All"_s,                                              // Vybravetko1
       u"Delete"_s,                                                  // Zmaza1
       u"Minimize"_s,                                                // Image5Hint
       u"DOWNLOADER KEY:"_s,                                         // Label2
       u"DOWNLOAD"_s,                                                // Button1
       u"CLOSE"_s,                                                   // Button2
       u"Open downloaded files"_s,                                   // BitBtn1
       u"Go to the Homepage"_s,                                      // Image8Hint
       u"Do you want to stop downloading and close the program?"_s,  // MsgConfirmClose
       u"Downloading successfully completed."_s,                     // MsgSuccess
       u"Outdated downloading key."_s,                               // MsgBadKey
       u"The downloading process was interrupted."_s,                // MsgInterrupted
       kalvoran::addresses::kHomepageEn,
       {
           u"Procedure: "_s,
           u"1. Insert the obtained key in the \"KEY:\" field"_s,
           u"2. Click the DOWNLOAD button."_s,
           u"3. Wait until the files download"_s,
           u"4. Follow the instructions on the package"_s,
           u"5. Download troubleshooting can be found on "_s,
           u"    the website in the Support section"_s,
           u"CAUTION: "_s,
           u"   The firewall message may appear after clicking on"_s,
           u"   DOWNLOAD, where it is necessary to press"_s,
           u"   \"Unblock\""_s,
       }},
      {"German",
       "DE1",
       3,
       u"de"_s,                                                               // LangCode
       u"Einlegen"_s,                                                         // Vloi1
       u"Alles wählen"_s,                                                     // Vybravetko1
       u"Löschen"_s,                                                          // Zmaza1
       u"Minimieren"_s,                                                       // Image5Hint
       u"DOWNLOADER KEY:"_s,                                                  // Label2
       u"HERUNTERLAD"_s,                                                      // Button1
       u"SCHLIESSEN"_s,                                                       // Button2
       u"Dokumente öffnen"_s,                                                 // BitBtn1
       u"Homepage des Programms"_s,                                           // Image8Hint
       u"Wollen Sie herunterladen unterbrechen und das Programm beenden?"_s,  // MsgConfirmClose
       u"Herunterladen wurde erfolgreich beendet."_s,                         // MsgSuccess
       u"Falscher Schlüssel zum Herunterladen."_s,                            // MsgBadKey
       u"Der Prozess von Herunterladen wurde unterbrochen."_s,                // MsgInterrupted
       kalvoran::addresses::kHomepageDe,
       {
           u"Verfahren:"_s,
           u"1. Legen Sie den erworbenen Schlüssel in das Feld"_s,
           u"    für „SCHLÜSSEL“ ein"_s,
           u"2. Klicken Sie die Taste HERUNTERLADEN an"_s,
           u"3. Warten Sie bis die Dokumente herunterladen"_s,
           u"    wurden"_s,
           u"4. Folgen Sie die Instruktionen aus dem betreffenden"_s,
           u"    Packen"_s,
           u"5. Problemlösen beim Herunterladen finden Sie auf "_s,
           u"    der Webseite im Teil Unterstützung "_s,
           u"HINWEIS:  "_s,
           u"    Nach dem Klicken HERUNTERLADEN kann sich "_s,
           u"    ein Fenster von Firewall abbilden, es ist nötig,"_s,
           u"    die Taste „Entblocken“ anzuklicken"_s,
       }},
  };
  return languages;
}

bool SameImage(const QImage& a, const QImage& b) {
  return a.convertToFormat(QImage::Format_ARGB32) == b.convertToFormat(QImage::Format_ARGB32);
}

QStringList Items(const QComboBox* list) {
  QStringList items;
  for (int i = 0; i < list->count(); ++i) items << list->itemText(i);
  return items;
}

}  // namespace

class LanguageTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    QVERIFY(workDir_.isValid());
    QVERIFY(QDir::setCurrent(workDir_.path()));
    form_ = std::make_unique<TForm1>(launcher_, dialogs_);
  }

  void cleanupTestCase() { form_.reset(); }

  void menuAppliesEveryTextOfTheLanguage_data() {
    QTest::addColumn<int>("language");
    // Each language after each other one, so no text survives by accident.
    for (std::size_t to = 0; to < Languages().size(); ++to) {
      for (std::size_t from = 0; from < Languages().size(); ++from) {
        QTest::addRow("%s after %s", Languages()[to].name, Languages()[from].name)
            << static_cast<int>(to * 10 + from);
      }
    }
  }

  void menuAppliesEveryTextOfTheLanguage() {
    QFETCH(int, language);
    const Expected& from = Languages()[static_cast<std::size_t>(language % 10)];
    const Expected& want = Languages()[static_cast<std::size_t>(language / 10)];
    form_->findChild<QAction*>(QString::fromLatin1(from.menuItem))->trigger();
    form_->ComboBox1->setCurrentIndex(3);
    form_->findChild<QAction*>(QString::fromLatin1(want.menuItem))->trigger();

    QCOMPARE(form_->Vloi1->text(), want.paste);
    QCOMPARE(form_->Vybravetko1->text(), want.selectAll);
    QCOMPARE(form_->Zmaza1->text(), want.clear);
    QCOMPARE(form_->Image5->toolTip(), want.minimiseHint);
    QCOMPARE(form_->Label2->text(), want.keyLabel);
    QCOMPARE(form_->Button1->text(), want.download);
    QCOMPARE(form_->Button2->text(), want.close);
    QCOMPARE(form_->BitBtn1->text(), want.openFolder);
    QCOMPARE(form_->Image8->toolTip(), want.homepageHint);
    QVERIFY(SameImage(form_->Image8->PictureImage(), form_->ImageList4->Draw(want.flag)));
    // Rebuilt, even when the language does not change, and back at the heading.
    QCOMPARE(Items(form_->ComboBox1), want.instructions);
    QCOMPARE(form_->ComboBox1->currentIndex(), 0);

    QCOMPARE(FromCp1250(kalvoran::LangCode()), want.langCode);
    QCOMPARE(FromCp1250(kalvoran::HomepageUrl()),
             u"http://"_s + QString::fromUtf8(want.homepageHost));
    QCOMPARE(FromCp1250(kalvoran::MsgConfirmClose()), want.msgConfirmClose);
    QCOMPARE(FromCp1250(kalvoran::MsgSuccess()), want.msgSuccess);
    QCOMPARE(FromCp1250(kalvoran::MsgBadKey()), want.msgBadKey);
    QCOMPARE(FromCp1250(kalvoran::MsgInterrupted()), want.msgInterrupted);

    // The texts that no language changes.
    QCOMPARE(form_->Label4->text(), u"DOWNLOADER"_s);
    QCOMPARE(form_->Label1->text(), u"v 2.0"_s);
    QCOMPARE(form_->CZ1->text(), u"CZ"_s);
    QCOMPARE(form_->DE1->text(), u"DE"_s);
    QCOMPARE(form_->EN1->text(), u"EN"_s);
    QCOMPARE(form_->SK1->text(), u"SK"_s);
  }

  void menuListsCzechGermanEnglishSlovak() {
    // Positions of the languages in Languages(), in the menu's order.
    const std::size_t order[] = {1, 3, 2, 0};
    const QList<QAction*> items = form_->PopupMenu2->actions();
    QCOMPARE(items.size(), 4);
    for (int i = 0; i < 4; ++i) {
      const Expected& want = Languages()[order[i]];
      // From another language, so that the item has something to change.
      form_->Core().Preklad(static_cast<std::uint8_t>((order[i] + 1) % 4));
      items[i]->trigger();
      QCOMPARE(items[i]->text(), QString::fromLatin1(want.menuItem).left(2));
      QCOMPARE(form_->Button1->text(), want.download);
      QCOMPARE(FromCp1250(kalvoran::LangCode()), want.langCode);
    }
  }

  void dialogButtonsSpeakTheWindowsLanguage_data() {
    QTest::addColumn<QString>("menuItem");
    QTest::addColumn<QString>("yes");
    QTest::addColumn<QString>("no");
    // In turn: each language replaces the one of the row before.
    QTest::newRow("Slovak") << u"SK1"_s << u"Áno"_s << u"Nie"_s;
    QTest::newRow("Czech") << u"CZ1"_s << u"Ano"_s << u"Ne"_s;
    QTest::newRow("English") << u"EN1"_s << u"Yes"_s << u"No"_s;
    QTest::newRow("German") << u"DE1"_s << u"Ja"_s << u"Nein"_s;
  }

  void dialogButtonsSpeakTheWindowsLanguage() {
    QFETCH(QString, menuItem);
    QFETCH(QString, yes);
    QFETCH(QString, no);
    form_->findChild<QAction*>(menuItem)->trigger();
    // The program's own warning dialog: read its buttons, then answer No.
    QStringList buttons;
    QTimer::singleShot(0, form_.get(), [&buttons] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr) return;
      for (auto which : {QMessageBox::Yes, QMessageBox::No}) {
        buttons << box->button(which)->text().remove(u'&');
      }
      box->button(QMessageBox::No)->click();
    });
    kalvoran::MessageBoxDialogs dialogs(form_.get());
    QVERIFY(!dialogs.AskWarning(FromCp1250(kalvoran::MsgConfirmClose())));
    QCOMPARE(buttons, (QStringList{yes, no}));
  }

  void languageWithoutQtCatalogueLeavesQtInEnglish() {
    form_->Core().Preklad(kalvoran::kEnglish);  // the window's own catalogue out of the way
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString german = u"/qtbase_de.qm"_s;
    QVERIFY(QFile::copy(QLibraryInfo::path(QLibraryInfo::TranslationsPath) + german,
                        folder.path() + german));
    kalvoran::QtTranslations translations(folder.path());
    const auto yes = [] { return QCoreApplication::translate("QPlatformTheme", "&Yes"); };
    translations.Apply("de");
    QCOMPARE(yes().remove(u'&'), u"Ja"_s);
    translations.Apply("sk");
    QCOMPARE(yes(), u"&Yes"_s);
  }

  void tablesAreWindows1250() {
    // The German quotation marks are single bytes of the code page.
    const kalvoran::LanguageTable* german = kalvoran::FindLanguage(kalvoran::kGerman);
    QVERIFY(german != nullptr);
    QCOMPARE(german->instructions.at(2), std::string("    f\xFCr \x84SCHL\xDCSSEL\x93 ein"));
    QCOMPARE(german->download, std::string("HERUNTERLAD"));
    QVERIFY(kalvoran::FindLanguage(4) == nullptr);
  }

 private:
  QTemporaryDir workDir_;
  kalvoran::testing::RecordingLauncher launcher_;
  kalvoran::testing::RecordingDialogs dialogs_;
  std::unique_ptr<TForm1> form_;
};

QTEST_MAIN(LanguageTest)
#include "language_test.moc"
