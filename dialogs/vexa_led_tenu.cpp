// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/vexa_led_tenu.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>

#include "dialogs/dialog_layout.h"
#include "gui/lamp.h"
#include "settings/module_settings.h"

TForm_Led_tenu* Form_Led_tenu = nullptr;

namespace {

constexpr int kGroups = 5;
constexpr int kSystem = 4;
constexpr const char* kLeds[3] = {"y1", "y2", "rd"};
constexpr std::uint32_t kLedColors[3] = {0x00FFFF, 0x00FFFF, 0x0000FF};  // yellow, yellow, red
constexpr const auto& kSystemEvents = kLedSystemEventCaptions;
constexpr int kHeadRow = 0, kLampRow = 1, kFirstEventRow = 2;
constexpr int kLampSize = 14;
constexpr int kGap = 12;

// The rows' captions down column 0 of a grid.
void EventCaptions(QGridLayout* grid, bool system) {
  for (int event = 0; event < (system ? 6 : 8); ++event) {
    auto* label = new QLabel(DialogText(system ? kSystemEvents[event] : kChanelEventCaptions[event]));
    label->setEnabled(!(system && event == 0));
    grid->addWidget(label, kFirstEventRow + event, 0);
  }
  // Events 6 and 7 of the system are a reserve.
  if (system)
    grid->addWidget(new QLabel(DialogText(QT_TRANSLATE_NOOP("Dialogs", "Резерв"))), kFirstEventRow + 6, 0, 2,
                    1, Qt::AlignVCenter);
}

// A group's head, its three LEDs and its 24 boxes from the given column on.
void LedColumns(QGridLayout* grid, int column, const QString& head, QCheckBox* const* boxes) {
  grid->addWidget(StyledLabel(head.isEmpty() ? " " : head, true, !head.isEmpty()), kHeadRow, column, 1, 3,
                  Qt::AlignHCenter);
  for (int led = 0; led < 3; ++led) {
    auto* lamp = new TShape;
    lamp->setFixedSize(kLampSize, kLampSize);
    lamp->SetColor(kLedColors[led]);
    grid->addWidget(lamp, kLampRow, column + led, Qt::AlignHCenter);
    for (int event = 0; event < 8; ++event)
      grid->addWidget(boxes[led * 8 + event], kFirstEventRow + event, column + led, Qt::AlignHCenter);
  }
}

QGridLayout* LedGrid(QGroupBox* box) {
  auto* grid = new QGridLayout(box);
  grid->setHorizontalSpacing(2);
  grid->setVerticalSpacing(3);
  return grid;
}

}  // namespace

TForm_Led_tenu::TForm_Led_tenu()
    : TSettingsDialog(tr("Управление светодиодами варианта 'Tenu'"), "Form_Led_tenu") {
  for (int entry = 0; entry < kLedEntries; ++entry) {
    const int group = entry / 24;
    const QString owner = group == kSystem ? QString("sys") : QString("ch%1").arg(group);
    auto* box = new QCheckBox;
    box->setObjectName(QString("CheckBox_%1_%2_%3").arg(owner, kLeds[entry / 8 % 3]).arg(entry % 8));
    box->setEnabled(!(group == kSystem && entry % 8 == 0));  // the system's "Ошибка параметров" row
    CheckBox_tab[entry] = box;
  }
  BuildLayout();
  for (QCheckBox* box : CheckBox_tab) OnChange(box, [this] { Data_enter(); });
  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
  connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
  SetButtons(Button1, Button2);
}

void TForm_Led_tenu::BuildLayout() {
  auto* chanels = Named(new QGroupBox(tr("Каналы измерения")), "GroupBox_Chanels");
  QGridLayout* grid = LedGrid(chanels);
  EventCaptions(grid, false);
  for (int group = 0; group < kSystem; ++group) {
    const int column = 2 + 4 * group;  // a gap, then three boxes
    grid->setColumnMinimumWidth(column - 1, kGap);
    LedColumns(grid, column, tr("Канал %1").arg(group + 1), CheckBox_tab.data() + 24 * group);
  }

  auto* system = Named(new QGroupBox(tr("Система")), "GroupBox_System");
  QGridLayout* systemGrid = LedGrid(system);
  EventCaptions(systemGrid, true);
  systemGrid->setColumnMinimumWidth(1, kGap);
  LedColumns(systemGrid, 2, "", CheckBox_tab.data() + 24 * kSystem);

  auto* groups = new QHBoxLayout;
  groups->addWidget(chanels);
  groups->addWidget(system);
  auto* layout = new QVBoxLayout(this);
  layout->setSizeConstraint(QLayout::SetFixedSize);  // sized to its contents
  layout->addLayout(groups);
  layout->addLayout(AcceptCancelRow(Button1, Button2));
}

void TForm_Led_tenu::FillControls() {
  for (int entry = 0; entry < kLedEntries; ++entry)
    CheckBox_tab[entry]->setChecked(LedMark(ModuleSettings.SysSet, entry));
}

// Every box is read, the disabled ones too, so that their bits keep what the record holds.
void TForm_Led_tenu::StoreControls() {
  for (int entry = 0; entry < kLedEntries; ++entry)
    SetLedMark(ModuleSettings.SysSet, entry, CheckBox_tab[entry]->isChecked());
}
