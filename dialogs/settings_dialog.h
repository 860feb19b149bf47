// SPDX-License-Identifier: GPL-3.0-or-later
// The pattern every settings dialog follows: showing fills the controls from the record; any edit
// sets the changed flag and enables the accept and cancel buttons; accepting stores the controls
// into the record (after a question when it comes from closing) and refills; cancelling refills.
#pragma once

#include <QCoreApplication>

#include <QWidget>
#include <functional>
#include <optional>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

inline constexpr const char* kChangedQuestion =
    QT_TRANSLATE_NOOP("Messages", "Данные формы были изменены. Принять изменения?");

class TSettingsDialog : public QWidget {
  Q_DECLARE_TR_FUNCTIONS(TSettingsDialog)

 public:
  bool Changed() const { return changed_; }
  // Makes the dialog visible, in front, with the focus (also when it was visible already).
  void ShowAndFocus();

 protected:
  TSettingsDialog(const QString& caption, const QString& name);

  // The dialog's own steps: controls from the record, and controls into the record.
  virtual void FillControls() = 0;
  virtual void StoreControls() = 0;
  // OnShow and OnClose, which each dialog names after its own handlers.
  virtual void OnShow() = 0;
  virtual void OnClose() = 0;

  // The controls filled, then the flag cleared and both buttons disabled: filling texts fires the
  // controls' change handlers, which this last step undoes.
  void Fill();
  // ask: the accept comes from closing (or a tab change) and asks first; any answer but Yes
  // drops the changes. The dialog is refilled in every case.
  void Accept(bool ask);
  // The changed flag set and both buttons enabled.
  void MarkChanged();

  void SetButtons(QPushButton* accept, QPushButton* cancel);
  // Calls handler whenever the control's value changes, by the user or by a fill.
  static void OnChange(QLineEdit* control, const std::function<void()>& handler);
  static void OnChange(QComboBox* control, const std::function<void()>& handler);
  static void OnChange(QCheckBox* control, const std::function<void()>& handler);
  // The wheel turns the control (a list, the channel tabs) only while it has the keyboard focus.
  static void WheelWithFocusOnly(QWidget* control);
  // The item index of a list, or nothing without a valid selection.
  static std::optional<int> Selection(const QComboBox* control);

  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  bool changed_ = false;
  QPushButton* accept_ = nullptr;
  QPushButton* cancel_ = nullptr;
};
