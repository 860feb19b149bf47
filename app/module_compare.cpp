// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/module_compare.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include <algorithm>

#include "gui/list_table.h"
#include "gui/message_box.h"
#include "link/module_commands.h"
#include "settings/text_report.h"

namespace {

// The values beside their field; the dialog, long and the same for many rows, last.
enum Column { kField, kWindow, kSource, kModule, kDialog, kColumns };

QString Heading(int column) {
  switch (column) {
    case kField:
      return QCoreApplication::translate("TFormCompare", "Поле");
    case kDialog:
      return QCoreApplication::translate("TFormCompare", "Диалог");
    case kWindow:
      return QCoreApplication::translate("TFormCompare", "В окне");
    case kSource:
      return QCoreApplication::translate("TFormCompare", "Откуда");
    default:
      return QCoreApplication::translate("TFormCompare", "В модуле");
  }
}

QString Cell(const ComparisonRow& row, int column) {
  switch (column) {
    case kField:
      return row.difference.words.Where();
    case kDialog:
      return row.difference.words.dialog;
    case kWindow:
      return row.difference.a;
    case kSource:
      return row.source;
    default:
      return row.difference.b;
  }
}

}  // namespace

std::vector<ComparisonRow> ComparisonRows(const Comparison& c) {
  // The fields edited since the record was last kept: those where it and the window differ.
  const auto edited = CompareSettings(c.kept, c.window, CompareScope::File);
  std::vector<ComparisonRow> rows;
  for (ShownDifference& d : ShownDifferences(c.window, c.module, CompareScope::Written)) {
    bool changed = false;
    for (const FieldDifference& e : edited) changed = changed || e.name == d.field;
    const QString source = changed ? QCoreApplication::translate("TFormCompare", "изменено") : c.source;
    rows.push_back({std::move(d), source});
  }
  return rows;
}

std::string ComparisonText(const Comparison& c, const std::vector<ComparisonRow>& rows) {
  QString text = QCoreApplication::translate("TFormCompare", "Сравнение настроек окна с модулем VEXA") + "\n";
  text += QCoreApplication::translate("TFormCompare", "Время: %1").arg(c.time) + "\n";
  text += QCoreApplication::translate("TFormCompare", "Порт: %1").arg(c.port) + "\n";
  text += QCoreApplication::translate("TFormCompare", "Модуль: %1").arg(c.moduleText) + "\n";
  text += QCoreApplication::translate("TFormCompare", "Настройки окна: %1").arg(c.source) + "\n";
  text += QCoreApplication::translate("TFormCompare", "Различий: %1").arg(rows.size()) + "\n";
  for (const ComparisonRow& row : rows) {
    text += "\n";
    for (int column = 0; column < kColumns; ++column)
      text += Heading(column) + ": " + Cell(row, column) + "\n";
  }
  return text.toStdString();
}

TFormCompare::TFormCompare(std::function<void(const TModuleSettings&)> take) : take_(std::move(take)) {
  setObjectName("FormCompare");
  setWindowTitle(tr("Сравнение с модулем"));
  auto* layout = new QVBoxLayout(this);
  Label_Heading = new QLabel(this);
  Label_Heading->setObjectName("Label_Heading");
  Label_Heading->setWordWrap(true);
  layout->addWidget(Label_Heading);
  Table_Differences = new QTableWidget(0, kColumns, this);
  Table_Differences->setObjectName("Table_Differences");
  MakeListTable(Table_Differences);
  QStringList heads;
  for (int column = 0; column < kColumns; ++column) heads << Heading(column);
  Table_Differences->setHorizontalHeaderLabels(heads);
  layout->addWidget(Table_Differences, 1);
  auto* buttons = new QHBoxLayout;
  Button_Save = new QPushButton(tr("Сохранить"), this);
  Button_Save->setObjectName("Button_Save");
  Button_Take = new QPushButton(tr("Взять значения модуля"), this);
  Button_Take->setObjectName("Button_Take");
  Button_Close = new QPushButton(tr("Закрыть"), this);
  Button_Close->setObjectName("Button_Close");
  buttons->addWidget(Button_Save);
  buttons->addWidget(Button_Take);
  buttons->addStretch(1);
  buttons->addWidget(Button_Close);
  layout->addLayout(buttons);
  connect(Button_Save, &QPushButton::clicked, this, [this] { Save(); });
  connect(Button_Take, &QPushButton::clicked, this, [this] { Take(); });
  connect(Button_Close, &QPushButton::clicked, this, [this] { hide(); });
  resize(1100, 440);
}

void TFormCompare::Show(const Comparison& comparison) {
  comparison_ = comparison;
  rows_ = ComparisonRows(comparison);
  Label_Heading->setText(tr("Модуль %1, порт %2, %3. Настройки окна: %4. Различий: %5.")
                             .arg(comparison.moduleText, comparison.port, comparison.time, comparison.source)
                             .arg(rows_.size()));
  Table_Differences->setRowCount(static_cast<int>(rows_.size()));
  for (int r = 0; r < static_cast<int>(rows_.size()); ++r)
    for (int column = 0; column < kColumns; ++column) {
      auto* item = new QTableWidgetItem(Cell(rows_[static_cast<std::size_t>(r)], column));
      item->setData(Qt::UserRole,
                    QString::fromStdString(rows_[static_cast<std::size_t>(r)].difference.field));
      // The whole text, for a cell too narrow to show it, and the field's name as vexa_cli gives it.
      item->setToolTip(item->text() + "\n" +
                       QString::fromStdString(rows_[static_cast<std::size_t>(r)].difference.field));
      Table_Differences->setItem(r, column, item);
    }
  Table_Differences->resizeColumnsToContents();
  // A list of events can be long: no column takes the window for itself.
  for (int column = 0; column < kColumns; ++column)
    Table_Differences->setColumnWidth(column, std::min(Table_Differences->columnWidth(column), 380));
  Button_Take->setEnabled(true);
  show();
  raise();
  activateWindow();
}

void TFormCompare::Save() {
  SaveTextAs(SaveDialog, kReportExtension, [this] { return ComparisonText(comparison_, rows_); });
}

void TFormCompare::Take() {
  if (MessageBoxes().Show(kTakeQuestion, kAttentionCaption, BoxButtons::YesNo) != BoxAnswer::Yes) return;
  take_(comparison_.module);
  // Taken once: the window now holds the module's values.
  Button_Take->setEnabled(false);
}
