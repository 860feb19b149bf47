// SPDX-License-Identifier: GPL-3.0-or-later
#include "views/line_monitor.h"

#include <QAbstractTableModel>
#include <QCheckBox>
#include <QColor>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QToolTip>
#include <QVBoxLayout>

#include <algorithm>
#include <deque>
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

// The record's exchanges as rows, newest last; with the filter only those that failed. Brought up
// to date row by row (the new appended, those the record let go removed), so that a view keeps its
// selection and what it shows.
class ExchangeModel : public QAbstractTableModel {
 public:
  explicit ExchangeModel(const ExchangeRecord& record, QObject* parent)
      : QAbstractTableModel(parent), record_(record) {}

  // All rows anew, for another filter.
  void Reset(bool failuresOnly) {
    beginResetModel();
    rows_.clear();
    failuresOnly_ = failuresOnly;
    seen_ = First();
    Append(/*announce=*/false);
    endResetModel();
  }
  // Returns how many rows went from the top.
  int Update() {
    const std::uint64_t first = First();
    std::size_t gone = 0;
    while (gone < rows_.size() && rows_[gone] < first) ++gone;
    if (gone > 0) {
      beginRemoveRows({}, 0, static_cast<int>(gone) - 1);
      rows_.erase(rows_.begin(), rows_.begin() + static_cast<std::ptrdiff_t>(gone));
      endRemoveRows();
    }
    seen_ = std::max(seen_, first);
    // A verdict can change after the fact (an answer found late): the rows shown are read again.
    if (!rows_.empty()) emit dataChanged(index(0, 3), index(static_cast<int>(rows_.size()) - 1, 3));
    Append(/*announce=*/true);
    return static_cast<int>(gone);
  }
  int rowCount(const QModelIndex& parent) const override {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
  }
  int columnCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : 5; }
  QVariant data(const QModelIndex& index, int role) const override {
    if (!index.isValid() || index.row() >= static_cast<int>(rows_.size())) return {};
    // A row whose exchange the record has let go since the last update shows nothing till then.
    const std::uint64_t number = rows_[static_cast<std::size_t>(index.row())];
    if (number < First() || number >= record_.Recorded()) return {};
    const Exchange& e = record_.Entries()[static_cast<std::size_t>(number - First())];
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
  std::uint64_t First() const { return record_.Recorded() - record_.Entries().size(); }
  void Append(bool announce) {
    const auto& entries = record_.Entries();
    std::vector<std::uint64_t> added;
    for (std::uint64_t n = seen_; n < record_.Recorded(); ++n)
      if (!failuresOnly_ || entries[static_cast<std::size_t>(n - First())].verdict != Verdict::Answered)
        added.push_back(n);
    seen_ = record_.Recorded();
    if (added.empty()) return;
    const int at = static_cast<int>(rows_.size());
    if (announce) beginInsertRows({}, at, at + static_cast<int>(added.size()) - 1);
    rows_.insert(rows_.end(), added.begin(), added.end());
    if (announce) endInsertRows();
  }

  const ExchangeRecord& record_;
  std::deque<std::uint64_t> rows_;  // the record's numbers of the exchanges shown
  std::uint64_t seen_ = 0;          // the record's number of the first exchange not yet looked at
  bool failuresOnly_ = false;
};

// The answer's whole text as a tool tip where the column cuts it.
class ElidedToolTips : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                 const QModelIndex& index) override {
    if (event->type() != QEvent::ToolTip) return QStyledItemDelegate::helpEvent(event, view, option, index);
    const QString text = index.data().toString();
    const int room = option.rect.width() - 2 * (view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1);
    if (option.fontMetrics.horizontalAdvance(text) > room)
      QToolTip::showText(event->globalPos(), text, view);
    else
      QToolTip::hideText();
    return true;
  }
};

}  // namespace views_detail

using views_detail::ShownVerdict;

namespace {

constexpr const char* kCounterNames[TFormLineMonitor::kCounters] = {
    QT_TRANSLATE_NOOP("TFormLineMonitor", "Обменов"),
    QT_TRANSLATE_NOOP("TFormLineMonitor", "С ответом"),
    QT_TRANSLATE_NOOP("TFormLineMonitor", "Нет ответа"),
    QT_TRANSLATE_NOOP("TFormLineMonitor", "Ответ обрезан"),
    QT_TRANSLATE_NOOP("TFormLineMonitor", "Ответ с паузой"),
    QT_TRANSLATE_NOOP("TFormLineMonitor", "Ответ искажен или чужой"),
    QT_TRANSLATE_NOOP("TFormLineMonitor", "Ответ длиннее ожидаемого"),
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

  Label_Note = new QLabel(this);
  Label_Note->setObjectName("Label_Note");
  Label_Note->setWordWrap(true);
  Label_Note->setTextInteractionFlags(Qt::TextSelectableByMouse);
  Label_Note->hide();
  layout->addWidget(Label_Note);

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
    grid->addWidget(new QLabel(tr(kCounterNames[i]) + ":", counters), i % 6, (i / 6) * 2);
    Label_Count[static_cast<std::size_t>(i)] = new QLabel("0", counters);
    Label_Count[static_cast<std::size_t>(i)]->setObjectName(QString("Label_Count_%1").arg(i));
    Label_Count[static_cast<std::size_t>(i)]->setTextInteractionFlags(Qt::TextSelectableByMouse);
    grid->addWidget(Label_Count[static_cast<std::size_t>(i)], i % 6, (i / 6) * 2 + 1);
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
  Table_Exchanges->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);  // a scroll value is a row
  Table_Exchanges->setWordWrap(false);
  Table_Exchanges->setItemDelegateForColumn(2, new views_detail::ElidedToolTips(Table_Exchanges));
  // Widths from the longest texts of each column but the answer's, which takes the rest (a long one
  // is elided; "Сохранить журнал" keeps it whole).
  QHeaderView* header = Table_Exchanges->horizontalHeader();
  const auto fit = [this](const QString& text) { return fontMetrics().horizontalAdvance(text) + 16; };
  header->resizeSection(0, fit("00:00:00.000"));
  header->resizeSection(1, fit("44 28 01 C0 10 00 00"));
  int verdictWidth = 0;
  for (const Verdict v : {Verdict::Answered, Verdict::NoAnswer, Verdict::Cut, Verdict::Garbled,
                          Verdict::Refused, Verdict::Late, Verdict::Long})
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

  // Exchanges come some ten a second: drawn together a few times a second, which the eye follows
  // as well and costs a fraction.
  Timer_Refresh.setInterval(kRefreshMs);
  Timer_Refresh.setSingleShot(true);
  connect(&Timer_Refresh, &QTimer::timeout, this, [this] { Refresh(); });
  connect(CheckBox_FailuresOnly, &QCheckBox::toggled, this, [this] {
    model_->Reset(CheckBox_FailuresOnly->isChecked());
    Refresh();
  });
  connect(Button_SaveLog, &QPushButton::clicked, this, [this] { SaveLog(); });
  resize(720, 520);
}

void TFormLineMonitor::ExchangeEnded() {
  if (isVisible() && !Timer_Refresh.isActive()) Timer_Refresh.start();
}

void TFormLineMonitor::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  Refresh();  // what came while hidden, the rows and the place read kept
}

void TFormLineMonitor::hideEvent(QHideEvent* event) {
  // Hidden, nothing is drawn; the rows stay (they hold numbers, not the exchanges) and catch up
  // when it is shown again.
  Timer_Refresh.stop();
  QWidget::hideEvent(event);
}

void TFormLineMonitor::Refresh() {
  if (!isVisible()) return;
  Label_Note->setText(QString::fromStdString(record_.Note()));
  Label_Note->setVisible(!record_.Note().empty());
  const ExchangeCounters& n = record_.Counters();
  const std::uint64_t values[] = {n.exchanges, n.answered, n.noAnswer, n.cut,      n.late,
                                  n.garbled,   n.tooLong,  n.refused,  n.bytesOut, n.bytesIn};
  for (std::size_t i = 0; i < std::size(values); ++i) Label_Count[i]->setText(QString::number(values[i]));
  Label_Count[10]->setText(n.answered == 0 ? QString("-")
                                           : QString::fromStdString(CFormat("%.1f", n.lastRoundTripMs)));
  Timer_Refresh.stop();
  // Follow the newest row only while the view is at its bottom; scrolled up, the rows shown stay
  // where they are as the oldest go.
  QScrollBar* bar = Table_Exchanges->verticalScrollBar();
  const bool atEnd = bar->value() == bar->maximum();
  const int top = bar->value();
  const int gone = model_->Update();
  if (atEnd)
    Table_Exchanges->scrollToBottom();
  else if (gone > 0)
    bar->setValue(std::max(0, top - gone));
}

std::string TFormLineMonitor::JournalText() const {
  std::string text;
  if (!record_.Port().empty()) {
    text += tr("Порт: %1").arg(QString::fromStdString(record_.Port())).toStdString() + "\n";
    text +=
        tr("Соединение: %1").arg(QString::fromStdString(DateClockText(record_.ConnectedAt()))).toStdString() +
        "\n\n";
  }
  for (const Exchange& e : record_.Entries())
    if (!CheckBox_FailuresOnly->isChecked() || e.verdict != Verdict::Answered)
      text += ExchangeLine(e, /*withDate=*/true) + "\n";
  return text;
}

void TFormLineMonitor::SaveLog() {
  if (!saveDialog_.Execute()) return;
  const std::string text = JournalText();
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
  if (WriteWholeFile(PathWithExtension(saveDialog_.FileName().toStdString(), ".txt"), {bytes, text.size()}))
    saveDialog_.Succeeded();
  else
    MessageBoxes().Show(FileOutcomeText(FileOutcome::CannotCreate), kFileErrorCaption, BoxButtons::Ok);
}
