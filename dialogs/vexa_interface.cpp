// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/vexa_interface.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "dialogs/dialog_layout.h"
#include "settings/module_settings.h"
#include "settings/system_rules.h"

TFormInterf* FormInterf = nullptr;

namespace {

template <std::size_t N>
QComboBox* List(const std::array<unsigned, N>& speeds, const char* name) {
  QStringList items;
  for (const unsigned speed : speeds) items << QString::number(speed);
  auto* list = Named(new QComboBox, name);
  list->addItems(items);
  list->setMinimumContentsLength(7);
  return list;
}

}  // namespace

TFormInterf::TFormInterf() : TSettingsDialog(tr("Настройка интерфейсов модуля VEXA"), "FormInterf") {
  BuildLayout();
  const auto changed = [this] { Data_enter(); };
  for (QCheckBox* box : {CheckBox_RS485_En, CheckBox_RS485_wr, CheckBox_CAN_En, CheckBox_Pres, CheckBox_CAN_0,
                         CheckBox_CAN_1, CheckBox_CAN_2, CheckBox_CAN_3})
    OnChange(box, changed);
  OnChange(ComboBox_RS485_speed, changed);
  OnChange(ComboBox_CAN_Speed, changed);
  for (TMaskEdit* edit : {MaskEdit_RS485_adres, MaskEdit_CAN_adres, MaskEdit_CAN_Time})
    OnChange(edit, changed);
  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
  connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
  SetButtons(Button1, Button2);
}

void TFormInterf::BuildLayout() {
  Rows rs485(tr("Интерфейс RS485"), "GroupBox_RS485");
  CheckBox_RS485_En = Named(new QCheckBox, "CheckBox_RS485_En");
  rs485.Add(tr("Включить интерфейс RS485"), CheckBox_RS485_En);
  CheckBox_RS485_wr = Named(new QCheckBox, "CheckBox_RS485_wr");
  rs485.Add(tr("Разрешить изменение парам. модуля"), CheckBox_RS485_wr);
  ComboBox_RS485_speed = List(kRs485Speeds, "ComboBox_RS485_speed");
  rs485.Add(tr("Скорость обмена, бит/с"), ComboBox_RS485_speed);
  MaskEdit_RS485_adres = MaskEdit("999;1;0", "MaskEdit_RS485_adres");
  rs485.Add(tr("Адрес модуля от 1 до 247"), MaskEdit_RS485_adres);

  Rows can(tr("Интерфейс CAN2.0B"), "GroupBox_CAN");
  auto* canEn = Named(new TCaptionFirstCheckBox(tr("Включить интерфейс CAN2.0B")), "CheckBox_CAN_En");
  CheckBox_CAN_En = canEn;
  can.AddCaptioned(canEn);
  ComboBox_CAN_Speed = List(kCanSpeeds, "ComboBox_CAN_Speed");
  can.Add(tr("Скорость обмена, кбит/с"), ComboBox_CAN_Speed);
  MaskEdit_CAN_adres = MaskEdit("99999;1;0", "MaskEdit_CAN_adres");
  can.Add(tr("Адрес модуля на шине от 0 до 65535"), MaskEdit_CAN_adres);
  auto* pres = Named(new TCaptionFirstCheckBox(tr("Передавать сообщ. присутствия")), "CheckBox_Pres");
  CheckBox_Pres = pres;
  can.AddCaptioned(pres);
  MaskEdit_CAN_Time = MaskEdit("99.9;1;0", "MaskEdit_CAN_Time");
  can.Add(tr("Период отправки данных, с"), MaskEdit_CAN_Time);
  // Channels 1 to 4, each box under its number.
  auto* channels = new QWidget;
  auto* grid = new QGridLayout(channels);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->setHorizontalSpacing(6);
  grid->setVerticalSpacing(0);
  QCheckBox** boxes[] = {&CheckBox_CAN_0, &CheckBox_CAN_1, &CheckBox_CAN_2, &CheckBox_CAN_3};
  const char* const names[] = {"CheckBox_CAN_0", "CheckBox_CAN_1", "CheckBox_CAN_2", "CheckBox_CAN_3"};
  for (int ch = 0; ch < 4; ++ch) {
    *boxes[ch] = Named(new QCheckBox, names[ch]);
    grid->addWidget(new QLabel(QString::number(ch + 1)), 0, ch, Qt::AlignHCenter);
    grid->addWidget(*boxes[ch], 1, ch, Qt::AlignHCenter);
  }
  can.Add(tr("Передавать данные по каналам"), channels);

  auto* layout = new QVBoxLayout(this);
  layout->setSizeConstraint(QLayout::SetFixedSize);  // sized to its contents
  layout->addWidget(rs485.Box());
  layout->addWidget(can.Box());
  layout->addLayout(AcceptCancelRow(Button1, Button2));
  Rows::AlignColumns(rs485, can);  // measured in the dialog's own font
}

void TFormInterf::FillControls() {
  const TSysSet& sys = ModuleSettings.SysSet;
  const InterfaceTexts texts = InterfaceTextsOf(sys);
  const auto item = [](int index, int count) { return index < count ? index : -1; };
  CheckBox_RS485_En->setChecked(sys.RS485_En != 0);
  CheckBox_RS485_wr->setChecked(sys.RS485_WrLock == 0);
  ComboBox_RS485_speed->setCurrentIndex(item(sys.RS485_speed, kRs485SpeedItems));
  MaskEdit_RS485_adres->SetText(texts.rs485Adres);
  CheckBox_CAN_En->setChecked(sys.CAN_En != 0);
  ComboBox_CAN_Speed->setCurrentIndex(item(sys.CAN_Speed, kCanSpeedItems));
  MaskEdit_CAN_adres->SetText(texts.canAdres);
  CheckBox_Pres->setChecked(sys.Pres != 0);
  MaskEdit_CAN_Time->SetText(texts.canTime);
  CheckBox_CAN_0->setChecked(sys.CAN_0 != 0);
  CheckBox_CAN_1->setChecked(sys.CAN_1 != 0);
  CheckBox_CAN_2->setChecked(sys.CAN_2 != 0);
  CheckBox_CAN_3->setChecked(sys.CAN_3 != 0);
}

void TFormInterf::StoreControls() {
  InterfaceEntry e;
  e.rs485En = CheckBox_RS485_En->isChecked();
  e.rs485Writable = CheckBox_RS485_wr->isChecked();
  e.rs485Speed = Selection(ComboBox_RS485_speed);
  e.rs485Adres = MaskEdit_RS485_adres->EnteredText();
  e.canEn = CheckBox_CAN_En->isChecked();
  e.canSpeed = Selection(ComboBox_CAN_Speed);
  e.canAdres = MaskEdit_CAN_adres->EnteredText();
  e.pres = CheckBox_Pres->isChecked();
  e.canTime = MaskEdit_CAN_Time->EnteredText();
  e.can = {CheckBox_CAN_0->isChecked(), CheckBox_CAN_1->isChecked(), CheckBox_CAN_2->isChecked(),
           CheckBox_CAN_3->isChecked()};
  AcceptInterface(ModuleSettings.SysSet, e);
}
