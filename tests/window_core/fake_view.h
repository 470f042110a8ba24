#pragma once
// A view without a toolkit: it records every call as one line ("SetEnabled
// Button1 0"), keeps the key field's text, answers from settable values, and
// runs what the core posts when the test says so, on the test's thread.
#include <filesystem>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "window_core.h"
#include "window_view.h"

namespace kalvoran::test {

class FakeView final : public WindowView {
 public:
  FakeView() : core(*this, &store) {}

  // The recorded calls since the last Take.
  std::vector<std::string> Take() {
    std::lock_guard lock(mutex_);
    return std::exchange(log_, {});
  }
  // Runs the posted calls, those they post included.
  void RunPosted() {
    for (;;) {
      std::vector<std::function<void()>> calls;
      {
        std::lock_guard lock(mutex_);
        calls.swap(posted_);
      }
      if (calls.empty()) return;
      for (auto& call : calls) call();
    }
  }

  void SetText(Component c, const std::string& s) override { Log("SetText", c, s); }
  void SetHint(Component c, const std::string& s) override { Log("SetHint", c, s); }
  void SetEnabled(Component c, bool on) override { Log("SetEnabled", c, on ? "1" : "0"); }
  void SetVisible(Component c, bool on) override { Log("SetVisible", c, on ? "1" : "0"); }
  void SetCaptionGreyed(Component c, bool on) override {
    Log("SetCaptionGreyed", c, on ? "1" : "0");
  }
  void SetPicture(Component c, Art art) override { Log("SetPicture", c, Name(art)); }
  void BringToFront(Component c) override { Log("BringToFront", c, ""); }
  void SetListItems(const std::vector<std::string>& items) override {
    Add("SetListItems " + std::to_string(items.size()));
  }
  void DropList(bool down) override { Add(down ? "DropList 1" : "DropList 0"); }
  void SetBar(int position, int maximum) override {
    Add("SetBar " + std::to_string(position) + "/" + std::to_string(maximum));
  }
  void SetAccessibleText(Component c, const std::string& name, const std::string& d) override {
    Log("SetAccessibleText", c, name + " / " + d);
  }
  void ShowMenu(Component menu, Component at) override {
    Add(std::string("ShowMenu ") + ComponentName(menu) + " " + ComponentName(at));
  }
  std::string KeyText() override { return key; }
  // Like a toolkit's edit field, every change of the text reports itself.
  void ClearKey() override { Add("ClearKey"), key.clear(), core.RichEdit1Change(); }
  void PasteKey() override { Add("PasteKey"), key = clipboard, core.RichEdit1Change(); }
  void SelectAllKey() override { Add("SelectAllKey"); }
  void CaretToStart() override { Add("CaretToStart"); }
  void FocusKey() override { Add("FocusKey"); }
  void SetTitle(const std::string& title) override { Add("SetTitle " + title); }
  void SetTaskbarIcon(std::optional<Art> icon) override {
    Add(std::string("SetTaskbarIcon ") + (icon ? Name(*icon) : "program"));
  }
  void MoveWindowBy(int dx, int dy) override {
    Add("MoveWindowBy " + std::to_string(dx) + " " + std::to_string(dy));
  }
  void Minimise() override { Add("Minimise"); }
  void RestoreAndActivate() override { Add("RestoreAndActivate"); }
  void CloseWindow() override { Add("CloseWindow"), closed = true, core.FormClose(); }
  void StartTimer() override { timer = true; }
  void StopTimer() override { timer = false; }
  void Post(std::function<void()> call) override {
    std::lock_guard lock(mutex_);
    posted_.push_back(std::move(call));
  }
  void ApplyToolkitLanguage(const std::string& code) override {
    Add("ApplyToolkitLanguage " + code);
  }
  void ShowMessage(const std::string& title, const std::string& text) override {
    Add("ShowMessage " + title + ": " + text);
  }
  void ShowError(const std::string& text) override { Add("ShowError " + text); }
  // Answers answerYes, unless duringQuestion withdrew the question.
  bool AskWarning(const std::string& text) override {
    Add("AskWarning " + text);
    withdrawn = false;
    if (duringQuestion) duringQuestion();
    return answerYes && !withdrawn;
  }
  void WithdrawQuestion() override { Add("WithdrawQuestion"), withdrawn = true; }
  void OpenAddress(const std::string& url) override { Add("OpenAddress " + url); }
  void OpenFolder(const std::string& path) override { Add("OpenFolder " + path); }
  void OpenFile(const std::string& path) override { Add("OpenFile " + path); }
  // As `folders` says, else as the working directory holds.
  bool IsFolder(const std::string& p) override {
    return folders.count(p) > 0 || std::filesystem::is_directory(p);
  }
  bool IsFile(const std::string& p) override { return std::filesystem::is_regular_file(p); }

  std::string key;  // the key field's text
  std::string clipboard;
  std::set<std::string> folders;
  bool answerYes = false;  // to AskWarning
  std::function<void()> duringQuestion;
  bool withdrawn = false;
  bool timer = false;  // Timer1 runs
  bool closed = false;

 private:
  // "FlagDe" for Art::kFlagDe.
  static const char* Name(Art art) {
    static const char* const kNames[] = {
        "Skin",      "ArrowOpen", "ArrowClose", "Minimise", "Folder",    "FolderGrey",
        "FlagSk",    "FlagCz",    "FlagEn",     "FlagDe",   "Activity0", "Activity1",
        "Activity2", "Activity3", "Tray0",      "Tray1",    "Tray2",     "Tray3"};
    return kNames[static_cast<int>(art)];
  }
  void Add(std::string line) {
    std::lock_guard lock(mutex_);
    log_.push_back(std::move(line));
  }
  void Log(const char* call, Component c, const std::string& value) {
    Add(std::string(call) + " " + ComponentName(c) + (value.empty() ? "" : " " + value));
  }

  std::mutex mutex_;  // the log and the posted calls: the worker posts
  std::vector<std::string> log_;
  std::vector<std::function<void()>> posted_;

 public:
  // The language kept between starts: `stored` is loaded, `saved` saved.
  struct Store final : LanguageStore {
    std::string Load() override { return stored; }
    void Save(const std::string& code) override { saved = code; }
    std::string stored, saved;
  } store;
  // Last: its worker calls back into the view until the core is gone.
  WindowCore core;
};

}  // namespace kalvoran::test
