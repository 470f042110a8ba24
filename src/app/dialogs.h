#pragma once
// The standard dialogs the window shows, each modal until dismissed.
#include <QString>

namespace kalvoran {

class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // A plain message without icon and one OK button.
  virtual void ShowMessage(const QString& title, const QString& text) = 0;
  // The error dialog: error icon, caption "Error", one OK button.
  virtual void ShowError(const QString& text) = 0;
  // The warning dialog: warning icon, caption "Warning", Yes and No; true only
  // for Yes (No, Escape or closing the dialog give false).
  virtual bool AskWarning(const QString& text) = 0;
  // Closes the open AskWarning dialog as No does (from within it).
  virtual void WithdrawQuestion() = 0;
};

}  // namespace kalvoran
