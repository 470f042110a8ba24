// The window's behaviour through a fake view: each event, from a known state,
// and the view calls it makes, in order.
#include <gtest/gtest.h>

#include <string>
#include <vector>

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

}  // namespace
}  // namespace kalvoran
