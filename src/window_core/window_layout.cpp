#include "window_layout.h"

#include <stdexcept>

#include "app_constants.h"

namespace kalvoran {

namespace {

using C = Component;

constexpr Colour kWhite{255, 255, 255};
constexpr Colour kSky{0, 157, 255};
constexpr Colour kFrameGold{235, 208, 134};
constexpr Font kDefault{Font::kSans, 11};
constexpr Font kBold{Font::kSans, 11, true};
constexpr Font kTitleBold{Font::kSans, 13, true};

ComponentLayout Make(C id, Kind kind, C parent, Rect rect) {
  ComponentLayout item{};
  item.id = id;
  item.kind = kind;
  item.parent = parent;
  item.rect = rect;
  return item;
}

std::vector<ComponentLayout> BuildLayout() {
  std::vector<ComponentLayout> all;
  const auto add = [&all](C id, Kind kind, C parent, Rect rect) -> ComponentLayout& {
    return all.emplace_back(Make(id, kind, parent, rect));
  };
  ComponentLayout& form =
      add(C::kForm1, Kind::kWindow, C::kForm1, {0, 0, kWindowSize, kWindowSize});
  form.font = kDefault;
  form.fill = kFuchsia;
  form.caption = kApplicationTitle;

  add(C::kPanel4, Kind::kPanel, C::kForm1, {0, 0, kWindowSize, kWindowSize}).fill = kFuchsia;
  ComponentLayout& skin = add(C::kImage0, Kind::kPicture, C::kPanel4, {0, 0, 465, 465});
  skin.picture = Art::kSkin;
  skin.dragSurface = true;

  ComponentLayout& product = add(C::kLabel4, Kind::kLabel, C::kPanel4, {152, 52, 164, 18});
  product.font = kTitleBold;
  product.text = kWhite;
  product.caption = kProductLabel;
  product.align = Align::kCentreTop;
  product.dragSurface = true;

  ComponentLayout& version = add(C::kLabel1, Kind::kLabel, C::kPanel4, {150, 109, 164, 18});
  version.font = Font{Font::kSans, 11, true, true};
  version.text = kWhite;
  version.align = Align::kCentreTop;
  version.dragSurface = true;

  add(C::kComboBox1, Kind::kList, C::kPanel4, {103, 127, 260, 21});

  // Lies over the list's right end and hides its own arrow button.
  add(C::kPanel2, Kind::kPanel, C::kPanel4, {343, 130, 17, 15});
  ComponentLayout& white = add(C::kShape1, Kind::kShape, C::kPanel2, {0, 0, 17, 15});
  white.pen = white.fill = kWhite;
  add(C::kImage2, Kind::kPicture, C::kPanel2, {0, 0, 17, 15}).picture = Art::kArrowClose;
  add(C::kImage1, Kind::kPicture, C::kPanel2, {0, 0, 17, 15}).picture = Art::kArrowOpen;

  add(C::kPanel3, Kind::kPanel, C::kPanel4, {303, 15, 20, 9});
  ComponentLayout& sky = add(C::kShape2, Kind::kShape, C::kPanel3, {0, 0, 20, 9});
  sky.pen = sky.fill = kSky;
  ComponentLayout& minimise = add(C::kImage5, Kind::kPicture, C::kPanel3, {0, 0, 20, 9});
  minimise.picture = Art::kMinimise;
  minimise.transparent = true;

  ComponentLayout& keyLabel = add(C::kLabel2, Kind::kLabel, C::kPanel4, {46, 220, 0, 0});
  keyLabel.font = kTitleBold;
  keyLabel.text = kWhite;
  keyLabel.autoSize = true;
  keyLabel.dragSurface = true;

  add(C::kShape3, Kind::kShape, C::kPanel4, {209, 297, 48, 25}).pen = kFrameGold;
  add(C::kImage8, Kind::kPicture, C::kPanel4, {210, 298, 46, 23});

  add(C::kButton1, Kind::kButton, C::kPanel4, {139, 336, 85, 25}).font = kBold;
  add(C::kButton2, Kind::kButton, C::kPanel4, {241, 336, 85, 25}).font = kBold;
  ComponentLayout& percent = add(C::kLabel6, Kind::kLabel, C::kPanel4, {72, 374, 40, 13});
  percent.font = kBold;
  percent.align = Align::kRightTop;

  add(C::kPanel1, Kind::kPanel, C::kPanel4, {115, 372, 235, 17}).raisedBevel = true;
  add(C::kProgressBar1, Kind::kBar, C::kPanel1, {1, 1, 233, 15});

  ComponentLayout& activity = add(C::kImage4, Kind::kPicture, C::kPanel4, {352, 370, 20, 20});
  activity.transparent = true;
  activity.visible = false;
  activity.dragSurface = true;

  ComponentLayout& folder = add(C::kBitBtn1, Kind::kButton, C::kPanel4, {144, 401, 177, 25});
  folder.font = kBold;
  folder.picture = Art::kFolder;

  // The key field lies on the window itself, above the panel.
  add(C::kRichEdit1, Kind::kEdit, C::kForm1, {46, 240, 377, 46}).font = Font{Font::kSerif, 13};

  add(C::kTimer1, Kind::kTimer, C::kForm1, {});
  add(C::kPopupMenu1, Kind::kMenu, C::kRichEdit1, {});
  add(C::kVloi1, Kind::kMenuItem, C::kPopupMenu1, {});
  add(C::kVybravetko1, Kind::kMenuItem, C::kPopupMenu1, {});
  add(C::kZmaza1, Kind::kMenuItem, C::kPopupMenu1, {});
  add(C::kPopupMenu2, Kind::kMenu, C::kImage8, {});
  // The language menu's items carry their language as their tag.
  const auto language = [&add](C id, const char* caption, int tag) {
    ComponentLayout& item = add(id, Kind::kMenuItem, C::kPopupMenu2, {});
    item.caption = caption;
    item.tag = tag;
  };
  language(C::kCZ1, "CZ", 1);
  language(C::kDE1, "DE", 3);
  language(C::kEN1, "EN", 2);
  language(C::kSK1, "SK", 0);
  return all;
}

}  // namespace

const char* ComponentName(Component component) {
  static const char* const kNames[] = {
      "Form1",  "Panel4",     "Image0",    "Label4",  "Label1",     "ComboBox1", "Panel2",
      "Shape1", "Image2",     "Image1",    "Panel3",  "Shape2",     "Image5",    "Label2",
      "Shape3", "Image8",     "Button1",   "Button2", "Label6",     "Panel1",    "ProgressBar1",
      "Image4", "BitBtn1",    "RichEdit1", "Timer1",  "PopupMenu1", "Vloi1",     "Vybravetko1",
      "Zmaza1", "PopupMenu2", "CZ1",       "DE1",     "EN1",        "SK1"};
  return kNames[static_cast<int>(component)];
}

const std::vector<ComponentLayout>& WindowLayout() {
  static const std::vector<ComponentLayout> layout = BuildLayout();
  return layout;
}

const ComponentLayout& LayoutOf(Component component) {
  for (const ComponentLayout& item : WindowLayout()) {
    if (item.id == component) return item;
  }
  throw std::logic_error("a component without a layout");
}

const ImageListLayout& ImageList1() {
  static const ImageListLayout list{19, 19, {Art::kFolder, Art::kFolderGrey}};
  return list;
}

const ImageListLayout& ImageList2() {
  static const ImageListLayout list{
      20, 20, {Art::kActivity0, Art::kActivity1, Art::kActivity2, Art::kActivity3}};
  return list;
}

const ImageListLayout& ImageList3() {
  static const ImageListLayout list{15, 15, {Art::kTray0, Art::kTray1, Art::kTray2, Art::kTray3}};
  return list;
}

const ImageListLayout& ImageList4() {
  static const ImageListLayout list{
      46, 23, {Art::kFlagSk, Art::kFlagCz, Art::kFlagEn, Art::kFlagDe}};
  return list;
}

const std::vector<Component>& TabOrder() {
  // The flag and the minimise picture last, so that the keyboard reaches
  // them too.
  static const std::vector<Component> order = {C::kRichEdit1, C::kBitBtn1, C::kButton1, C::kButton2,
                                               C::kComboBox1, C::kImage8,  C::kImage5};
  return order;
}

}  // namespace kalvoran
