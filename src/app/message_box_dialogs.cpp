#include "message_box_dialogs.h"

#include <QMessageBox>

namespace kalvoran {
namespace {

QMessageBox::StandardButton Run(QWidget* owner, QMessageBox::Icon icon, const QString& title,
                                const QString& text, QMessageBox::StandardButtons buttons,
                                QMessageBox::StandardButton escape) {
  QMessageBox box(icon, title, text, buttons, owner);
  box.setEscapeButton(escape);
  box.setTextFormat(Qt::PlainText);
  return static_cast<QMessageBox::StandardButton>(box.exec());
}

}  // namespace

void MessageBoxDialogs::ShowMessage(const QString& title, const QString& text) {
  Run(owner_, QMessageBox::NoIcon, title, text, QMessageBox::Ok, QMessageBox::Ok);
}

void MessageBoxDialogs::ShowError(const QString& text) {
  Run(owner_, QMessageBox::Critical, QStringLiteral("Error"), text, QMessageBox::Ok,
      QMessageBox::Ok);
}

bool MessageBoxDialogs::AskWarning(const QString& text) {
  QMessageBox box(QMessageBox::Warning, QStringLiteral("Warning"), text,
                  QMessageBox::Yes | QMessageBox::No, owner_);
  box.setEscapeButton(QMessageBox::No);
  box.setTextFormat(Qt::PlainText);
  question_ = &box;
  const int answer = box.exec();
  question_ = nullptr;
  return answer == QMessageBox::Yes;
}

void MessageBoxDialogs::WithdrawQuestion() {
  if (question_) question_->done(QMessageBox::No);
}

}  // namespace kalvoran
