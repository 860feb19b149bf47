// SPDX-License-Identifier: GPL-3.0-or-later
// The interface settings dialog: the module's RS485 and CAN2.0B field-bus interfaces.
#pragma once

#include <QCoreApplication>

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>

#include "dialogs/settings_dialog.h"
#include "gui/text_edit.h"

class TFormInterf : public TSettingsDialog {
  Q_DECLARE_TR_FUNCTIONS(TFormInterf)

 public:
  TFormInterf();

  // Handlers, named as the program names them.
  void ActivForm() { Out_data_form(); }
  void Out_data_form() { Fill(); }
  void Accept_data(bool ask) { Accept(ask); }
  void Data_enter() { MarkChanged(); }
  void Form_close() { Accept_data(true); }
  void Button1Click() { Accept_data(false); }
  void Button2Click() { Out_data_form(); }

  // Controls, by their designer names.
  QCheckBox *CheckBox_RS485_En, *CheckBox_RS485_wr, *CheckBox_CAN_En, *CheckBox_Pres;
  QCheckBox *CheckBox_CAN_0, *CheckBox_CAN_1, *CheckBox_CAN_2, *CheckBox_CAN_3;
  QComboBox *ComboBox_RS485_speed, *ComboBox_CAN_Speed;
  TMaskEdit *MaskEdit_RS485_adres, *MaskEdit_CAN_adres, *MaskEdit_CAN_Time;
  QPushButton *Button1, *Button2;

 protected:
  void FillControls() override;
  void StoreControls() override;
  void OnShow() override { ActivForm(); }
  void OnClose() override { Form_close(); }

 private:
  void BuildLayout();
};

extern TFormInterf* FormInterf;
