#include "accessible_texts.h"

#include <array>

#include "cp1250.h"
#include "language_tables.h"

namespace kalvoran {
namespace {

struct Utf8Text {
  Component component;
  const char* name;
  const char* description;
};

// Written in UTF-8 for legibility, converted once. Order: Slovak, Czech,
// English, German, as the language indexes.
const std::array<std::array<Utf8Text, 4>, kLanguageCount> kUtf8Texts = {{
    {{{Component::kRichEdit1, "Sťahovací kľúč",
       "Vložte sem kľúč, ktorý ste dostali k balíku, a stlačte STIAHNUŤ."},
      {Component::kImage8, "Domovská stránka a jazyk",
       "Enter otvorí domovskú stránku programu; kontextová ponuka vyberie jazyk okna."},
      {Component::kImage5, "Minimalizovať", "Skryje okno na panel úloh."},
      {Component::kProgressBar1, "Priebeh sťahovania", "Koľko z balíka je už stiahnuté."}}},
    {{{Component::kRichEdit1, "Stahovací klíč",
       "Vložte sem klíč, který jste dostali k balíčku, a stiskněte STÁHNOUT."},
      {Component::kImage8, "Domovská stránka a jazyk",
       "Enter otevře domovskou stránku programu; kontextová nabídka vybere jazyk okna."},
      {Component::kImage5, "Minimalizovat", "Skryje okno na hlavní panel."},
      {Component::kProgressBar1, "Průběh stahování", "Kolik z balíčku je už staženo."}}},
    {{{Component::kRichEdit1, "Download key",
       "Paste the key you received for your package here, then press DOWNLOAD."},
      {Component::kImage8, "Homepage and language",
       "Enter opens the program's homepage; the context menu chooses the window's language."},
      {Component::kImage5, "Minimize", "Hides the window in the taskbar."},
      {Component::kProgressBar1, "Download progress", "How much of the package has arrived."}}},
    {{{Component::kRichEdit1, "Download-Schlüssel",
       "Fügen Sie hier den Schlüssel zu Ihrem Paket ein und drücken Sie HERUNTERLAD."},
      {Component::kImage8, "Homepage und Sprache",
       "Eingabe öffnet die Homepage des Programms; das Kontextmenü wählt die Sprache des "
       "Fensters."},
      {Component::kImage5, "Minimieren", "Legt das Fenster in die Taskleiste."},
      {Component::kProgressBar1, "Fortschritt des Herunterladens",
       "Wie viel des Pakets schon angekommen ist."}}},
}};

}  // namespace

const std::vector<AccessibleText>& AccessibleTexts(std::uint8_t language) {
  static const std::array<std::vector<AccessibleText>, kLanguageCount + 1> texts = [] {
    std::array<std::vector<AccessibleText>, kLanguageCount + 1> converted;
    for (std::size_t i = 0; i < kLanguageCount; ++i) {
      for (const Utf8Text& text : kUtf8Texts[i]) {
        converted[i].push_back(
            {text.component, Utf8ToCp1250(text.name), Utf8ToCp1250(text.description)});
      }
    }
    return converted;
  }();
  return texts[language < kLanguageCount ? language : kLanguageCount];
}

}  // namespace kalvoran
