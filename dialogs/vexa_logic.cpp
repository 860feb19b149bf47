// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/vexa_logic.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "dialogs/dialog_layout.h"
#include "settings/module_settings.h"

TFormLogic* FormLogic = nullptr;

namespace {

constexpr const auto& kSystemEvents = kLogicSystemEventCaptions;
// How each system event's row is shown.
enum class RowState { Enabled, Disabled, Hidden };
constexpr RowState kSystemRows[8] = {RowState::Disabled, RowState::Enabled,  RowState::Enabled,
                                     RowState::Disabled, RowState::Disabled, RowState::Hidden,
                                     RowState::Hidden,   RowState::Hidden};

QComboBox* OutputList(const QString& name) {
  auto* list = new QComboBox;
  list->setObjectName(name);
  list->addItem(" -");
  for (int output = 1; output <= kLogicOutputs; ++output) list->addItem(QString("%1").arg(output, 2));
  list->setFocusPolicy(Qt::ClickFocus);  // the Tab key passes the 40 lists by
  return list;
}

// A group with one column of lists per event group and the event captions on the left; heads over
// the columns (an empty head keeps the rows level with a group that has them).
QGroupBox* EventGrid(const QString& caption, const char* name, const QStringList& heads,
                     const char* const (&events)[8], QComboBox* const* lists, const RowState* states) {
  auto* box = Named(new QGroupBox(caption), name);
  auto* grid = new QGridLayout(box);
  grid->setHorizontalSpacing(8);
  grid->setVerticalSpacing(3);
  for (int column = 0; column < heads.size(); ++column) {
    QLabel* head =
        StyledLabel(heads[column].isEmpty() ? " " : heads[column], false, !heads[column].isEmpty());
    grid->addWidget(head, 0, column + 1, Qt::AlignHCenter);
  }
  for (int event = 0; event < 8; ++event) {
    auto* label = new QLabel(DialogText(events[event]));
    grid->addWidget(label, event + 1, 0);
    for (int column = 0; column < heads.size(); ++column) {
      QComboBox* list = lists[column * 8 + event];
      grid->addWidget(list, event + 1, column + 1, Qt::AlignHCenter);
      if (states == nullptr) continue;
      for (QWidget* w : {static_cast<QWidget*>(label), static_cast<QWidget*>(list)}) {
        w->setEnabled(states[event] == RowState::Enabled);
        QSizePolicy policy = w->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        w->setSizePolicy(policy);
        w->setHidden(states[event] == RowState::Hidden);
      }
    }
  }
  return box;
}

}  // namespace

TFormLogic::TFormLogic() : TSettingsDialog(tr("Настройка логической сигнализации модуля VEXA"), "FormLogic") {
  for (int entry = 0; entry < kLogicEntries; ++entry) {
    const int group = entry / 8;
    const QString prefix = group < 4 ? QString("ComboBox_ch%1_").arg(group + 1) : QString("ComboBox_sys_");
    ComboBox_tab[entry] = OutputList(prefix + QString::number(entry % 8));
  }
  BuildLayout();
  const auto changed = [this] { form_data_enter(); };
  for (QComboBox* list : ComboBox_tab) OnChange(list, changed);
  OnChange(MaskEdit_Start, changed);
  OnChange(MaskEdit_Point, changed);
  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
  connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
  SetButtons(Button1, Button2);
  Button1->setEnabled(false);
  Button2->setEnabled(false);
}

void TFormLogic::BuildLayout() {
  QGroupBox* chanels =
      EventGrid(tr("Логическая сигнализация каналов измерения"), "GroupBox_Chanels",
                {tr("Канал %1").arg(1), tr("Канал %1").arg(2), tr("Канал %1").arg(3), tr("Канал %1").arg(4)},
                kChanelEventCaptions, ComboBox_tab.data(), nullptr);
  QGroupBox* system = EventGrid(tr("Логическая сигнализация системы"), "GroupBox_System", {""}, kSystemEvents,
                                ComboBox_tab.data() + 32, kSystemRows);
  auto* groups = new QHBoxLayout;
  groups->addWidget(chanels);
  groups->addWidget(system, 0, Qt::AlignTop);

  MaskEdit_Start = MaskEdit("99.9;1;0", "MaskEdit_Start");
  MaskEdit_Point = MaskEdit("99.9;1;0", "MaskEdit_Point");
  auto* times = new QGridLayout;
  times->setHorizontalSpacing(8);
  times->addWidget(new QLabel(tr("Длител. блокир. лог. выходов после сброса модуля, сек")), 0, 0);
  times->addWidget(MaskEdit_Start, 0, 1);
  times->addWidget(new QLabel(tr("Длител. отображ. уставок (для варианта 'Pano'), сек")), 1, 0);
  times->addWidget(MaskEdit_Point, 1, 1);
  times->setColumnStretch(2, 1);
  MaskEdit_Start->setFocusPolicy(Qt::ClickFocus);

  auto* layout = new QVBoxLayout(this);
  layout->setSizeConstraint(QLayout::SetFixedSize);  // sized to its contents
  layout->addLayout(groups);
  layout->addLayout(times);
  layout->addLayout(AcceptCancelRow(Button1, Button2));
}

void TFormLogic::FillControls() {
  const TSysSet& sys = ModuleSettings.SysSet;
  // A nibble of 12 to 15 names no output and leaves its list without a selection.
  for (int entry = 0; entry < kLogicEntries; ++entry) {
    const int output = LogicNibble(sys, entry);
    ComboBox_tab[entry]->setCurrentIndex(output <= kLogicOutputs ? output : -1);
  }
  MaskEdit_Start->SetText(FifthSecondText(sys.Time_Start));
  MaskEdit_Point->SetText(FifthSecondText(sys.Time_Point));
}

void TFormLogic::StoreControls() {
  LogicEntry e;
  for (int entry = 0; entry < kLogicEntries; ++entry) e.outputs[entry] = Selection(ComboBox_tab[entry]);
  e.timeStart = MaskEdit_Start->EnteredText();
  e.timePoint = MaskEdit_Point->EnteredText();
  AcceptLogic(ModuleSettings.SysSet, e);
}
