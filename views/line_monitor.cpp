// SPDX-License-Identifier: GPL-3.0-or-later
#include "views/line_monitor.h"

#include <QAbstractTableModel>
#include <QCheckBox>
#include <QColor>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>
#include <vector>

#include "comm/Siodisplay.h"
#include "gui/file_dialog.h"
#include "gui/message_box.h"
#include "settings/c_format.h"
#include "settings/file_io.h"

namespace views_detail {

// A verdict in the window's language.
QString ShownVerdict(Verdict verdict) {
  return QCoreApplication::translate("Messages", VerdictText(verdict));
}

// The record's exchanges as rows, newest last; with the filter only those that failed.
class ExchangeModel : public QAbstractTableModel {
 public:
  explicit ExchangeModel(const ExchangeRecord& record, QObject* parent)
      : QAbstractTableModel(parent), record_(record) {}

  void Refresh(bool failuresOnly) {
    beginResetModel();
    rows_.clear();
    for (const Exchange& e : record_.Entries())
      if (!failuresOnly || e.verdict != Verdict::Answered) rows_.push_back(&e);
    endResetModel();
  }
  void Clear() {
    beginResetModel();
    rows_.clear();
    endResetModel();
  }

  int rowCount(const QModelIndex& parent) const override {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
  }
  int columnCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : 5; }
  QVariant data(const QModelIndex& index, int role) const override {
    if (!index.isValid() || index.row() >= static_cast<int>(rows_.size())) return {};
    const Exchange& e = *rows_[static_cast<std::size_t>(index.row())];
    if (role == Qt::ForegroundRole && index.column() == 3 && e.verdict != Verdict::Answered)
      return QColor(Qt::red);
    if (role != Qt::DisplayRole) return {};
    switch (index.column()) {
      case 0:
        return QString::fromStdString(ClockText(e.sent));
      case 1:
        return QString::fromStdString(HexBytes(e.request));
      case 2:
        return QString::fromStdString(e.answer.empty() ? std::string("-") : HexBytes(e.answer));
      case 3:
        return ShownVerdict(e.verdict);
      default:
        return e.answer.empty() ? QString() : QString::fromStdString(CFormat("%.1f", e.roundTripMs));
    }
  }
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const char* const kTitles[] = {
        QT_TRANSLATE_NOOP("TFormLineMonitor", "Время"), QT_TRANSLATE_NOOP("TFormLineMonitor", "Запрос"),
        QT_TRANSLATE_NOOP("TFormLineMonitor", "Ответ"), QT_TRANSLATE_NOOP("TFormLineMonitor", "Итог"),
        QT_TRANSLATE_NOOP("TFormLineMonitor", "мс")};
    return TFormLineMonitor::tr(kTitles[section]);
  }

 private:
  const ExchangeRecord& record_;
  // Into the record's deque, valid until it changes: refreshed on every change while shown.
  std::vector<const Exchange*> rows_;
};

}  // namespace views_detail

using views_detail::ShownVerdict;

namespace {

constexpr const char* kCounterNames[TFormLineMonitor::kCounters] = {
    QT_TRANSLATE_NOOP("TFormLineMonitor", "Обменов"),
    QT_TRANSLATE_NOOP("TFormLineMonitor", "С ответом"),
    QT_TRANSLATE_NOOP("TFormLineMonitor", "Нет ответа"),
    QT_TRANSLATE_NOOP("TFormLineMonitor", "Ответ обрезан"),
    QT_TRANSLATE_NOOP("TFormLineMonitor", "Ответ искажен или чужой"),
    QT_TRANSLATE_NOOP("TFormLineMonitor", "Отказ"),
    QT_TRANSLATE_NOOP("TFormLineMonitor", "Байт передано"),
    QT_TRANSLATE_NOOP("TFormLineMonitor", "Байт принято"),
    QT_TRANSLATE_NOOP("TFormLineMonitor", "Последний обмен, мс")};

}  // namespace

TFormLineMonitor::TFormLineMonitor(const ExchangeRecord& record, QWidget* parent)
    : QWidget(parent, Qt::Window), record_(record) {
  setObjectName("FormLineMonitor");
  setWindowTitle(tr("Состояние индикации"));
  auto* layout = new QVBoxLayout(this);

  auto* lines = new QGroupBox(tr("Линии порта"), this);
  auto* linesLayout = new QVBoxLayout(lines);
  Leds = new TSioLEDDisplay(lines);
  Leds->setObjectName("Leds");
  Leds->setMinimumSize(316, 18);
  linesLayout->addWidget(Leds);
  layout->addWidget(lines);

  auto* counters = new QGroupBox(tr("Счетчики с момента соединения"), this);
  auto* grid = new QGridLayout(counters);
  for (int i = 0; i < kCounters; ++i) {
    grid->addWidget(new QLabel(tr(kCounterNames[i]) + ":", counters), i % 5, (i / 5) * 2);
    Label_Count[static_cast<std::size_t>(i)] = new QLabel("0", counters);
    Label_Count[static_cast<std::size_t>(i)]->setObjectName(QString("Label_Count_%1").arg(i));
    Label_Count[static_cast<std::size_t>(i)]->setTextInteractionFlags(Qt::TextSelectableByMouse);
    grid->addWidget(Label_Count[static_cast<std::size_t>(i)], i % 5, (i / 5) * 2 + 1);
  }
  grid->setColumnStretch(1, 1);
  grid->setColumnStretch(3, 1);
  layout->addWidget(counters);

  model_ = new views_detail::ExchangeModel(record_, this);
  Table_Exchanges = new QTableView(this);
  Table_Exchanges->setObjectName("Table_Exchanges");
  Table_Exchanges->setModel(model_);
  Table_Exchanges->verticalHeader()->hide();
  Table_Exchanges->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
  Table_Exchanges->setSelectionBehavior(QAbstractItemView::SelectRows);
  Table_Exchanges->setWordWrap(false);
  // Widths from the longest texts of each column but the answer's, which takes the rest (a long one
  // is elided; "Сохранить журнал" keeps it whole).
  QHeaderView* header = Table_Exchanges->horizontalHeader();
  const auto fit = [this](const QString& text) { return fontMetrics().horizontalAdvance(text) + 16; };
  header->resizeSection(0, fit("00:00:00.000"));
  header->resizeSection(1, fit("44 28 01 C0 10 00 00"));
  int verdictWidth = 0;
  for (const Verdict v :
       {Verdict::Answered, Verdict::NoAnswer, Verdict::Cut, Verdict::Garbled, Verdict::Refused})
    verdictWidth = std::max(verdictWidth, fit(ShownVerdict(v)));
  header->resizeSection(3, verdictWidth);
  header->resizeSection(4, fit("0000.0"));
  header->setSectionResizeMode(2, QHeaderView::Stretch);
  layout->addWidget(Table_Exchanges, 1);

  auto* buttons = new QHBoxLayout;
  CheckBox_FailuresOnly = new QCheckBox(tr("Только сбои"), this);
  CheckBox_FailuresOnly->setObjectName("CheckBox_FailuresOnly");
  Button_SaveLog = new QPushButton(tr("Сохранить журнал"), this);
  Button_SaveLog->setObjectName("Button_SaveLog");
  buttons->addWidget(CheckBox_FailuresOnly);
  buttons->addStretch(1);
  buttons->addWidget(Button_SaveLog);
  layout->addLayout(buttons);

  connect(CheckBox_FailuresOnly, &QCheckBox::toggled, this, [this] { Refresh(); });
  connect(Button_SaveLog, &QPushButton::clicked, this, [this] { SaveLog(); });
  resize(720, 520);
}

void TFormLineMonitor::showEvent(QShowEvent* event) {
  Refresh();
  QWidget::showEvent(event);
}

void TFormLineMonitor::hideEvent(QHideEvent* event) {
  // Hidden, it is not refreshed: rows into the record would outlive the exchanges they name.
  model_->Clear();
  QWidget::hideEvent(event);
}

void TFormLineMonitor::Refresh() {
  const ExchangeCounters& n = record_.Counters();
  const std::uint64_t values[] = {n.exchanges, n.answered, n.noAnswer, n.cut,
                                  n.garbled,   n.refused,  n.bytesOut, n.bytesIn};
  for (std::size_t i = 0; i < std::size(values); ++i) Label_Count[i]->setText(QString::number(values[i]));
  Label_Count[8]->setText(n.answered == 0 ? QString("-")
                                          : QString::fromStdString(CFormat("%.1f", n.lastRoundTripMs)));
  // Follow the newest row unless the engineer has scrolled up to read an older one.
  const auto* bar = Table_Exchanges->verticalScrollBar();
  const bool atEnd = bar == nullptr || bar->value() == bar->maximum();
  model_->Refresh(CheckBox_FailuresOnly->isChecked());
  if (atEnd) Table_Exchanges->scrollToBottom();
}

std::string TFormLineMonitor::JournalText() const {
  std::string text;
  for (const Exchange& e : record_.Entries())
    if (!CheckBox_FailuresOnly->isChecked() || e.verdict != Verdict::Answered) text += ExchangeLine(e) + "\n";
  return text;
}

void TFormLineMonitor::SaveLog() {
  if (!saveDialog_.Execute()) return;
  const std::string text = JournalText();
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
  if (!WriteWholeFile(PathWithExtension(saveDialog_.FileName().toStdString(), ".txt"), {bytes, text.size()}))
    MessageBoxes().Show(FileOutcomeText(FileOutcome::CannotCreate), kFileErrorCaption, BoxButtons::Ok);
}
