// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include "tests/dialogs/dialog_support.h"

namespace {

using dialogs_test::Type;

class CalcDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearSettings(ModuleSettings);
    FormSetChanel->show();
    FormSetChanel->Button_CalcTest->click();
  }
  TEdit* Edit(const char* name) {
    auto* w = calc->findChild<TEdit*>(name);
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  void Enter(const char* name, const std::string& text) { Type(Edit(name), "<all>" + text); }
  void Compute(int c) {
    boxes.shown.clear();
    QTest::mouseClick(calc->findChild<QPushButton*>(QString("Button%1").arg(c + 1)), Qt::LeftButton);
    ASSERT_EQ(boxes.shown.size(), 1U);
    EXPECT_EQ(boxes.shown[0].caption, "Результаты");
  }

  dialogs_test::Dialogs dialogs{[] { return false; }};
  ScriptedMessageBoxes& boxes = dialogs.boxes;
  TForm_Calc* calc = Form_Calc;
};

TEST_F(CalcDialogTest, WorkedExamplesTypedAndComputed) {
  EXPECT_TRUE(calc->isVisible());
  EXPECT_EQ(calc->windowTitle(), "Расчет коэффициентов");
  EXPECT_EQ(Edit("Edit_const")->Color(), kInvalidColor) << "zero passes no test";
  EXPECT_EQ(Edit("MaskEdit_Pout_V_4")->Color(), kInvalidColor);
  EXPECT_EQ(Edit("MaskEdit_Vfix_N_2")->Text(), "    0");
  EXPECT_FALSE(calc->Button_Enter->isEnabled() || calc->Button_Esc->isEnabled());

  const std::pair<const char*, const char*> typed[] = {
      {"Edit_const", "20"},         {"MaskEdit_Const_1", "4000"}, {"Edit_Vrms_N", "0"},
      {"Edit_Vrms_V", "100"},       {"MaskEdit_Vfix_N_2", "800"}, {"MaskEdit_Vfix_V_2", "4000"},
      {"Edit_Out_N", "0"},          {"Edit_Out_V", "100"},        {"MaskEdit_Pout_N_3", "800"},
      {"MaskEdit_Pout_V_3", "4000"}};
  for (const auto& [name, text] : typed) Enter(name, text);
  EXPECT_TRUE(calc->Button_Enter->isEnabled());
  Type(Edit("MaskEdit_Pout_V_3"), "<enter>");  // Enter accepts, without a question
  EXPECT_TRUE(boxes.shown.empty());
  EXPECT_FALSE(calc->Changed());
  EXPECT_EQ(Edit("Edit_Vrms_V")->Text(), "100.00");
  EXPECT_EQ(Edit("Edit_const")->Color(), kValidColor);
  EXPECT_EQ(Edit("MaskEdit_Const_1")->Color(), kValidColor);
  EXPECT_EQ(Edit("MaskEdit_Const_2")->Color(), kInvalidColor);
  EXPECT_EQ(Edit("MaskEdit_Vfix_N_2")->Color(), kValidColor);
  EXPECT_EQ(Edit("MaskEdit_Vfix_V_1")->Color(), kInvalidColor);

  ModuleSettings.ChanSet[2].OutZero = 99;
  Compute(0);
  EXPECT_EQ(boxes.shown[0].text,
            "Вычисления коэффициентов по каналу измерения 1 \n\r"
            "   Ток (напряжение)    датчика  B =        0.02 \n\r"
            "\n\rкоэффициенты добавлены в форму параметров канала измерения.");
  EXPECT_EQ(FormSetChanel->Edit_ParamCurr_B->Text(), "0.020000") << "the channel dialog was refilled";
  Compute(1);
  EXPECT_EQ(+ModuleSettings.ChanSet[1].ParamCoff_B, 0.125F);
  Compute(2);
  EXPECT_EQ(+ModuleSettings.ChanSet[2].OutZero, 0);
  Compute(3);
  EXPECT_NE(boxes.shown[0].text.find("Ни один из параметров не был вычислен."), std::string::npos);

  // An edit not accepted is not used; a point above 65535 is not stored.
  Enter("MaskEdit_Const_1", "2000");
  Compute(0);
  EXPECT_EQ(+ModuleSettings.ChanSet[0].ParamCurr_B, 0.02F);
  Enter("MaskEdit_Const_1", "70000");
  QTest::mouseClick(calc->Button_Enter, Qt::LeftButton);
  EXPECT_EQ(Edit("MaskEdit_Const_1")->Text(), " 4000");
  EXPECT_EQ(calc->Values.Const[0], 4000);

  // Closing with a change asks; reset clears everything without a question.
  Enter("Edit_const", "5");
  boxes.shown.clear();
  boxes.answers = {BoxAnswer::Yes};
  calc->close();
  ASSERT_EQ(boxes.shown.size(), 1U);
  EXPECT_EQ(boxes.shown[0].text, kChangedQuestion);
  EXPECT_EQ(calc->Values.const_, 5.0F);
  calc->show();
  boxes.shown.clear();
  QTest::mouseClick(calc->Button5, Qt::LeftButton);
  EXPECT_TRUE(boxes.shown.empty());
  EXPECT_EQ(calc->Values.Vrms_V, 0.0F);
  EXPECT_EQ(Edit("Edit_Vrms_V")->Color(), kInvalidColor);
}

TEST_F(CalcDialogTest, UntouchedReferenceKeepsItsDigits) {
  Enter("Edit_const", "20.125");
  Enter("MaskEdit_Const_1", "4000");
  QTest::mouseClick(calc->Button_Enter, Qt::LeftButton);
  EXPECT_EQ(Edit("Edit_const")->Text(), " 20.12");
  Enter("Edit_Out_V", "7");
  Type(Edit("Edit_Out_V"), "<enter>");
  EXPECT_EQ(calc->Values.const_, 20.125F) << "the shown \" 20.12\" is not read back";
}

}  // namespace
