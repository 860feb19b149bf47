// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/settings_dialog.h"
#include "dialogs/dialog_layout.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>

#include "gui/message_box.h"
#include "link/module_commands.h"

TSettingsDialog::TSettingsDialog(const QString& caption, const QString& name) : QWidget(nullptr, Qt::Window) {
  setWindowTitle(caption);
  setObjectName(name);
  QFont font("DejaVu Sans");
  font.setPixelSize(11);
  setFont(font);
}

void TSettingsDialog::ShowAndFocus() {
  setWindowState(windowState() & ~Qt::WindowMinimized);
  show();
  raise();
  activateWindow();
}

void TSettingsDialog::Fill() {
  FillControls();
  changed_ = false;
  if (accept_ != nullptr) accept_->setEnabled(false);
  if (cancel_ != nullptr) cancel_->setEnabled(false);
}

void TSettingsDialog::Accept(bool ask) {
  if (ask && changed_ &&
      MessageBoxes().Show(kChangedQuestion, kAttentionCaption, BoxButtons::YesNo) != BoxAnswer::Yes)
    changed_ = false;
  if (changed_) StoreControls();
  Fill();
}

void TSettingsDialog::MarkChanged() {
  changed_ = true;
  if (accept_ != nullptr) accept_->setEnabled(true);
  if (cancel_ != nullptr) cancel_->setEnabled(true);
}

void TSettingsDialog::SetButtons(QPushButton* accept, QPushButton* cancel) {
  accept_ = accept;
  cancel_ = cancel;
}

void TSettingsDialog::OnChange(QLineEdit* control, const std::function<void()>& handler) {
  QObject::connect(control, &QLineEdit::textChanged, control, [handler] { handler(); });
}

namespace {

// Turning the wheel over a list it passes on the way (forty of them in the logic dialog) must not
// change it: a list takes the wheel only once it has the keyboard focus.
class WheelGuard : public QObject {
 public:
  explicit WheelGuard(QWidget* control) : QObject(control) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::Wheel || static_cast<QWidget*>(watched)->hasFocus()) return false;
    event->ignore();
    return true;
  }
};

}  // namespace

void TSettingsDialog::OnChange(QComboBox* control, const std::function<void()>& handler) {
  QObject::connect(control, &QComboBox::currentIndexChanged, control, [handler] { handler(); });
  // Nor does the wheel give the focus (the bit WheelFocus adds to StrongFocus); the rest of the
  // list's focus policy is its own.
  const int wheelOnly = Qt::WheelFocus & ~Qt::StrongFocus;
  control->setFocusPolicy(static_cast<Qt::FocusPolicy>(control->focusPolicy() & ~wheelOnly));
  WheelWithFocusOnly(control);
}

void TSettingsDialog::WheelWithFocusOnly(QWidget* control) {
  control->installEventFilter(new WheelGuard(control));
}

void TSettingsDialog::OnChange(QCheckBox* control, const std::function<void()>& handler) {
  QObject::connect(control, &QCheckBox::toggled, control, [handler] { handler(); });
}

std::optional<int> TSettingsDialog::Selection(const QComboBox* control) {
  const int index = control->currentIndex();
  if (index < 0 || index >= control->count()) return std::nullopt;
  return index;
}

// Only the program's own showing fills: a window coming back from being minimised keeps its edits.
void TSettingsDialog::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!event->spontaneous()) OnShow();
}

void TSettingsDialog::closeEvent(QCloseEvent* event) {
  OnClose();
  event->accept();  // the dialog hides; it lives on until the program ends
}
