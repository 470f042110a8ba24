#pragma once
// The program's window on Windows: a borderless layered window whose fuchsia
// pixels are cut away (the colour key), with Win32 controls built from the
// window core's layout. Their events go to the core's handlers; the core's
// requests become Win32 calls. Texts go through UTF-16.
#include <windows.h>
// After windows.h, which it needs.
#include <oleacc.h>

#include <array>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "launcher.h"
#include "window_core.h"
#include "window_layout.h"
#include "window_view.h"

namespace kalvoran {

class Win32Window final : public WindowView {
 public:
  // Registers the window classes and creates the window, hidden. The
  // launcher, and the language store if there is one, must outlive the
  // window.
  Win32Window(HINSTANCE instance, Launcher& launcher, LanguageStore* languages = nullptr);
  ~Win32Window() override;
  Win32Window(const Win32Window&) = delete;
  Win32Window& operator=(const Win32Window&) = delete;

  HWND Handle() const { return window_; }
  // The component's window; nullptr for those without one (the menus).
  HWND Control(Component component) const;
  WindowCore& Core() { return core_; }
  // Shows the window centred on the screen; FormShow runs.
  void Show(int showCommand);
  // The message loop, until the window closes; the exit code.
  int Run();

  // -- the view --
  void SetText(Component component, const std::string& text) override;
  void SetHint(Component component, const std::string& hint) override;
  void SetEnabled(Component component, bool enabled) override;
  void SetVisible(Component component, bool visible) override;
  void SetCaptionGreyed(Component component, bool greyed) override;
  void SetPicture(Component component, Art picture) override;
  void BringToFront(Component component) override;
  void SetListItems(const std::vector<std::string>& items) override;
  void DropList(bool down) override;
  void SetBar(int position, int maximum) override;
  void SetAccessibleText(Component component, const std::string& name,
                         const std::string& description) override;
  void ShowMenu(Component menu, Component at) override;
  std::string KeyText() override;
  void ClearKey() override;
  void PasteKey() override;
  void SelectAllKey() override;
  void CaretToStart() override;
  void FocusKey() override;
  void SetTitle(const std::string& title) override;
  void SetTaskbarIcon(std::optional<Art> icon) override;
  void MoveWindowBy(int dx, int dy) override;
  void Minimise() override;
  void RestoreAndActivate() override;
  void CloseWindow() override;
  void StartTimer() override;
  void StopTimer() override;
  void Post(std::function<void()> call) override;
  void ApplyToolkitLanguage(const std::string& langCode) override;
  void ShowMessage(const std::string& title, const std::string& text) override;
  void ShowError(const std::string& text) override;
  bool AskWarning(const std::string& text) override;
  void WithdrawQuestion() override;
  void OpenAddress(const std::string& url) override;
  void OpenFolder(const std::string& path) override;
  void OpenFile(const std::string& path) override;
  bool IsFolder(const std::string& path) override;
  bool IsFile(const std::string& path) override;

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM w, LPARAM l);
  LRESULT Handle(UINT message, WPARAM w, LPARAM l);
  void BuildControls();
  void BuildMenus();
  // Places, sizes and letters every control at the density `dpi`, and draws
  // its pictures for it.
  void ApplyDpi(int dpi);
  void PlaceControl(const ComponentLayout& item);
  HFONT MakeFont(const Font& font) const;
  void LoadPicture(Component component);
  // An auto-sized label, sized to its text in its font.
  void FitToText(Component component);
  void OnCommand(int id, int code);
  void DrawFolderButton(const DRAWITEMSTRUCT& item);
  // Tab and Shift+Tab go round the keyboard order; true when it was one.
  bool MoveFocus(const MSG& message);
  // Return, Space, the context-menu key and Shift+F10 on a control go to
  // the core first; true when it acted (the key, and its release, are then
  // the core's alone).
  bool KeyToCore(const MSG& message);

  HINSTANCE instance_;
  Launcher& launcher_;
  HWND window_ = nullptr;
  HWND tooltips_ = nullptr;
  std::array<HWND, static_cast<std::size_t>(Component::kSK1) + 1> controls_{};
  std::array<bool, static_cast<std::size_t>(Component::kSK1) + 1> hinted_{};  // has a tool tip
  HMENU keyMenu_ = nullptr;
  HMENU languageMenu_ = nullptr;
  int dpi_ = USER_DEFAULT_SCREEN_DPI;
  std::array<HFONT, static_cast<std::size_t>(Component::kSK1) + 1> fonts_{};
  // The picture each picture control and the open-folder button show, drawn
  // again when the density changes.
  std::array<std::optional<Art>, static_cast<std::size_t>(Component::kSK1) + 1> pictures_{};
  std::mutex postMutex_;
  std::vector<std::function<void()>> posted_;
  bool captionGreyed_ = false;
  HBITMAP glyph_ = nullptr;  // the open-folder button's
  int glyphSize_ = 0;
  HICON programIcon_ = nullptr;
  HICON taskbarIcon_ = nullptr;  // a job's, while shown
  WPARAM swallowedKeyUp_ = 0;     // the release of a key the core took
  IAccPropServices* accessibility_ = nullptr;
  // Last: its worker calls back into the view until the core is gone.
  WindowCore core_;
};

}  // namespace kalvoran
