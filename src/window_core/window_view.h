#pragma once
// What the window's behaviour asks of a window toolkit: the components by
// name, the pictures by name, and the calls that change what the user sees,
// ask the user something or hand something to the desktop. A front-end (Qt,
// Win32) implements it over its own widgets; the behaviour itself lives in
// WindowCore and drives only this interface. Texts are Windows-1250.
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kalvoran {

// Every component of the window, in the layout's order.
enum class Component {
  kForm1,
  kPanel4,
  kImage0,
  kLabel4,
  kLabel1,
  kComboBox1,
  kPanel2,
  kShape1,
  kImage2,
  kImage1,
  kPanel3,
  kShape2,
  kImage5,
  kLabel2,
  kShape3,
  kImage8,
  kButton1,
  kButton2,
  kLabel6,
  kPanel1,
  kProgressBar1,
  kImage4,
  kBitBtn1,
  kRichEdit1,
  kTimer1,
  kPopupMenu1,
  kVloi1,
  kVybravetko1,
  kZmaza1,
  kPopupMenu2,
  kCZ1,
  kDE1,
  kEN1,
  kSK1,
};

// The component's name, which front-ends give their widget ("Button1").
const char* ComponentName(Component component);

// The window's pictures.
enum class Art {
  kSkin,
  kArrowOpen,
  kArrowClose,
  kMinimise,
  kFolder,
  kFolderGrey,
  kFlagSk,
  kFlagCz,
  kFlagEn,
  kFlagDe,
  kActivity0,
  kActivity1,
  kActivity2,
  kActivity3,
  kTray0,
  kTray1,
  kTray2,
  kTray3,
};

class WindowView {
 public:
  virtual ~WindowView() = default;

  // -- components --
  // A caption, a label's text or a menu item's text.
  virtual void SetText(Component component, const std::string& text) = 0;
  virtual void SetHint(Component component, const std::string& hint) = 0;
  virtual void SetEnabled(Component component, bool enabled) = 0;
  virtual void SetVisible(Component component, bool visible) = 0;
  // The caption in the system's grey-text colour instead of its window-text
  // colour; the component stays usable.
  virtual void SetCaptionGreyed(Component component, bool greyed) = 0;
  // A picture control's picture, or a button's glyph.
  virtual void SetPicture(Component component, Art picture) = 0;
  virtual void BringToFront(Component component) = 0;
  // The instruction list's lines, the first one shown.
  virtual void SetListItems(const std::vector<std::string>& items) = 0;
  virtual void DropList(bool down) = 0;
  virtual void SetBar(int position, int maximum) = 0;
  // What a screen reader announces for the component: its name, then its
  // description.
  virtual void SetAccessibleText(Component component, const std::string& name,
                                 const std::string& description) = 0;
  // Opens a pop-up menu at a component, as a right click there does.
  virtual void ShowMenu(Component menu, Component at) = 0;

  // -- the key field --
  // All of its text, lines separated by "\n".
  virtual std::string KeyText() = 0;
  // Each change of the text, these included, calls WindowCore::RichEdit1Change.
  virtual void ClearKey() = 0;
  virtual void PasteKey() = 0;  // the clipboard's text at the caret
  virtual void SelectAllKey() = 0;
  // The caret at the start, nothing selected, the start scrolled into view.
  virtual void CaretToStart() = 0;
  virtual void FocusKey() = 0;

  // -- the window --
  virtual void SetTitle(const std::string& title) = 0;
  // The task bar's icon: one of the job's pictures, or the program's own.
  virtual void SetTaskbarIcon(std::optional<Art> icon) = 0;
  // Moves the window right, then down (a drag).
  virtual void MoveWindowBy(int dx, int dy) = 0;
  virtual void Minimise() = 0;
  // Back from the task bar if minimised, in front and active.
  virtual void RestoreAndActivate() = 0;
  // Closes the window, which ends the program; WindowCore::FormClose runs.
  virtual void CloseWindow() = 0;
  // Timer1: WindowCore::Timer1Timer every 500 ms while started.
  virtual void StartTimer() = 0;
  virtual void StopTimer() = 0;
  // Runs `call` soon on the user-interface thread; callable from any thread.
  virtual void Post(std::function<void()> call) = 0;
  // The toolkit's own texts (the dialogs' buttons) in the window's language.
  virtual void ApplyToolkitLanguage(const std::string& langCode) = 0;

  // -- dialogs, each modal until dismissed --
  virtual void ShowMessage(const std::string& title, const std::string& text) = 0;
  virtual void ShowError(const std::string& text) = 0;
  // Warning with Yes and No; true only for Yes.
  virtual bool AskWarning(const std::string& text) = 0;
  // Closes the open AskWarning dialog as No would; called from within it
  // (the timer runs while a dialog is open).
  virtual void WithdrawQuestion() = 0;

  // -- the desktop; paths relative to the working directory, failures ignored --
  virtual void OpenAddress(const std::string& url) = 0;
  virtual void OpenFolder(const std::string& path) = 0;
  virtual void OpenFile(const std::string& path) = 0;
  virtual bool IsFolder(const std::string& path) = 0;
  virtual bool IsFile(const std::string& path) = 0;
};

}  // namespace kalvoran
