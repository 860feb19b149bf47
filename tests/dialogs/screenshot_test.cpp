// SPDX-License-Identifier: GPL-3.0-or-later
// Renders the dialogs with a commissioned module's values into the build folder. On Xvfb:
//   xvfb-run -a env QT_QPA_PLATFORM=xcb build/tests/dialogs/dialogs_tests --gtest_filter='Screenshot*'
#include <gtest/gtest.h>

#include <QTest>

#include "tests/dialogs/dialog_support.h"
#include "tests/support/clipping.h"

namespace {

using testing_support::ExpectNothingClipped;

TEST(Screenshot, ChanelDialogAndCalculator) {
  ClearSettings(ModuleSettings);
  TChanSet& c = ModuleSettings.ChanSet[1];
  c = {1,          9,      20,     3,      0x52,  4.5F,  12.0F, 18.25F, 0.0F, 0.25F,
       0.0048828F, -25.0F, 0.125F, 800.0F, 32.0F, 20.0F, 60,    980,    4};
  dialogs_test::Dialogs dialogs([] { return true; });
  TCalcValues& v = Form_Calc->Values;
  v = {20,
       0,
       100,
       4,
       20,
       {4000, 4096, 0, 0},
       {800, 800, 0, 0},
       {4000, 4000, 0, 0},
       {650, 655, 0, 0},
       {3270, 3275, 0, 0}};
  FormSetChanel->TabControl1->setCurrentIndex(1);
  FormSetChanel->Set_pwm_enabled(true);
  for (QWidget* dialog : std::initializer_list<QWidget*>{FormSetChanel, Form_Calc}) {
    dialog->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog));
  }
  EXPECT_TRUE(FormSetChanel->grab().save(QString(VEXA_SHOT_DIR) + "/chanel_dialog.png"));
  EXPECT_TRUE(Form_Calc->grab().save(QString(VEXA_SHOT_DIR) + "/calc_dialog.png"));
  ExpectNothingClipped({FormSetChanel, Form_Calc});
}

TEST(Screenshot, InterfaceLogicAndLedDialogs) {
  ClearSettings(ModuleSettings);
  TSysSet& s = ModuleSettings.SysSet;
  s.RS485_En = 1;
  s.RS485_speed = 5;
  s.RS485_adres = 17;
  s.CAN_En = 1;
  s.CAN_Speed = 2;
  s.CAN_adres = 1200;
  s.Pres = 1;
  s.CAN_Time = 3;
  s.CAN_0 = s.CAN_1 = s.CAN_3 = 1;
  for (int ch = 0; ch < 4; ++ch) {
    s.Logic[4 * ch + 1] = static_cast<std::uint8_t>(9 << 4 | 9);  // sensor faults: output 9
    s.Logic[4 * ch + 2] = static_cast<std::uint8_t>((5 + ch) << 4 | (1 + ch));
    s.LedTenu[3 * ch] = 0x0C;      // first yellow: sensor faults
    s.LedTenu[3 * ch + 1] = 0x30;  // second yellow: set-points 1 and 2
    s.LedTenu[3 * ch + 2] = 0xC3;  // red: parameter error and correction, set-points 3, 4
  }
  s.Logic[16] = 0xA0;
  s.Logic[17] = 0x0B;
  s.LedTenu[12] = 0x01;
  s.LedTenu[13] = 0x06;
  s.LedTenu[14] = 0x18;
  s.Time_Start = 24;
  s.Time_Point = 14;
  dialogs_test::Dialogs dialogs;
  const std::pair<QWidget*, const char*> shots[] = {{FormInterf, "/interface_dialog.png"},
                                                    {FormLogic, "/logic_dialog.png"},
                                                    {Form_Led_tenu, "/led_dialog.png"}};
  for (const auto& [dialog, file] : shots) {
    dialog->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog));
    EXPECT_TRUE(dialog->grab().save(QString(VEXA_SHOT_DIR) + file));
  }
  ExpectNothingClipped({FormInterf, FormLogic, Form_Led_tenu});
}

}  // namespace
