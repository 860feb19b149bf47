// SPDX-License-Identifier: GPL-3.0-or-later
// The logic signalling dialog: which logic output each event of the channels and of the module
// drives, and two durations of the module's outputs and display.
#pragma once

#include <QCoreApplication>

#include <QComboBox>
#include <QPushButton>
#include <array>

#include "dialogs/settings_dialog.h"
#include "gui/text_edit.h"
#include "settings/system_rules.h"

class TFormLogic : public TSettingsDialog {
  Q_DECLARE_TR_FUNCTIONS(TFormLogic)

 public:
  TFormLogic();

  // Handlers, named as the program names them.
  void Activate_Form() { Out_data_form(); }
  void Out_data_form() { Fill(); }
  void Accept_data(bool ask) { Accept(ask); }
  void form_data_enter() { MarkChanged(); }
  void form_close() { Accept_data(true); }
  void Button1Click() { Accept_data(false); }
  void Button2Click() { Out_data_form(); }

  // The 40 lists in nibble order: ComboBox_ch1_0 .. ComboBox_ch4_7, then ComboBox_sys_0 .. _7.
  std::array<QComboBox*, kLogicEntries> ComboBox_tab{};
  TMaskEdit *MaskEdit_Start, *MaskEdit_Point;
  QPushButton *Button1, *Button2;

 protected:
  void FillControls() override;
  void StoreControls() override;
  void OnShow() override { Activate_Form(); }
  void OnClose() override { form_close(); }

 private:
  void BuildLayout();
};

extern TFormLogic* FormLogic;
