#pragma once
// The dialogs of the running program: Qt's message boxes over the window.
#include "dialogs.h"

class QMessageBox;
class QWidget;

namespace kalvoran {

class MessageBoxDialogs final : public Dialogs {
 public:
  // owner may be set later; the boxes are centred over it.
  explicit MessageBoxDialogs(QWidget* owner = nullptr) : owner_(owner) {}
  void SetOwner(QWidget* owner) { owner_ = owner; }

  void ShowMessage(const QString& title, const QString& text) override;
  void ShowError(const QString& text) override;
  bool AskWarning(const QString& text) override;
  void WithdrawQuestion() override;

 private:
  QWidget* owner_;
  QMessageBox* question_ = nullptr;  // while AskWarning's box is open
};

}  // namespace kalvoran
