// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QToolButton>
#include <cstring>
#include <optional>

#include "gui/colors.h"
#include "tests/dialogs/dialog_support.h"

namespace {

using dialogs_test::Type;

class ChanelDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearSettings(ModuleSettings);
    for (int ch = 0; ch < 4; ++ch) {
      TChanSet& c = ModuleSettings.ChanSet[ch];
      c.Format = 0x0E;
      c.Aprox = 4;
      c.PointTime = 19;
      c.AdcTime = 9;
      c.AdcMin = 100;
      c.AdcMax = 900;
      c.AdcHist = 20;
      c.Point0 = 10.0F * static_cast<float>(ch + 1);
      c.PointHist = 12.345678F;
      c.ParamCoff_B = 0.0001234F;
    }
    dialogs.emplace([this] { return blocked; });
    d = FormSetChanel;
    d->show();
  }
  template <class W = QLineEdit>
  W* Control(const char* name) {
    auto* w = d->findChild<W*>(name);
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  std::string Shown(const char* name) { return Control(name)->text().toStdString(); }
  void Enter(const char* name, const std::string& text) { Type(Control(name), "<all>" + text); }
  void Click(QWidget* button) { QTest::mouseClick(button, Qt::LeftButton); }
  void ClickTab(int index) {
    QTest::mouseClick(d->TabControl1, Qt::LeftButton, {}, d->TabControl1->tabRect(index).center());
  }
  std::vector<std::string> Texts() const {
    std::vector<std::string> t;
    for (const auto& b : dialogs->boxes.shown) t.push_back(b.text);
    return t;
  }

  std::optional<dialogs_test::Dialogs> dialogs;
  ScriptedMessageBoxes& boxes() { return dialogs->boxes; }
  LinkEngine& engine() { return dialogs->link.engine; }
  bool blocked = false;
  TFormSetChanel* d = nullptr;
};

TEST_F(ChanelDialogTest, FillsEveryFieldAndStartsIdle) {
  EXPECT_EQ(Shown("Edit_Point0"), "10.000000");
  EXPECT_EQ(Shown("Edit_PointHist"), "12.345678") << "MaxLength 5 does not cut what the program shows";
  EXPECT_EQ(Shown("MaskEdit_PointTime"), "10.0");
  EXPECT_EQ(Shown("MaskEdit_AdcTime"), " 5.0");
  EXPECT_EQ(Shown("MaskEdit_AdcHist"), " 20");
  EXPECT_EQ(Shown("MaskEdit_OutZero"), "   0");
  EXPECT_EQ(Control<QComboBox>("ComboBox_Format")->currentText(), "###.#");
  EXPECT_EQ(Control<QComboBox>("ComboBox_Aprox")->currentText(), "5");
  EXPECT_EQ(Control<TEdit>("Edit_Point1")->MaxLength(), 9);
  EXPECT_EQ(Control("MaskEdit_AdcHist")->maxLength(), 3);
  EXPECT_FALSE(d->Changed());
  EXPECT_FALSE(d->Button1->isEnabled());
  EXPECT_FALSE(d->Button2->isEnabled());
  EXPECT_FALSE(d->Button_SetPwm->isEnabled());
  EXPECT_FALSE(d->UpDown_Pwm->isEnabled());
  Click(Control<QCheckBox>("CheckBox_In_2"));
  EXPECT_TRUE(d->Changed());
  EXPECT_TRUE(d->Button1->isEnabled() && d->Button2->isEnabled());
  Click(d->Button2);  // cancel refills
  EXPECT_FALSE(Control<QCheckBox>("CheckBox_In_2")->isChecked());
  EXPECT_FALSE(d->Button2->isEnabled());
}

TEST_F(ChanelDialogTest, AcceptTypedValuesWithTheirMessages) {
  struct Case {
    std::vector<std::pair<const char*, const char*>> typed;
    std::vector<std::string> boxes;
    const char* field;  // shown after the refill
    const char* shown;
    std::uint8_t pointTime = 19;  // the code the record starts with
  };
  const std::string minBad = "\n\rНеверное значение минимального уровня АЦП";
  const std::string histBad = "\n\rНеверное значение гистерезиса уровня АЦП";
  const Case cases[] = {
      {{{"MaskEdit_PointTime", "0.4"}}, {kPointTimeMessage}, "MaskEdit_PointTime", "10.0"},
      {{{"MaskEdit_PointTime", "35.4"}}, {}, "MaskEdit_PointTime", "35.0"},
      // From 2.5 s: 10.3 becomes code 19 by the rule, not by keeping the code the record had.
      {{{"MaskEdit_PointTime", "10.3"}}, {}, "MaskEdit_PointTime", "10.0", 4},
      {{{"MaskEdit_AdcMin", "600"}, {"MaskEdit_AdcMax", "500"}, {"MaskEdit_AdcHist", "200"}},
       {std::string(kAdcOrderMessage) + kAdcSpanMessage},
       "MaskEdit_AdcMax",
       " 500"},
      {{{"MaskEdit_AdcMin", "950"}, {"MaskEdit_AdcMax", "1500"}},
       {std::string(kAdcMaxMessage) + kAdcOrderMessage + kAdcSpanMessage},
       "MaskEdit_AdcMax",
       " 900"},
      {{{"MaskEdit_AdcMin", "1024"}, {"MaskEdit_AdcHist", "256"}},
       {minBad + histBad},
       "MaskEdit_AdcMin",
       " 100"},
      {{{"Edit_Point1", "1,5"}}, {}, "Edit_Point1", "1.000000"},
      {{{"Edit_Point1", "123456789"}}, {}, "Edit_Point1", "12345678.000000"},
      {{{"MaskEdit_OutZero", "4096"}}, {kOutZeroMessage}, "MaskEdit_OutZero", "   0"},
  };
  for (const Case& c : cases) {
    dialogs.reset();
    SetUp();
    if (c.pointTime != ModuleSettings.ChanSet[0].PointTime) {
      ModuleSettings.ChanSet[0].PointTime = c.pointTime;
      d->Out_chanel_form();
    }
    for (const auto& [name, text] : c.typed) Enter(name, text);
    EXPECT_TRUE(d->Changed());
    Click(d->Button1);
    EXPECT_EQ(Texts(), c.boxes) << c.typed.front().first << " " << c.typed.front().second;
    EXPECT_EQ(Shown(c.field), c.shown) << c.typed.front().first << " " << c.typed.front().second;
    EXPECT_FALSE(d->Changed());
    EXPECT_EQ(+ModuleSettings.ChanSet[0].PointHist, 12.345678F) << "untouched fields keep their values";
    EXPECT_EQ(+ModuleSettings.ChanSet[0].ParamCoff_B, 0.0001234F);
  }
}

TEST_F(ChanelDialogTest, TabChangeAndCloseAskAndStoreIntoTheShownChanel) {
  Enter("Edit_Point0", "77");
  boxes().answers = {BoxAnswer::Yes};
  ClickTab(1);
  EXPECT_EQ(Texts(), std::vector<std::string>{kChangedQuestion});
  EXPECT_EQ(boxes().shown[0].caption, "Внимание!");
  EXPECT_EQ(+ModuleSettings.ChanSet[0].Point0, 77.0F) << "stored into channel 1";
  EXPECT_EQ(+ModuleSettings.ChanSet[1].Point0, 20.0F);
  EXPECT_EQ(d->ShownChanel(), 1);
  EXPECT_EQ(Shown("Edit_Point0"), "20.000000");

  Enter("Edit_Point0", "55");
  boxes().answers = {BoxAnswer::No};
  ClickTab(2);
  EXPECT_EQ(+ModuleSettings.ChanSet[1].Point0, 20.0F) << "No discards";
  EXPECT_EQ(Shown("Edit_Point0"), "30.000000");

  boxes().shown.clear();
  d->close();
  EXPECT_TRUE(boxes().shown.empty()) << "nothing changed: no question";
  EXPECT_FALSE(d->isVisible());
  d->show();
  Enter("Edit_Point0", "66");
  boxes().answers = {BoxAnswer::No};
  d->close();
  EXPECT_EQ(Texts(), std::vector<std::string>{kChangedQuestion});
  d->show();
  EXPECT_EQ(Shown("Edit_Point0"), "30.000000");
  EXPECT_EQ(+ModuleSettings.ChanSet[2].Point0, 30.0F);
}

TEST_F(ChanelDialogTest, ListsFlagsAndAListWithoutSelection) {
  ModuleSettings.ChanSet[0].Aprox = 12;
  d->Out_chanel_form();
  EXPECT_EQ(Control<QComboBox>("ComboBox_Aprox")->currentIndex(), -1);
  QComboBox* format = Control<QComboBox>("ComboBox_Format");
  format->setFocus();
  QTest::keyClick(format, Qt::Key_Up);  // "##.##"
  Click(Control<QCheckBox>("CheckBox_In_3"));
  Click(d->Button1);
  EXPECT_EQ(+ModuleSettings.ChanSet[0].Aprox, 12) << "no selection keeps the value";
  EXPECT_EQ(+ModuleSettings.ChanSet[0].Format, 0x8D) << "format 1, bits 2-3 kept, flag of set-point 4";
}

TEST_F(ChanelDialogTest, OutputTestControlsFollowPermissionAndSendThroughTheEngine) {
  d->Set_pwm_enabled(true);
  EXPECT_TRUE(d->Button_SetPwm->isEnabled() && d->UpDown_Pwm->isEnabled());
  ClickTab(2);
  Enter("MaskEdit_OutZero", "5000");
  Enter("Edit_Point0", "1");  // discarded by the send's refill
  Click(d->Button_SetPwm);
  EXPECT_EQ(engine().Request_code, Req_out_zero);
  EXPECT_EQ(std::vector<std::uint8_t>(engine().Tx_buf, engine().Tx_buf + 8),
            (std::vector<std::uint8_t>{0x42, 0x28, 0x00, 0x8A, 0x02, 0xFF, 0x0F, 0x00}));
  EXPECT_EQ(+ModuleSettings.ChanSet[2].OutZero, 4095);
  EXPECT_EQ(+ModuleSettings.ChanSet[2].Point0, 30.0F);
  EXPECT_EQ(Shown("MaskEdit_OutZero"), "4095");

  engine().Request_code = 0;
  QTest::mouseClick(d->UpDown_Pwm->DownButton(), Qt::LeftButton);
  EXPECT_EQ(Texts(), std::vector<std::string>{kBlockOutputsFirst});
  EXPECT_EQ(engine().Request_code, 0) << "outputs not blocked: nothing sent";
  blocked = true;
  QTest::mouseClick(d->UpDown_Pwm->DownButton(), Qt::LeftButton);
  EXPECT_EQ(+ModuleSettings.ChanSet[2].OutZero, 4093);
  EXPECT_EQ(Shown("MaskEdit_OutZero"), "4093");
  EXPECT_EQ(engine().Request_code, Req_out_zero);
  EXPECT_EQ(engine().Tx_buf[5], 0xFD);
  EXPECT_TRUE(d->Button1->isEnabled()) << "the step counts as an edit; no refill";
  d->Set_pwm_enabled(false);
  EXPECT_FALSE(d->Button_SetPwm->isEnabled() || d->UpDown_Pwm->isEnabled());
}

TEST_F(ChanelDialogTest, AValueTheMaskCannotShowIsMarkedAndKeptUntilTyped) {
  TChanSet& c = ModuleSettings.ChanSet[0];
  c.OutZero = 10000;  // from a file or a module: beyond the four digits of the mask
  c.AdcMin = 10000;
  c.AdcMax = 1020;
  c.PointTime = 199;  // 100.0 s
  d->Out_chanel_form();
  const struct {
    const char* field;
    const char* shown;
    const char* whole;
  } cut[] = {{"MaskEdit_OutZero", "1000", "10000"},
             {"MaskEdit_AdcMin", "1000", "10000"},
             {"MaskEdit_PointTime", "10.0", "100.0"}};
  for (const auto& f : cut) {
    EXPECT_EQ(Shown(f.field), f.shown);
    EXPECT_EQ(Control<TEdit>(f.field)->Color(), kInvalidColor) << f.field;
    EXPECT_TRUE(Control(f.field)->toolTip().contains(f.whole)) << Control(f.field)->toolTip().toStdString();
  }
  EXPECT_EQ(Control<TEdit>("MaskEdit_AdcMax")->Color(), kValidColor);

  // The output test sends what accepting keeps, the record's value as far as the output goes: a
  // step of the arrows from there, and the button as it is.
  d->Set_pwm_enabled(true);
  blocked = true;
  Click(d->UpDown_Pwm->DownButton());
  EXPECT_EQ(engine().Tx_buf[5], 0xFE);
  EXPECT_EQ(engine().Tx_buf[6], 0x0F);
  c.OutZero = 10000;
  d->Out_chanel_form();
  Click(d->Button_SetPwm);
  EXPECT_EQ(engine().Tx_buf[5], 0xFF);
  EXPECT_EQ(engine().Tx_buf[6], 0x0F);
  EXPECT_EQ(Shown("MaskEdit_OutZero"), "4095");
  EXPECT_EQ(Control<TEdit>("MaskEdit_OutZero")->Color(), kValidColor);

  // Typed and undone to the text shown: untouched, and marked, again.
  auto* low = Control<TEdit>("MaskEdit_AdcMin");
  Enter("MaskEdit_AdcMin", "999");
  EXPECT_EQ(low->Color(), kValidColor);
  while (low->isUndoAvailable()) QTest::keyClick(low, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(low->text(), "1000");
  EXPECT_EQ(low->Color(), kInvalidColor);
  EXPECT_FALSE(low->EnteredText().has_value());

  // The very text shown, typed, is a value typed; the untouched time keeps its code.
  Enter("MaskEdit_AdcMin", "1000");
  EXPECT_EQ(Control<TEdit>("MaskEdit_AdcMin")->Color(), kValidColor) << "marked until typed";
  Click(d->Button1);
  EXPECT_EQ(+c.AdcMin, 1000);
  EXPECT_EQ(+c.PointTime, 199);
  EXPECT_EQ(Texts(), std::vector<std::string>{kPointTimeMessage});
}

}  // namespace
