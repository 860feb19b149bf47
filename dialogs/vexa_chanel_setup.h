// SPDX-License-Identifier: GPL-3.0-or-later
// The channel settings dialog: the settings of one measurement channel at a time, chosen by its tab,
// and a live test of the channel's analogue output zero.
#pragma once

#include <QCoreApplication>

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QTabBar>
#include <array>
#include <functional>

#include "dialogs/settings_dialog.h"
#include "gui/text_edit.h"
#include "gui/up_down.h"
#include "link/link_engine.h"
#include "settings/chanel_rules.h"

inline constexpr const char* kBlockOutputsFirst =
    QT_TRANSLATE_NOOP("Messages", "Необходимо заблокировать логические выходы!");

class TFormSetChanel : public TSettingsDialog {
  Q_DECLARE_TR_FUNCTIONS(TFormSetChanel)

 public:
  // The output test sends through engine; outputsBlocked tells whether the main window shows the
  // module's outputs as blocked.
  TFormSetChanel(LinkEngine& engine, std::function<bool()> outputsBlocked);

  // Handlers, named as the program names them.
  void SetChanelActiv() { Out_chanel_form(); }
  void Out_chanel_form() { Fill(); }
  void Accept_data(bool ask) { Accept(ask); }
  void data_enter() { MarkChanged(); }
  void form_close() { Accept_data(true); }
  void Button1Click() { Accept_data(false); }
  void Button2Click() { Out_chanel_form(); }
  void TabControl1Change() { Accept_data(true); }
  void Button_SetPwmClick();
  void UpDown_PwmClick();
  void Button_CalcTestClick();
  // Enables the two output-test controls together.
  void Set_pwm_enabled(bool on);
  bool PwmEnabled() const { return Button_SetPwm->isEnabled(); }
  // The channel whose values the controls hold (0..3).
  int ShownChanel() const { return shown_; }

  // Controls, by their designer names.
  QTabBar* TabControl1;
  QComboBox *ComboBox_Format, *ComboBox_Aprox;
  TEdit *Edit_Point0, *Edit_Point1, *Edit_Point2, *Edit_Point3, *Edit_PointHist;
  QCheckBox *CheckBox_In_0, *CheckBox_In_1, *CheckBox_In_2, *CheckBox_In_3;
  TMaskEdit *MaskEdit_PointTime, *MaskEdit_AdcMin, *MaskEdit_AdcMax, *MaskEdit_AdcHist, *MaskEdit_AdcTime;
  TEdit* Edit_ParamCurr_B;
  TEdit *Edit_ParamCoff_A, *Edit_ParamCoff_B;
  TEdit *Edit_OutCoff_A, *Edit_OutCoff_B, *Edit_OutCurrMax;
  TMaskEdit* MaskEdit_OutZero;
  TUpDown* UpDown_Pwm;
  QPushButton *Button_SetPwm, *Button1, *Button2, *Button_CalcTest;

 protected:
  void FillControls() override;
  void StoreControls() override;
  void OnShow() override { SetChanelActiv(); }
  void OnClose() override { form_close(); }

 private:
  void BuildLayout();
  // Stores the zero offset typed in the edit into the tab's channel and has the engine send it.
  void SendOutZero(bool showStored);

  LinkEngine& engine_;
  std::function<bool()> outputsBlocked_;
  int shown_ = 0;
  std::array<TEdit*, kChanTextCount> texts_{};  // the text fields in ChanText order
  std::array<QCheckBox*, 4> inverted_{};
};

extern TFormSetChanel* FormSetChanel;
