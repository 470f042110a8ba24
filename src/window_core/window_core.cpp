// The window's behaviour: start-up, dragging, the key field, the instruction
// list, the flag, minimise, the open-folder button and the languages. The
// download job's handlers are in window_core_job.cpp.
#include "window_core.h"

#include "accessible_texts.h"
#include "app_constants.h"
#include "download_thread.h"
#include "language_state.h"
#include "language_tables.h"
#include "window_layout.h"

namespace kalvoran {

WindowCore::WindowCore(WindowView& view, LanguageStore* languages)
    : view_(view), languages_(languages) {}

WindowCore::~WindowCore() {
  // The worker calls back into the core until its thread has ended.
  worker_.reset();
}

void WindowCore::FormCreate() {
  SetDownloadEnabled(false);
  view_.SetText(Component::kLabel1, kVersionLabel);
  SetEnableBitBtn1(view_.IsFolder(kDownloadFolder));
  view_.SetText(Component::kLabel6, "");
  // The language chosen last, else German.
  std::uint8_t language = kGerman;
  const std::string stored = languages_ ? languages_->Load() : std::string();
  for (std::uint8_t index = 0; index < kLanguageCount; ++index) {
    if (!stored.empty() && FindLanguage(index)->langCode == stored) language = index;
  }
  Preklad(language);
}

void WindowCore::FormShow() {
  view_.FocusKey();
}

void WindowCore::Image0MouseDown(int X, int Y) {
  // Any button arms.
  drag_.Press({X, Y});
}

void WindowCore::Image0MouseMove(int X, int Y, bool leftButtonHeld) {
  if (const auto shift = drag_.Move({X, Y}, leftButtonHeld)) {
    view_.MoveWindowBy(shift->X, shift->Y);
  }
}

void WindowCore::Image1Click() {
  view_.DropList(true);
}

void WindowCore::Image2Click() {
  view_.DropList(false);
}

void WindowCore::ComboBox1DropDown() {
  view_.BringToFront(Component::kImage2);
  drag_.Disarm();
}

void WindowCore::ComboBox1CloseUp() {
  view_.BringToFront(Component::kImage1);
}

void WindowCore::RichEdit1Change() {
  // Every change puts the caret back at the start, so the field always shows
  // the beginning of a long key; a character typed next lands before the
  // earlier ones.
  view_.CaretToStart();
  SetDownloadEnabled(!view_.KeyText().empty());
}

void WindowCore::Vloi1Click() {
  // Paste replaces the whole content.
  view_.ClearKey();
  view_.PasteKey();
  view_.CaretToStart();
}

void WindowCore::Vybravetko1Click() {
  view_.SelectAllKey();
}

void WindowCore::Zmaza1Click() {
  view_.ClearKey();
  view_.CaretToStart();
}

void WindowCore::SetEnableBitBtn1(bool enabled) {
  // The look only: the button stays clickable.
  view_.SetCaptionGreyed(Component::kBitBtn1, !enabled);
  view_.SetPicture(Component::kBitBtn1, ImageList1().images[enabled ? 0 : 1]);
}

void WindowCore::BitBtn1Click() {
  // The look follows the folder only when asked: here, at start and after a job.
  if (!view_.IsFolder(kDownloadFolder)) {
    SetEnableBitBtn1(false);
    return;
  }
  SetEnableBitBtn1(true);
  view_.OpenFolder(kDownloadFolder);
}

void WindowCore::Image5Click() {
  view_.Minimise();
}

void WindowCore::Image8Click() {
  view_.OpenAddress(HomepageUrl());
}

void WindowCore::Preklad(std::uint8_t index) {
  const LanguageTable* language = FindLanguage(index);
  // Only the four languages reach here: the start-up and the menu's tags.
  if (language == nullptr) return;
  view_.SetPicture(Component::kImage8,
                   ImageList4().images[static_cast<std::size_t>(language->flag)]);
  PublishLanguage(*language);
  view_.ApplyToolkitLanguage(language->langCode);
  view_.SetText(Component::kVloi1, language->paste);
  view_.SetText(Component::kVybravetko1, language->selectAll);
  view_.SetText(Component::kZmaza1, language->clear);
  view_.SetHint(Component::kImage5, language->minimiseHint);
  view_.SetText(Component::kLabel2, language->keyLabel);
  view_.SetText(Component::kButton1, language->download);
  view_.SetText(Component::kButton2, language->close);
  view_.SetText(Component::kBitBtn1, language->openFolder);
  view_.SetHint(Component::kImage8, language->homepageHint);
  view_.SetListItems(language->instructions);
  for (const AccessibleText& text : AccessibleTexts(index)) {
    view_.SetAccessibleText(text.component, text.name, text.description);
  }
}

void WindowCore::ZmenitJazyk(Component item) {
  const ComponentLayout& chosen = LayoutOf(item);
  if (chosen.kind != Kind::kMenuItem || chosen.parent != Component::kPopupMenu2) return;
  const auto index = static_cast<std::uint8_t>(chosen.tag & 0xFF);
  Preklad(index);
  if (languages_ && FindLanguage(index)) languages_->Save(FindLanguage(index)->langCode);
}

bool WindowCore::KeyDown(Component focused, WindowKey key) {
  if (key == WindowKey::kContextMenu) {
    if (focused == Component::kImage8) view_.ShowMenu(Component::kPopupMenu2, focused);
    if (focused == Component::kRichEdit1) view_.ShowMenu(Component::kPopupMenu1, focused);
    return focused == Component::kImage8 || focused == Component::kRichEdit1;
  }
  // Return presses the focused button (Space does so by the toolkit's own
  // means); the flag and the minimise picture, which act as buttons, take
  // both. Return in the key field starts a new line, as typed.
  const bool picture = focused == Component::kImage8 || focused == Component::kImage5;
  if (key == WindowKey::kSpace && !picture) return false;
  switch (focused) {
    case Component::kButton1:
      if (downloadEnabled_) Button1Click();
      return true;
    case Component::kButton2:
      Button2Click();
      return true;
    case Component::kBitBtn1:
      BitBtn1Click();
      return true;
    case Component::kImage8:
      Image8Click();
      return true;
    case Component::kImage5:
      Image5Click();
      return true;
    default:
      return false;
  }
}

void WindowCore::SetDownloadEnabled(bool enabled) {
  downloadEnabled_ = enabled;
  view_.SetEnabled(Component::kButton1, enabled);
}

void WindowCore::SetBar(int position, int maximum) {
  barPosition_ = position;
  barMaximum_ = maximum;
  view_.SetBar(position, maximum);
}

std::string WindowCore::LangCode() {
  return ::kalvoran::LangCode();
}

}  // namespace kalvoran
