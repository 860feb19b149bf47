// SPDX-License-Identifier: GPL-3.0-or-later
// The interface, logic and LED dialogs, driven by clicks, keys and typing.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QTest>
#include <QWheelEvent>
#include <optional>

#include "tests/dialogs/dialog_support.h"
#include "tests/support/patience.h"

namespace {

using dialogs_test::Type;

class SystemDialogsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearSettings(ModuleSettings);
    TSysSet& s = ModuleSettings.SysSet;
    s.RS485_adres = 17;
    s.RS485_speed = 2;
    s.CAN_adres = 100;
    s.CAN_Speed = 1;
    s.CAN_Time = 9;
    s.Logic[16] = 0x05;  // system event 0, disabled: output 5
    s.Logic[18] = 0xA0;  // system event 5, hidden: output 10
    s.Time_Start = 24;
    s.Time_Point = 77;
    s.LedTenu[0] = 0x0C;
    s.LedTenu[12] = 0x01;  // system row 0, disabled
    dialogs.emplace();
  }
  template <class W = QWidget>
  static W* Child(QWidget* dialog, const QString& name) {
    auto* w = dialog->findChild<W*>(name);
    EXPECT_NE(w, nullptr) << name.toStdString();
    return w;
  }
  static void Click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton, {}, w->rect().center()); }
  static void Enter(QWidget* dialog, const char* name, const std::string& text) {
    Type(Child(dialog, name), "<all>" + text);
  }
  static std::string Shown(QWidget* dialog, const char* name) {
    return Child<QLineEdit>(dialog, name)->text().toStdString();
  }
  // Picks a list's item with the arrow keys from the top, as a person would.
  static void Choose(QComboBox* list, int index) {
    QTest::keyClick(list, Qt::Key_Home);
    for (int i = 0; i < index; ++i) QTest::keyClick(list, Qt::Key_Down);
  }
  std::vector<std::string> Texts() const {
    std::vector<std::string> t;
    for (const auto& b : dialogs->boxes.shown) t.push_back(b.text);
    return t;
  }
  std::optional<dialogs_test::Dialogs> dialogs;
  TSysSet& sys = ModuleSettings.SysSet;
};

TEST_F(SystemDialogsTest, ButtonsBeforeTheFirstFillAndCaptions) {
  EXPECT_TRUE(FormInterf->Button1->isEnabled() && FormInterf->Button2->isEnabled());
  EXPECT_FALSE(FormLogic->Button1->isEnabled() || FormLogic->Button2->isEnabled());
  EXPECT_TRUE(Form_Led_tenu->Button1->isEnabled() && Form_Led_tenu->Button2->isEnabled());
  FormInterf->show();
  EXPECT_FALSE(FormInterf->Button1->isEnabled() || FormInterf->Changed());
  EXPECT_EQ(FormInterf->windowTitle(), "Настройка интерфейсов модуля VEXA");
  EXPECT_EQ(FormLogic->windowTitle(), "Настройка логической сигнализации модуля VEXA");
  EXPECT_EQ(Form_Led_tenu->windowTitle(), "Управление светодиодами варианта 'Tenu'");
  EXPECT_EQ(FormInterf->CheckBox_CAN_En->text(), "Включить интерфейс CAN2.0B");
  EXPECT_EQ(FormLogic->ComboBox_tab[13]->objectName(), "ComboBox_ch2_5");
  EXPECT_EQ(FormLogic->ComboBox_tab[34]->objectName(), "ComboBox_sys_2");
  EXPECT_EQ(Form_Led_tenu->CheckBox_tab[69]->objectName(), "CheckBox_ch2_rd_5");
  EXPECT_EQ(Form_Led_tenu->CheckBox_tab[106]->objectName(), "CheckBox_sys_y2_2");
  // The double blank before "CAN" in both dialogs; the system rows' states.
  for (QWidget* dialog : {static_cast<QWidget*>(FormLogic), static_cast<QWidget*>(Form_Led_tenu)}) {
    int found = 0;
    for (QLabel* label : dialog->findChildren<QLabel*>()) found += label->text() == "Ошибка  CAN интерф.";
    EXPECT_EQ(found, 1);
  }
  const auto& lists = FormLogic->ComboBox_tab;
  for (int e = 0; e < 8; ++e) {
    EXPECT_EQ(lists[32 + e]->isEnabled(), e == 1 || e == 2) << e;
    EXPECT_EQ(lists[32 + e]->isHidden(), e >= 5) << e;
  }
  for (QComboBox* list : lists)
    EXPECT_FALSE(list->focusPolicy() & Qt::TabFocus) << "the Tab key passes them by";
  EXPECT_FALSE(FormLogic->MaskEdit_Start->focusPolicy() & Qt::TabFocus);
  EXPECT_EQ(lists[0]->itemText(11), "11");
  EXPECT_EQ(lists[0]->itemText(3), " 3");
  for (int k = 0; k < 24; ++k) EXPECT_EQ(Form_Led_tenu->CheckBox_tab[96 + k]->isEnabled(), k % 8 != 0) << k;
}

TEST_F(SystemDialogsTest, InterfaceAcceptsTypedValues) {
  struct Case {
    const char* field;
    const char* typed;  // "" blanks the field
    const char* shown;  // after the refill
    int stored;
  };
  const Case cases[] = {
      {"MaskEdit_RS485_adres", "0", "  1", 1},         {"MaskEdit_RS485_adres", "248", "  1", 1},
      {"MaskEdit_RS485_adres", "247", "247", 247},     {"MaskEdit_CAN_adres", "65535", "  100", 100},
      {"MaskEdit_CAN_adres", "65534", "65534", 65534}, {"MaskEdit_CAN_Time", "00.0", " 0.5", 0},
      {"MaskEdit_CAN_Time", "00.4", " 0.5", 0},        {"MaskEdit_CAN_Time", "30.0", "30.0", 59},
      {"MaskEdit_CAN_Time", "30.4", " 5.0", 9},        {"MaskEdit_CAN_Time", "", " 0.5", 0},
  };
  FormInterf->show();
  for (const Case& c : cases) {
    sys.RS485_adres = 17;
    sys.CAN_adres = 100;
    sys.CAN_Time = 9;
    FormInterf->Out_data_form();
    for (int round = 0; round < 2; ++round) {  // a refused period stays refused when accepted again
      if (*c.typed == '\0')
        Type(Child(FormInterf, c.field), "<all><del>");
      else
        Enter(FormInterf, c.field, c.typed);
      Click(FormInterf->Button1);
      EXPECT_EQ(Shown(FormInterf, c.field), c.shown) << c.field << " " << c.typed;
    }
    const std::string field = c.field;
    const int stored = field == "MaskEdit_RS485_adres" ? sys.RS485_adres
                       : field == "MaskEdit_CAN_adres" ? sys.CAN_adres
                                                       : sys.CAN_Time;
    EXPECT_EQ(stored, c.stored) << c.field << " " << c.typed;
  }
  EXPECT_TRUE(Texts().empty()) << "the dialog shows no messages";

  EXPECT_TRUE(FormInterf->CheckBox_RS485_wr->isChecked());
  Click(FormInterf->CheckBox_RS485_wr);
  QTest::keyClick(FormInterf->ComboBox_CAN_Speed, Qt::Key_End);
  EXPECT_EQ(FormInterf->ComboBox_CAN_Speed->currentText(), "40");
  Click(FormInterf->CheckBox_Pres);
  Click(FormInterf->CheckBox_CAN_2);
  Click(FormInterf->Button1);
  EXPECT_EQ(+sys.RS485_WrLock, 1);
  EXPECT_EQ(+sys.CAN_Speed, 6);
  EXPECT_EQ(+sys.Pres, 1);
  EXPECT_EQ(sys.CAN_0 + sys.CAN_1 * 2 + sys.CAN_2 * 4 + sys.CAN_3 * 8, 4);
  EXPECT_EQ(+sys.RS485_speed, 2);
}

TEST_F(SystemDialogsTest, InterfaceCancelOutsideRefillAndClose) {
  FormInterf->show();
  Enter(FormInterf, "MaskEdit_RS485_adres", "5");
  Click(FormInterf->Button2);
  EXPECT_EQ(Shown(FormInterf, "MaskEdit_RS485_adres"), " 17");
  Enter(FormInterf, "MaskEdit_RS485_adres", "5");
  sys.RS485_adres = 33;
  FormInterf->Out_data_form();  // as a settings read does: the edit is dropped
  EXPECT_EQ(Shown(FormInterf, "MaskEdit_RS485_adres"), " 33");
  EXPECT_FALSE(FormInterf->Changed() || FormInterf->Button2->isEnabled());
  Click(FormInterf->CheckBox_CAN_En);
  dialogs->boxes.answers = {BoxAnswer::No};
  FormInterf->close();
  EXPECT_EQ(Texts(), std::vector<std::string>{kChangedQuestion});
  EXPECT_EQ(+sys.CAN_En, 0);
  FormInterf->show();
  Click(FormInterf->CheckBox_CAN_En);
  dialogs->boxes.answers = {BoxAnswer::Yes};
  FormInterf->close();
  EXPECT_EQ(+sys.CAN_En, 1);
  EXPECT_FALSE(FormInterf->isVisible());
}

TEST_F(SystemDialogsTest, LogicOutputsAndKeptNibbles) {
  FormLogic->show();
  auto& lists = FormLogic->ComboBox_tab;
  EXPECT_EQ(lists[32]->currentText(), " 5");
  QTest::keyClick(lists[13], Qt::Key_End);  // channel 2, "Выход за уставку 2"
  EXPECT_EQ(lists[13]->currentText(), "11");
  Choose(lists[34], 3);  // system, "Ошибка  CAN интерф."
  EXPECT_TRUE(FormLogic->Changed() && FormLogic->Button1->isEnabled());
  Click(FormLogic->Button1);
  EXPECT_EQ(+sys.Logic[6], 0xB0);
  EXPECT_EQ(+sys.Logic[17], 0x03);
  // Disabled and hidden lists keep the record's outputs through further accepts.
  for (int round = 0; round < 3; ++round) {
    Choose(lists[0], round + 1);
    Click(FormLogic->Button1);
  }
  EXPECT_EQ(+sys.Logic[16], 0x05);
  EXPECT_EQ(+sys.Logic[18], 0xA0);
  EXPECT_EQ(+sys.Logic[0], 0x03);

  // A nibble that names no output leaves its list empty and keeps its value.
  sys.Logic[2] = 0xD0;
  FormLogic->Out_data_form();
  EXPECT_EQ(lists[5]->currentIndex(), -1);
  Choose(lists[4], 2);
  Click(FormLogic->Button1);
  EXPECT_EQ(+sys.Logic[2], 0xD2);

  // Accepting here leaves the compact variant's LEDs as they were (and as its dialog shows them).
  EXPECT_EQ(+sys.LedTenu[0], 0x0C);
  EXPECT_EQ(+sys.LedTenu[12], 0x01);
}

TEST_F(SystemDialogsTest, LogicDurations) {
  const std::pair<const char*, const char*> cases[] = {{"01.4", " 1.4"}, {"01.5", " 1.4"}, {"00.0", " 0.2"},
                                                       {"00.1", " 0.2"}, {"30.0", "30.0"}, {"30.1", "15.6"}};
  const std::uint8_t codes[] = {6, 6, 0, 0, 149, 77};
  FormLogic->show();
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    sys.Time_Point = 77;
    FormLogic->Out_data_form();
    for (int round = 0; round < 2; ++round) {
      Enter(FormLogic, "MaskEdit_Point", cases[i].first);
      Click(FormLogic->Button1);
      EXPECT_EQ(Shown(FormLogic, "MaskEdit_Point"), cases[i].second) << cases[i].first;
      EXPECT_EQ(+sys.Time_Point, codes[i]) << cases[i].first;
    }
  }
  EXPECT_EQ(+sys.Time_Start, 24) << "untouched";
  EXPECT_EQ(Shown(FormLogic, "MaskEdit_Start"), " 5.0");
}

TEST_F(SystemDialogsTest, LedMarks) {
  Form_Led_tenu->show();
  auto& boxes = Form_Led_tenu->CheckBox_tab;
  EXPECT_TRUE(boxes[2]->isChecked() && boxes[3]->isChecked() && !boxes[4]->isChecked());
  EXPECT_TRUE(boxes[96]->isChecked());
  Click(Form_Led_tenu->findChild<QCheckBox*>("CheckBox_ch2_rd_5"));
  Click(Form_Led_tenu->findChild<QCheckBox*>("CheckBox_sys_y2_2"));
  Click(Form_Led_tenu->Button1);
  EXPECT_EQ(+sys.LedTenu[8], 0x20);
  EXPECT_EQ(+sys.LedTenu[13], 0x04);
  EXPECT_EQ(+sys.LedTenu[12], 0x01) << "the disabled row keeps its mark";

  // A change made elsewhere stays unseen until a refill; the next accept writes the boxes back.
  sys.LedTenu[0] = 0xFF;
  EXPECT_FALSE(boxes[0]->isChecked());
  Click(boxes[7]);
  Click(Form_Led_tenu->Button1);
  EXPECT_EQ(+sys.LedTenu[0], 0x8C);
  EXPECT_EQ(+sys.LedTenu[12], 0x01);
  Click(boxes[7]);
  dialogs->boxes.answers = {BoxAnswer::No};
  Form_Led_tenu->close();
  EXPECT_EQ(+sys.LedTenu[0], 0x8C);
  EXPECT_EQ(Texts(), std::vector<std::string>{kChangedQuestion});
}

TEST_F(SystemDialogsTest, AListTakesTheWheelOnlyWithTheFocus) {
  FormSetChanel->show();
  FormInterf->show();
  FormLogic->show();
  QWidget* const lists[] = {FormSetChanel->ComboBox_Format, FormInterf->ComboBox_RS485_speed,
                            FormLogic->ComboBox_tab[0], FormSetChanel->TabControl1};
  for (QWidget* list : lists) {
    const auto index = [list] { return list->property("currentIndex").toInt(); };
    const auto turn = [list] {
      QWheelEvent wheel(QPointF(list->rect().center()), QPointF(list->mapToGlobal(list->rect().center())),
                        QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
      QApplication::sendEvent(list, &wheel);
    };
    list->window()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(list->window()));
    list->window()->setFocus();
    const int before = index();
    turn();
    EXPECT_EQ(index(), before) << list->objectName().toStdString() << ": passed over";
    list->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([list] { return list->hasFocus(); }, testing_support::kPatienceMs));
    turn();
    EXPECT_NE(index(), before) << list->objectName().toStdString() << ": with the focus";
  }
}

}  // namespace
