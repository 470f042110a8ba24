// The window's behaviour through a fake view: each event, from a known state,
// and the view calls it makes, in order.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "accessible_texts.h"
#include "cp1250.h"
#include "fake_view.h"
#include "language_tables.h"

namespace kalvoran {
namespace {

using Event = void (WindowCore::*)();

void Drag(WindowCore& c) {
  // Any press arms; only moves with the left button held drag, each measured
  // from the press.
  c.Image0MouseDown(10, 5);
  c.Image0MouseMove(40, 40, false);
  c.Image0MouseMove(25, -2, true);
  c.Image0MouseMove(7, 9, true);
}

void DragAfterTheListDropped(WindowCore& c) {
  c.Image0MouseDown(50, 50);
  c.ComboBox1DropDown();
  c.Image0MouseMove(80, 90, true);
}

TEST(WindowCore, EachEventDrivesTheViewAsItShould) {
  const std::string de = "OpenAddress " + FindLanguage(kGerman)->homepageUrl;
  const std::string sk = "OpenAddress " + FindLanguage(kSlovak)->homepageUrl;
  const std::string open = "OpenFolder Kalvoran Downloader";
  const std::string start = "SetEnabled Button1 0|SetText Label1 v 2.0|";
  struct Case {
    std::string given;  // "key=...", "clipboard=...", "folder", "Slovak"; before it: FormCreate
    std::function<void(WindowCore&)> event;
    std::string expected;  // the calls, "|" between; a trailing "..." allows more
  };
  const auto on = [](Event e) { return [e](WindowCore& c) { (c.*e)(); }; };
  const std::vector<Case> cases = {
      {"fresh", on(&WindowCore::FormCreate),
       start + "SetCaptionGreyed BitBtn1 1|SetPicture BitBtn1 FolderGrey|SetText Label6|"
               "SetPicture Image8 FlagDe|ApplyToolkitLanguage de|..."},
      {"fresh folder", on(&WindowCore::FormCreate),
       start + "SetCaptionGreyed BitBtn1 0|SetPicture BitBtn1 Folder|..."},
      {"", on(&WindowCore::FormShow), "FocusKey"},
      {"key=", on(&WindowCore::RichEdit1Change), "CaretToStart|SetEnabled Button1 0"},
      {"key=   ", on(&WindowCore::RichEdit1Change), "CaretToStart|SetEnabled Button1 1"},
      {"key=\n", on(&WindowCore::RichEdit1Change), "CaretToStart|SetEnabled Button1 1"},
      {"key=old clipboard=K1", on(&WindowCore::Vloi1Click),
       "ClearKey|CaretToStart|SetEnabled Button1 0|PasteKey|CaretToStart|SetEnabled Button1 1|"
       "CaretToStart"},
      {"key=x", on(&WindowCore::Zmaza1Click),
       "ClearKey|CaretToStart|SetEnabled Button1 0|CaretToStart"},
      {"", on(&WindowCore::Vybravetko1Click), "SelectAllKey"},
      {"", on(&WindowCore::Image1Click), "DropList 1"},
      {"", on(&WindowCore::Image2Click), "DropList 0"},
      {"", on(&WindowCore::ComboBox1DropDown), "BringToFront Image2"},
      {"", on(&WindowCore::ComboBox1CloseUp), "BringToFront Image1"},
      {"", on(&WindowCore::BitBtn1Click),
       "SetCaptionGreyed BitBtn1 1|SetPicture BitBtn1 FolderGrey"},
      {"folder", on(&WindowCore::BitBtn1Click),
       "SetCaptionGreyed BitBtn1 0|SetPicture BitBtn1 Folder|" + open},
      {"", on(&WindowCore::Image5Click), "Minimise"},
      {"", on(&WindowCore::Image8Click), de},
      {"Slovak", on(&WindowCore::Image8Click), sk},
      {"", [](WindowCore& c) { c.ZmenitJazyk(Component::kEN1); },
       "SetPicture Image8 FlagEn|ApplyToolkitLanguage en|..."},
      {"", [](WindowCore& c) { c.ZmenitJazyk(Component::kButton1); }, ""},
      {"", Drag, "MoveWindowBy 15 -7|MoveWindowBy -3 4"},
      {"", DragAfterTheListDropped, "BringToFront Image2"},
      {"", on(&WindowCore::Button2Click), "CloseWindow"},  // idle: asks nothing
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.given + " -> " + c.expected);
    test::FakeView view;
    if (c.given.rfind("fresh", 0) != 0) view.core.FormCreate();
    if (c.given.find("folder") != std::string::npos) view.folders.insert("Kalvoran Downloader");
    if (c.given == "Slovak") view.core.ZmenitJazyk(Component::kSK1);
    if (c.given.rfind("key=", 0) == 0) view.key = c.given.substr(4, c.given.find(" clip") - 4);
    if (const auto at = c.given.find("clipboard="); at != std::string::npos) {
      view.clipboard = c.given.substr(at + 10);
    }
    view.Take();
    c.event(view.core);
    std::string log;
    for (const std::string& line : view.Take()) log += (log.empty() ? "" : "|") + line;
    const bool more = c.expected.ends_with("...");
    const std::string want = more ? c.expected.substr(0, c.expected.size() - 3) : c.expected;
    EXPECT_EQ(more ? log.substr(0, want.size()) : log, want);
  }
}

// Return, Space and the context-menu key on the focused component.
TEST(WindowCore, KeysActOnTheFocusedComponentOrPassToTheToolkit) {
  using K = WindowKey;
  using C = Component;
  const std::string de = "OpenAddress " + FindLanguage(kGerman)->homepageUrl;
  struct Case {
    C focused;
    K key;
    bool handled;
    std::string calls;
  };
  const std::vector<Case> cases = {
      {C::kButton2, K::kReturn, true, "CloseWindow"},
      {C::kBitBtn1, K::kReturn, true, "SetCaptionGreyed BitBtn1 1|SetPicture BitBtn1 FolderGrey"},
      {C::kButton1, K::kReturn, true, ""},  // disabled: no key, no job
      {C::kButton1, K::kSpace, false, ""},  // the toolkit's own press
      {C::kImage8, K::kReturn, true, de},
      {C::kImage8, K::kSpace, true, de},
      {C::kImage5, K::kReturn, true, "Minimise"},
      {C::kImage8, K::kContextMenu, true, "ShowMenu PopupMenu2 Image8"},
      {C::kRichEdit1, K::kContextMenu, true, "ShowMenu PopupMenu1 RichEdit1"},
      {C::kRichEdit1, K::kReturn, false, ""},  // a new line
      {C::kComboBox1, K::kReturn, false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(ComponentName(c.focused)) + " " + std::to_string(int(c.key)));
    test::FakeView view;
    view.core.FormCreate();
    view.Take();
    EXPECT_EQ(view.core.KeyDown(c.focused, c.key), c.handled);
    std::string log;
    for (const std::string& line : view.Take()) log += (log.empty() ? "" : "|") + line;
    EXPECT_EQ(log, c.calls);
  }
}

// The language chosen last comes back at the next start, with the names a
// screen reader announces in that language.
TEST(WindowCore, TheLanguageChosenLastSpeaksAtTheNextStart) {
  const struct {
    std::string stored, flag;
  } starts[] = {{"", "FlagDe"}, {"en", "FlagEn"}, {"cz", "FlagCz"}, {"xx", "FlagDe"}};
  for (const auto& start : starts) {
    test::FakeView view;
    view.store.stored = start.stored;
    view.core.FormCreate();
    const auto log = view.Take();
    EXPECT_NE(std::find(log.begin(), log.end(), "SetPicture Image8 " + start.flag), log.end())
        << start.stored;
  }
  test::FakeView view;
  view.core.FormCreate();
  view.core.ZmenitJazyk(Component::kSK1);
  EXPECT_EQ(view.store.saved, "sk");
  view.Take();
  view.core.ZmenitJazyk(Component::kEN1);
  EXPECT_EQ(view.store.saved, "en");
  // English now: every control without text of its own has its name.
  std::string named;
  for (const std::string& line : view.Take()) {
    if (line.rfind("SetAccessibleText ", 0) == 0)
      named += line.substr(18, line.find(' ', 18) - 18) + " ";
  }
  EXPECT_EQ(named, "RichEdit1 Image8 Image5 ProgressBar1 ");
}

TEST(WindowCore, EveryLanguageNamesTheSameControlsInItsOwnWords) {
  for (std::uint8_t language = 0; language < kLanguageCount; ++language) {
    const auto& texts = AccessibleTexts(language);
    ASSERT_EQ(texts.size(), AccessibleTexts(kEnglish).size());
    for (std::size_t i = 0; i < texts.size(); ++i) {
      EXPECT_EQ(texts[i].component, AccessibleTexts(kEnglish)[i].component);
      EXPECT_FALSE(texts[i].name.empty() || texts[i].description.empty());
      if (language != kEnglish) {
        EXPECT_NE(texts[i].description, AccessibleTexts(kEnglish)[i].description);
      }
    }
  }
  EXPECT_EQ(Cp1250ToUtf8(AccessibleTexts(kSlovak)[0].name), "Sťahovací kľúč");
  EXPECT_TRUE(AccessibleTexts(kLanguageCount).empty());
}

}  // namespace
}  // namespace kalvoran
