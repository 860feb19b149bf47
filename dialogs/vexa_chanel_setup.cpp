// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/vexa_chanel_setup.h"

#include <algorithm>

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "dialogs/dialog_layout.h"
#include "dialogs/vexa_calc.h"
#include "gui/message_box.h"
#include "link/module_commands.h"
#include "settings/c_format.h"
#include "settings/settings_codec.h"

TFormSetChanel* FormSetChanel = nullptr;

namespace {

TEdit* FloatEdit(const char* name, int maxLength) {
  auto* edit = Named(new TEdit, name);
  edit->SetMaxLength(maxLength);
  edit->setFixedWidth(78);
  return edit;
}

}  // namespace

TFormSetChanel::TFormSetChanel(LinkEngine& engine, std::function<bool()> outputsBlocked)
    : TSettingsDialog(tr("Настройка каналов измерения VEXA"), "FormSetChanel"),
      engine_(engine),
      outputsBlocked_(std::move(outputsBlocked)) {
  BuildLayout();
  texts_ = {Edit_Point0,        Edit_Point1,      Edit_Point2,      Edit_Point3,      Edit_PointHist,
            MaskEdit_PointTime, MaskEdit_AdcMin,  MaskEdit_AdcMax,  MaskEdit_AdcHist, MaskEdit_AdcTime,
            Edit_ParamCurr_B,   Edit_ParamCoff_A, Edit_ParamCoff_B, Edit_OutCoff_A,   Edit_OutCoff_B,
            Edit_OutCurrMax,    MaskEdit_OutZero};
  inverted_ = {CheckBox_In_0, CheckBox_In_1, CheckBox_In_2, CheckBox_In_3};

  const auto changed = [this] { data_enter(); };
  OnChange(ComboBox_Format, changed);
  OnChange(ComboBox_Aprox, changed);
  for (TEdit* edit : texts_) OnChange(edit, changed);
  for (QCheckBox* box : inverted_) OnChange(box, changed);
  connect(TabControl1, &QTabBar::currentChanged, this, [this] { TabControl1Change(); });
  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
  connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
  connect(Button_CalcTest, &QPushButton::clicked, this, [this] { Button_CalcTestClick(); });
  connect(Button_SetPwm, &QPushButton::clicked, this, [this] { Button_SetPwmClick(); });
  UpDown_Pwm->OnClick = [this](TUpDown::Button) { UpDown_PwmClick(); };
  // A step starts where the output test stands: from a value shown cut, the record's, as "->" has it.
  UpDown_Pwm->Current = [this]() -> std::optional<int> {
    if (!MaskEdit_OutZero->ShowsCutValue()) return std::nullopt;
    return std::min<int>(ModuleSettings.ChanSet[TabControl1->currentIndex()].OutZero, kOutZeroMax);
  };
  WheelWithFocusOnly(TabControl1);  // a turn of the wheel over the tabs would change the channel

  SetButtons(Button1, Button2);
  Button2->setEnabled(false);
  Set_pwm_enabled(false);
}

void TFormSetChanel::BuildLayout() {
  TabControl1 = Named(new QTabBar, "TabControl1");
  for (int ch = 1; ch <= 4; ++ch) TabControl1->addTab(tr("Канал %1").arg(ch));
  TabControl1->setExpanding(false);

  Rows general(tr("Общие настройки"), "GroupBox_General");
  ComboBox_Format = Named(new QComboBox, "ComboBox_Format");
  for (const char* pattern : kFormatPatterns) ComboBox_Format->addItem(pattern);
  general.Add(tr("Формат отображения"), ComboBox_Format);
  ComboBox_Aprox = Named(new QComboBox, "ComboBox_Aprox");
  for (int depth = 1; depth <= 10; ++depth) ComboBox_Aprox->addItem(QString::number(depth));
  general.Add(tr("Глубина буфера усреднения"), ComboBox_Aprox);
  const char* const pointNames[] = {"Edit_Point0", "Edit_Point1", "Edit_Point2", "Edit_Point3"};
  const char* const flagNames[] = {"CheckBox_In_0", "CheckBox_In_1", "CheckBox_In_2", "CheckBox_In_3"};
  TEdit** points[] = {&Edit_Point0, &Edit_Point1, &Edit_Point2, &Edit_Point3};
  QCheckBox** flags[] = {&CheckBox_In_0, &CheckBox_In_1, &CheckBox_In_2, &CheckBox_In_3};
  for (int n = 0; n < 4; ++n) {
    *points[n] = FloatEdit(pointNames[n], 9);
    *flags[n] = Named(new QCheckBox, flagNames[n]);
    (*flags[n])->setToolTip(tr("Флаг инверсии уставки"));
    general.Add(tr("Уставка %1").arg(n + 1), *points[n], *flags[n]);
  }
  Edit_PointHist = FloatEdit("Edit_PointHist", 5);
  general.Add(tr("Гистерезис по уставкам"), Edit_PointHist);
  MaskEdit_PointTime = MaskEdit("99.9;1;0", "MaskEdit_PointTime");
  general.Add(tr("Время реакции выхода за уставки"), MaskEdit_PointTime);
  general.Stretch();

  Rows sensor(tr("Тест датчика"), "GroupBox_Sensor");
  MaskEdit_AdcMin = MaskEdit("9999;1;0", "MaskEdit_AdcMin");
  sensor.Add(tr("Мин. уровень АЦП"), MaskEdit_AdcMin);
  MaskEdit_AdcMax = MaskEdit("9999;1;0", "MaskEdit_AdcMax");
  sensor.Add(tr("Макс. уровень АЦП"), MaskEdit_AdcMax);
  MaskEdit_AdcHist = MaskEdit("999;1;0", "MaskEdit_AdcHist");
  sensor.Add(tr("Гистер. АЦП "), MaskEdit_AdcHist);
  MaskEdit_AdcTime = MaskEdit("99.9;1;0", "MaskEdit_AdcTime");
  sensor.Add(tr("Время реакции на выход датчика из строя"), MaskEdit_AdcTime);
  Edit_ParamCurr_B = FloatEdit("Edit_ParamCurr_B", 9);
  sensor.Add(tr("Коэфф. пересчета тока датчика"), Edit_ParamCurr_B);
  sensor.Stretch();

  Rows parameter(tr("Параметр измерения"), "GroupBox_Parameter");
  parameter.Caption(tr("Коэфф. вычисл. значения параметра"));
  parameter.Caption(tr("П = A + B x АЦП"));
  Edit_ParamCoff_A = FloatEdit("Edit_ParamCoff_A", 9);
  parameter.Add(tr("Коэффиц. А"), Edit_ParamCoff_A);
  Edit_ParamCoff_B = FloatEdit("Edit_ParamCoff_B", 9);
  parameter.Add(tr("Коэффиц. B"), Edit_ParamCoff_B);
  parameter.Stretch();

  Rows output(tr("Аналоговый выход"), "GroupBox_Output");
  output.Caption(tr("Коэфф. вычисления значения ЦАП"));
  output.Caption(tr("ЦАП = A + B x П"));
  Edit_OutCoff_A = FloatEdit("Edit_OutCoff_A", 9);
  output.Add(tr("Коэффиц. А"), Edit_OutCoff_A);
  Edit_OutCoff_B = FloatEdit("Edit_OutCoff_B", 9);
  output.Add(tr("Коэффиц. B"), Edit_OutCoff_B);
  Edit_OutCurrMax = FloatEdit("Edit_OutCurrMax", 9);
  output.Add(tr("Максим. ток выхода, мА"), Edit_OutCurrMax);
  MaskEdit_OutZero = MaskEdit("9999;1;0", "MaskEdit_OutZero");
  UpDown_Pwm = Named(new TUpDown(MaskEdit_OutZero, 0, 4095), "UpDown_Pwm");
  Button_SetPwm = Named(new QPushButton("->"), "Button_SetPwm");
  Button_SetPwm->setFixedWidth(32);
  Button_SetPwm->setToolTip(tr("Записать смещение нуля в модуль"));
  auto* zero = new QWidget;
  auto* zeroRow = new QHBoxLayout(zero);
  zeroRow->setContentsMargins(0, 0, 0, 0);
  zeroRow->setSpacing(2);
  zeroRow->addWidget(MaskEdit_OutZero);
  zeroRow->addWidget(UpDown_Pwm);
  zeroRow->addSpacing(4);
  zeroRow->addWidget(Button_SetPwm);
  output.Add(tr("Смещение нуля"), zero);
  output.Stretch();

  Rows::AlignColumns(general, parameter);
  Rows::AlignColumns(sensor, output);
  auto* page = Named(new QWidget, "TabPage");
  auto* groups = new QGridLayout(page);
  groups->addWidget(general.Box(), 0, 0);
  groups->addWidget(sensor.Box(), 0, 1);
  groups->addWidget(parameter.Box(), 1, 0);
  groups->addWidget(output.Box(), 1, 1);

  Button_CalcTest = Named(new QPushButton(tr("Вычислить")), "Button_CalcTest");
  Button_CalcTest->setToolTip(tr("Расчет коэффициентов"));
  QHBoxLayout* buttons = AcceptCancelRow(Button1, Button2);
  buttons->insertWidget(0, Button_CalcTest);

  auto* frame = Named(new QGroupBox, "TabFrame");
  auto* frameLayout = new QVBoxLayout(frame);
  frameLayout->setContentsMargins(4, 4, 4, 4);
  frameLayout->addWidget(page);

  auto* layout = new QVBoxLayout(this);
  layout->setSizeConstraint(QLayout::SetFixedSize);  // sized to its contents
  layout->setSpacing(0);
  layout->addWidget(TabControl1);
  layout->addWidget(frame);
  layout->addSpacing(8);
  layout->addLayout(buttons);
}

void TFormSetChanel::FillControls() {
  shown_ = TabControl1->currentIndex();
  const TChanSet& chan = ModuleSettings.ChanSet[shown_];
  const ChanTexts texts = ChanelTexts(chan);
  ComboBox_Format->setCurrentIndex(chan.Format & 0x03);
  ComboBox_Aprox->setCurrentIndex(chan.Aprox < kAproxItems ? chan.Aprox : -1);
  for (int n = 0; n < 4; ++n) {
    texts_[kPoint0 + n]->SetText(texts[kPoint0 + n]);
    inverted_[n]->setChecked((chan.Format >> (4 + n)) & 1);
  }
  for (int i = kPointHist; i < kChanTextCount; ++i) texts_[i]->SetText(texts[i]);
}

void TFormSetChanel::StoreControls() {
  ChanelEntry entry;
  entry.format = Selection(ComboBox_Format);
  entry.aprox = Selection(ComboBox_Aprox);
  for (int n = 0; n < 4; ++n) entry.inverted[n] = inverted_[n]->isChecked();
  for (int i = 0; i < kChanTextCount; ++i) entry.text[i] = texts_[i]->EnteredText();
  const std::string messages = AcceptChanel(ModuleSettings.ChanSet[shown_], entry);
  if (!messages.empty()) MessageBoxes().Show(messages, kAttentionCaption, BoxButtons::Ok);
}

void TFormSetChanel::SendOutZero(bool showStored) {
  const int ch = TabControl1->currentIndex();
  TChanSet& chan = ModuleSettings.ChanSet[ch];
  // As accepting does: a field the user left as shown means the record's value, also where the
  // field could show only part of it.
  const auto entered = MaskEdit_OutZero->EnteredText();
  chan.OutZero = entered ? OutZeroFromText(*entered)
                         : static_cast<std::uint16_t>(std::min<unsigned>(chan.OutZero, kOutZeroMax));
  if (showStored) MaskEdit_OutZero->SetText(CFormat("%4u", unsigned{chan.OutZero}));
  Build_out_zero_frame(chan.OutZero, ch, engine_.Tx_buf);
  engine_.Request_code = Req_out_zero;  // replaces a request not yet sent
}

void TFormSetChanel::Button_SetPwmClick() {
  SendOutZero(false);
  Out_chanel_form();
}

void TFormSetChanel::UpDown_PwmClick() {
  if (!outputsBlocked_()) {
    MessageBoxes().Show(kBlockOutputsFirst, kAttentionCaption, BoxButtons::Ok);
    return;
  }
  SendOutZero(true);
}

void TFormSetChanel::Button_CalcTestClick() {
  if (Form_Calc != nullptr) Form_Calc->ShowAndFocus();
}

void TFormSetChanel::Set_pwm_enabled(bool on) {
  Button_SetPwm->setEnabled(on);
  UpDown_Pwm->setEnabled(on);
}
