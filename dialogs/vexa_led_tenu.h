// SPDX-License-Identifier: GPL-3.0-or-later
// The compact variant's LED dialog: which events of each channel and of the module light each of
// its group's two yellow LEDs and its red LED.
#pragma once

#include <QCoreApplication>

#include <QCheckBox>
#include <QPushButton>
#include <array>

#include "dialogs/settings_dialog.h"
#include "settings/system_rules.h"

class TForm_Led_tenu : public TSettingsDialog {
  Q_DECLARE_TR_FUNCTIONS(TForm_Led_tenu)

 public:
  TForm_Led_tenu();

  // Handlers, named as the program names them.
  void ActivateForm() { Out_data_form(); }
  void Out_data_form() { Fill(); }
  void Accept_data(bool ask) { Accept(ask); }
  void Data_enter() { MarkChanged(); }
  void Close_form() { Accept_data(true); }
  void Button1Click() { Accept_data(false); }
  void Button2Click() { Out_data_form(); }

  // Entry 24 * group + 8 * LED + event: CheckBox_ch0_y1_0 .. CheckBox_ch3_rd_7, CheckBox_sys_y1_0 ..
  // CheckBox_sys_rd_7.
  std::array<QCheckBox*, kLedEntries> CheckBox_tab{};
  QPushButton *Button1, *Button2;

 protected:
  void FillControls() override;
  void StoreControls() override;
  void OnShow() override { ActivateForm(); }
  void OnClose() override { Close_form(); }

 private:
  void BuildLayout();
};

extern TForm_Led_tenu* Form_Led_tenu;
