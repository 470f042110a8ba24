#include "language_tables.h"

#include <array>
#include <string_view>
#include <utility>

#include "cp1250.h"
#include "kalvoran_addresses.h"

namespace kalvoran {
namespace {

// The texts are written here in UTF-8 for legibility and converted to
// Windows-1250 once; every character they use exists in that code page.
struct Utf8Language {
  const char* langCode;
  const char* paste;
  const char* selectAll;
  const char* clear;
  const char* minimiseHint;
  const char* keyLabel;
  const char* download;
  const char* close;
  const char* openFolder;
  const char* msgConfirmClose;
  const char* msgBadKey;
  const char* msgInterrupted;
  const char* msgSuccess;
  const char* homepageHint;
  const char* homepageHost;
  int flag;
  std::vector<const char*> instructions;
};

std::array<Utf8Language, kLanguageCount> Utf8Languages() {
  return {{
      {
          "sk",
          "Vložiť",
          "Vybrať všetko",
          "Zmazať",
          "Minimalizovať",
          "DOWNLOADER KEY:",
          "STIAHNUŤ",
          "ZAVRIEŤ",
          "Otvoriť stiahnuté súbory",
          "Chcete prerušiť sťahovanie a ukončiť program?",
          "Neaktuálny sťahovací kľúč.",
          "Proces sťahovania prerušený.",
          "Sťahovanie úspešne dokončené.",
          "Prejsť na domovskú stránku programu",
          addresses::kHomepageSk,
          0,
          {
              "Postup:",
              "1. Vložte získaný kľúč do pola pre \"KLÚČ\"",
              "2. Kliknite na tlačidlo STIAHNUŤ",
              "3. Počkajte kým sa súbory stiahnu",
              "4. Postupujte podľa inštukcií príslušného balíka",
              "5. Riešenie problémov pri sťahovaní nájdete na ",
              "    webovej stránke v časti Podpora",
              "UPOZORNENIE: ",
              "    Po kliknutí na STIAHNUŤ sa môže zobraziť ",
              "    hláška firewallu kde je potrebné stlačiť tlačidlo ",
              "    \"Odblokovať\"",
          },
      },
      {
          "cz",
          "Vložit",
          "Vybrat vše",
          "Smazat",
          "Minimalizovat",
          "DOWNLOADER KEY:",
          "STÁHNOUT",
          "ZAVŘÍT",
          "Otevřít stažené soubory",
          "Chcete přerušit stahování a ukončit program?",
          "Neaktuální stahovací klíč.",
          "Proces stahování byl přerušen.",
          "Stahování úspěšně dokončeno.",
          "Přejít na domovskou stránku programu",
          addresses::kHomepageCz,
          1,
          {
              "Postup:",
              "1. Vložte získaný klíč do pole pro \"KLÍČ\"",
              "2. Klikněte na tlačítko STÁHNOUT",
              "3. Počkejte dokud se soubory stáhnou",
              "4. Postupujte podle instrukcí příslušného balíku",
              "5. Řešení problémů při stahování najdete na ",
              "    webové stránce v části Podpora",
              "UPOZORNĚNÍ: ",
              "    Po kliknutí na STÁHNOUT se může zobrazit ",
              "    hlášení firewallu kde je potřeba stlačit tlačítko ",
              "    \"Odblokovat\"",
          },
      },
      {
          "en",
          "Insert",
          "Select All",
          "Delete",
          "Minimize",
          "DOWNLOADER KEY:",
          "DOWNLOAD",
          "CLOSE",
          "Open downloaded files",
          "Do you want to stop downloading and close the program?",
          "Outdated downloading key.",
          "The downloading process was interrupted.",
          "Downloading successfully completed.",
          "Go to the Homepage",
          addresses::kHomepageEn,
          2,
          {
              "Procedure: ",
              "1. Insert the obtained key in the \"KEY:\" field",
              "2. Click the DOWNLOAD button.",
              "3. Wait until the files download",
              "4. Follow the instructions on the package",
              "5. Download troubleshooting can be found on ",
              "    the website in the Support section",
              "CAUTION: ",
              "   The firewall message may appear after clicking on",
              "   DOWNLOAD, where it is necessary to press",
              "   \"Unblock\"",
          },
      },
      {
          "de",
          "Einlegen",
          "Alles wählen",
          "Löschen",
          "Minimieren",
          "DOWNLOADER KEY:",
          // The button is too narrow for the whole word; the instructions
          // below still name it in full.
          "HERUNTERLAD",
          "SCHLIESSEN",
          "Dokumente öffnen",
          "Wollen Sie herunterladen unterbrechen und das Programm beenden?",
          "Falscher Schlüssel zum Herunterladen.",
          "Der Prozess von Herunterladen wurde unterbrochen.",
          "Herunterladen wurde erfolgreich beendet.",
          "Homepage des Programms",
          addresses::kHomepageDe,
          3,
          {
              "Verfahren:",
              "1. Legen Sie den erworbenen Schlüssel in das Feld",
              "    für „SCHLÜSSEL“ ein",
              "2. Klicken Sie die Taste HERUNTERLADEN an",
              "3. Warten Sie bis die Dokumente herunterladen",
              "    wurden",
              "4. Folgen Sie die Instruktionen aus dem betreffenden",
              "    Packen",
              "5. Problemlösen beim Herunterladen finden Sie auf ",
              "    der Webseite im Teil Unterstützung ",
              "HINWEIS:  ",
              "    Nach dem Klicken HERUNTERLADEN kann sich ",
              "    ein Fenster von Firewall abbilden, es ist nötig,",
              "    die Taste „Entblocken“ anzuklicken",
          },
      },
  }};
}

LanguageTable ToCp1250(const Utf8Language& in) {
  LanguageTable out{
      Utf8ToCp1250(in.langCode),
      Utf8ToCp1250(in.paste),
      Utf8ToCp1250(in.selectAll),
      Utf8ToCp1250(in.clear),
      Utf8ToCp1250(in.minimiseHint),
      Utf8ToCp1250(in.keyLabel),
      Utf8ToCp1250(in.download),
      Utf8ToCp1250(in.close),
      Utf8ToCp1250(in.openFolder),
      Utf8ToCp1250(in.msgConfirmClose),
      Utf8ToCp1250(in.msgBadKey),
      Utf8ToCp1250(in.msgInterrupted),
      Utf8ToCp1250(in.msgSuccess),
      Utf8ToCp1250(in.homepageHint),
      // The host comes from the build; it is kept byte for byte.
      std::string("http://") + in.homepageHost,
      in.flag,
      {},
  };
  out.instructions.reserve(in.instructions.size());
  for (const char* line : in.instructions) out.instructions.push_back(Utf8ToCp1250(line));
  return out;
}

std::array<LanguageTable, kLanguageCount> BuildTables() {
  std::array<LanguageTable, kLanguageCount> tables;
  const auto utf8 = Utf8Languages();
  for (std::size_t i = 0; i < tables.size(); ++i) tables[i] = ToCp1250(utf8[i]);
  return tables;
}

}  // namespace

const LanguageTable* FindLanguage(std::uint8_t index) {
  // Built on first use; the initialisation of a local static is thread-safe.
  static const std::array<LanguageTable, kLanguageCount> tables = BuildTables();
  return index < tables.size() ? &tables[index] : nullptr;
}

namespace {

using FailureTexts = std::array<std::string, kJobFailureCount>;

// In the order of JobFailure, kNone first; UTF-8 here, as the texts above.
std::array<FailureTexts, kLanguageCount> BuildFailureTexts() {
  const std::array<std::array<const char*, kJobFailureCount>, kLanguageCount> utf8 = {{
      {
          "",
          "Nepodarilo sa spojiť so serverom. Skontrolujte pripojenie na internet.",
          "Spojenie so serverom sa prerušilo. Skúste to znova.",
          "Server neodpovedal včas. Skúste to neskôr.",
          "Server odmietol súbor. Skúste to neskôr.",
          "Server odpovedal chybou. Skúste to neskôr.",
          "Certifikát servera nie je dôveryhodný. Skontrolujte dátum a čas počítača.",
          "Proxy server odmietol spojenie alebo žiada heslo. Skontrolujte nastavenia proxy.",
          "Disk je plný. Uvoľnite miesto a skúste to znova.",
          "Do priečinka \"Kalvoran Downloader\" nemožno zapisovať. Skontrolujte jeho oprávnenia.",
          "Systém súborov odmieta názov súboru.",
          "Priečinok používa iné sťahovanie. Počkajte, kým skončí.",
      },
      {
          "",
          "Nepodařilo se spojit se serverem. Zkontrolujte připojení k internetu.",
          "Spojení se serverem bylo přerušeno. Zkuste to znovu.",
          "Server neodpověděl včas. Zkuste to později.",
          "Server odmítl soubor. Zkuste to později.",
          "Server odpověděl chybou. Zkuste to později.",
          "Certifikát serveru není důvěryhodný. Zkontrolujte datum a čas počítače.",
          "Proxy server odmítl spojení nebo žádá heslo. Zkontrolujte nastavení proxy.",
          "Disk je plný. Uvolněte místo a zkuste to znovu.",
          "Do složky \"Kalvoran Downloader\" nelze zapisovat. Zkontrolujte její oprávnění.",
          "Souborový systém odmítá název souboru.",
          "Složku používá jiné stahování. Počkejte, až skončí.",
      },
      {
          "",
          "The server could not be reached. Check your connection to the internet.",
          "The connection to the server was lost. Please try again.",
          "The server did not answer in time. Please try again later.",
          "The server refused the file. Please try again later.",
          "The server answered with an error. Please try again later.",
          "The server's certificate is not trusted. Check the date and time of your computer.",
          "The proxy refused the connection or wants a password. Check your proxy settings.",
          "The disk is full. Free some space and try again.",
          "The folder \"Kalvoran Downloader\" cannot be written. Check its permissions.",
          "The file system refuses the name of a file.",
          "Another download is using the folder. Wait until it has finished.",
      },
      {
          "",
          "Der Server ist nicht erreichbar. Prüfen Sie Ihre Internetverbindung.",
          "Die Verbindung zum Server wurde unterbrochen. Versuchen Sie es erneut.",
          "Der Server hat nicht rechtzeitig geantwortet. Versuchen Sie es später erneut.",
          "Der Server hat die Datei abgelehnt. Versuchen Sie es später erneut.",
          "Der Server hat mit einem Fehler geantwortet. Versuchen Sie es später erneut.",
          "Das Zertifikat des Servers ist nicht vertrauenswürdig. Prüfen Sie Datum und Uhrzeit "
          "des Computers.",
          "Der Proxy hat die Verbindung abgelehnt oder verlangt ein Passwort. Prüfen Sie die "
          "Proxy-Einstellungen.",
          "Der Datenträger ist voll. Geben Sie Speicherplatz frei und versuchen Sie es erneut.",
          "In den Ordner \"Kalvoran Downloader\" kann nicht geschrieben werden. Prüfen Sie seine "
          "Berechtigungen.",
          "Das Dateisystem lehnt den Namen einer Datei ab.",
          "Ein anderer Download verwendet den Ordner. Warten Sie, bis er beendet ist.",
      },
  }};
  std::array<FailureTexts, kLanguageCount> texts;
  for (std::size_t language = 0; language < kLanguageCount; ++language) {
    for (std::size_t cause = 0; cause < kJobFailureCount; ++cause) {
      texts[language][cause] = Utf8ToCp1250(utf8[language][cause]);
    }
  }
  return texts;
}

}  // namespace

const std::string& FailureText(const LanguageTable& table, JobFailure cause) {
  static const std::array<FailureTexts, kLanguageCount> texts = BuildFailureTexts();
  static const std::string kNoText;
  const auto index = static_cast<std::size_t>(cause);
  for (std::uint8_t language = 0; language < kLanguageCount; ++language) {
    if (FindLanguage(language) == &table && index < kJobFailureCount) {
      return texts[language][index];
    }
  }
  return kNoText;
}

}  // namespace kalvoran
