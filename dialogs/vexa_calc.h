// SPDX-License-Identifier: GPL-3.0-or-later
// The coefficient calculator: reference points measured during commissioning in, a channel's
// conversion coefficients out, written into the channel's settings and shown in the channel dialog.
#pragma once

#include <QCoreApplication>

#include <QPushButton>
#include <array>

#include "dialogs/settings_dialog.h"
#include "gui/colors.h"
#include "gui/text_edit.h"
#include "settings/calc_rules.h"

inline constexpr const char* kResultsCaption = QT_TRANSLATE_NOOP("Messages", "Результаты");

class TForm_Calc : public TSettingsDialog {
  Q_DECLARE_TR_FUNCTIONS(TForm_Calc)

 public:
  TForm_Calc();

  // Handlers, named as the program names them.
  void Form_init() { Out_calc_form(); }
  void Out_calc_form() { Fill(); }
  void Accept_data(bool ask) { Accept(ask); }
  void Data_change() { MarkChanged(); }
  void key_enter_test(char key) {
    if (key == '\r') Accept_data(false);
  }
  void Form_close() { Accept_data(true); }
  void Calc_chanel(int c);
  void Button1Click() { Calc_chanel(0); }
  void Button2Click() { Calc_chanel(1); }
  void Button3Click() { Calc_chanel(2); }
  void Button4Click() { Calc_chanel(3); }
  void Button5Click();
  void Button_EnterClick() { Accept_data(false); }
  void Button_EscClick() { Out_calc_form(); }

  // The accepted values; kept while the program runs, zero at start. The text report reads the ranges.
  TCalcValues Values;
  const TCalcFlags& Flags() const { return flags_; }

  // Controls, by their designer names; the 20 per-channel points are entry 4 * row + c of the table.
  TEdit *Edit_const, *Edit_Vrms_N, *Edit_Vrms_V, *Edit_Out_N, *Edit_Out_V;
  std::array<TMaskEdit*, kCalcPointRows * 4> MaskEdit_tab{};
  // "Вычислить" under channels 1 to 4.
  QPushButton *Button1 = nullptr, *Button2 = nullptr, *Button3 = nullptr, *Button4 = nullptr;
  QPushButton *Button5 = nullptr, *Button_Enter = nullptr, *Button_Esc = nullptr;

 protected:
  void FillControls() override;
  void StoreControls() override;
  void OnShow() override { Form_init(); }
  void OnClose() override { Form_close(); }

 private:
  void BuildLayout();

  TCalcFlags flags_;  // of the last fill; the computation uses these
};

extern TForm_Calc* Form_Calc;
