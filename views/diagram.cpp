// SPDX-License-Identifier: GPL-3.0-or-later
#include "views/diagram.h"

#include <QBuffer>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDateTime>
#include <QGraphicsItem>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPainter>
#include <QPen>
#include <QPushButton>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "gui/message_box.h"
#include "link/wall_clock.h"
#include "settings/file_io.h"

namespace {

const QColor kChannelColors[4] = {QColor(0x1F, 0x5F, 0xBF), QColor(0xC8, 0x28, 0x28),
                                  QColor(0x2A, 0x8A, 0x2A), QColor(0xA0, 0x50, 0xC0)};

// A set-point far outside what the channel shows would squash its line flat; one within a span's
// width of it is drawn.
bool NearTheData(double point, double low, double high) {
  const double width = std::max(high - low, std::max(std::abs(high), 1.0) * 0.1);
  return point >= low - width && point <= high + width;
}

// A range around [low, high] on round steps of 1, 2 or 5 times a power of ten, some ten of them,
// and the decimals its labels need.
struct NiceRange {
  double min, max;
  int ticks, decimals;
};
NiceRange NiceRangeAround(double low, double high) {
  const double raw = (high - low) / 10;
  const double exponent = std::floor(std::log10(raw));
  const double power = std::pow(10.0, exponent);
  const double fraction = raw / power;
  const double step = (fraction <= 1 ? 1 : fraction <= 2 ? 2 : fraction <= 5 ? 5 : 10) * power;
  const double min = std::floor(low / step) * step, max = std::ceil(high / step) * step;
  return {min, max, static_cast<int>(std::lround((max - min) / step)) + 1,
          static_cast<int>(std::clamp(-exponent, 0.0, 9.0))};
}

// The step of the time axis' labels for a span of `minutes`: some four to seven labels.
std::int64_t TimeStepMs(int minutes) {
  switch (minutes) {
    case 1:
      return 10'000;
    case 5:
      return 60'000;
    case 15:
      return 120'000;
    default:
      return 600'000;
  }
}

const char* const kQuantityTitles[] = {
    QT_TRANSLATE_NOOP("TFormDiagram", "Значение"), QT_TRANSLATE_NOOP("TFormDiagram", "Ток датчика, мА"),
    QT_TRANSLATE_NOOP("TFormDiagram", "АЦП"), QT_TRANSLATE_NOOP("TFormDiagram", "ЦАП")};

}  // namespace

namespace views_detail {

// The four channels' lines in data coordinates (ms, value), each broken where the link was down,
// drawn straight onto the chart's plot area for the ranges the axes were given.
class ChannelLines : public QGraphicsItem {
 public:
  explicit ChannelLines(QChart* chart) : QGraphicsItem(chart), chart_(chart) {
    setZValue(10);  // over the grid and the set-point lines
    for (int ch = 0; ch < 4; ++ch) {
      pens_[static_cast<std::size_t>(ch)] = QPen(kChannelColors[ch], 1);
      pens_[static_cast<std::size_t>(ch)].setCosmetic(true);
    }
  }

  // Points gathered for the next Show; a line holds at least one point.
  std::array<std::vector<std::vector<QPointF>>, 4> lines;
  std::array<std::size_t, 4> used{};

  void Begin() { used.fill(0); }
  std::vector<QPointF>& NewLine(std::size_t channel) {
    auto& channelLines = lines[channel];
    if (used[channel] == channelLines.size()) channelLines.emplace_back();
    auto& line = channelLines[used[channel]++];
    line.clear();
    return line;
  }
  void Show(double fromMs, double toMs, double low, double high) {
    from_ = fromMs, to_ = toMs, low_ = low, high_ = high;
    PlotChanged();
  }
  void PlotChanged() {
    prepareGeometryChange();
    plot_ = chart_->plotArea();
    update();
  }

  QRectF boundingRect() const override { return plot_; }
  void paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) override {
    if (plot_.isEmpty() || to_ <= from_ || high_ <= low_) return;
    painter->setClipRect(plot_, Qt::IntersectClip);
    const double sx = plot_.width() / (to_ - from_), sy = plot_.height() / (high_ - low_);
    for (std::size_t ch = 0; ch < 4; ++ch) {
      painter->setPen(pens_[ch]);
      for (std::size_t i = 0; i < used[ch]; ++i) {
        mapped_.clear();
        for (const QPointF& p : lines[ch][i]) {
          if (!std::isfinite(p.y())) continue;
          mapped_.emplace_back(plot_.left() + (p.x() - from_) * sx, plot_.bottom() - (p.y() - low_) * sy);
        }
        if (mapped_.size() == 1)
          painter->drawPoint(mapped_[0]);
        else
          painter->drawPolyline(mapped_.data(), static_cast<int>(mapped_.size()));
      }
    }
  }

 private:
  QChart* chart_;
  std::array<QPen, 4> pens_;
  QRectF plot_;
  double from_ = 0, to_ = 0, low_ = 0, high_ = 0;
  std::vector<QPointF> mapped_;
};

}  // namespace views_detail

TFormDiagram::TFormDiagram(const LiveHistory& history, const TModuleSettings& settings, QWidget* parent)
    : QWidget(parent, Qt::Window), history_(history), settings_(settings) {
  setObjectName("FormDiagram");
  setWindowTitle(tr("Диаграмма"));
  auto* layout = new QVBoxLayout(this);

  auto* controls = new QHBoxLayout;
  ComboBox_Quantity = new QComboBox(this);
  ComboBox_Quantity->setObjectName("ComboBox_Quantity");
  ComboBox_Quantity->addItems({tr("Значение"), tr("Ток датчика"), tr("АЦП"), tr("ЦАП")});
  ComboBox_Span = new QComboBox(this);
  ComboBox_Span->setObjectName("ComboBox_Span");
  for (const int minutes : kSpansMinutes) ComboBox_Span->addItem(tr("%1 мин").arg(minutes));
  Button_Pause = new QPushButton(tr("Пауза"), this);
  Button_Pause->setObjectName("Button_Pause");
  Button_Pause->setCheckable(true);
  Button_SaveCsv = new QPushButton(tr("Сохранить CSV"), this);
  Button_SaveCsv->setObjectName("Button_SaveCsv");
  Button_SaveImage = new QPushButton(tr("Сохранить изображение"), this);
  Button_SaveImage->setObjectName("Button_SaveImage");
  controls->addWidget(new QLabel(tr("Величина:"), this));
  controls->addWidget(ComboBox_Quantity);
  controls->addSpacing(12);
  controls->addWidget(new QLabel(tr("Интервал:"), this));
  controls->addWidget(ComboBox_Span);
  controls->addSpacing(12);
  controls->addWidget(Button_Pause);
  controls->addStretch(1);
  controls->addWidget(Button_SaveCsv);
  controls->addWidget(Button_SaveImage);
  layout->addLayout(controls);

  chart_ = new QChart;
  chart_->setAnimationOptions(QChart::NoAnimation);
  chart_->legend()->setAlignment(Qt::AlignBottom);
  chart_->setMargins(QMargins(4, 4, 4, 4));
  // A plain background: the theme's gradient costs more to fill than the lines to draw.
  chart_->setBackgroundBrush(QBrush(Qt::white));
  chart_->setBackgroundRoundness(0);
  timeAxis_ = new QCategoryAxis(chart_);
  timeAxis_->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
  valueAxis_ = new QValueAxis(chart_);
  chart_->addAxis(timeAxis_, Qt::AlignBottom);
  chart_->addAxis(valueAxis_, Qt::AlignLeft);
  for (int ch = 0; ch < 4; ++ch) {
    NewSeries(ch, false);  // the legend's entry
    for (auto& line : setPoints_[static_cast<std::size_t>(ch)]) line = NewSeries(ch, true);
  }
  lines_ = new views_detail::ChannelLines(chart_);
  // A plot of another width takes other columns: thinned anew for the time shown, once the layout
  // is done.
  connect(
      chart_, &QChart::plotAreaChanged, this, [this] { Redraw(static_cast<std::int64_t>(timeAxis_->max())); },
      Qt::QueuedConnection);
  Chart_View = new QChartView(chart_, this);
  Chart_View->setObjectName("Chart_View");
  Chart_View->setMinimumSize(480, 280);
  layout->addWidget(Chart_View, 1);

  // While no status cycle comes (the link down), the time axis still moves on each second.
  Timer_Redraw.setInterval(1000);
  Timer_Redraw.setSingleShot(true);
  connect(&Timer_Redraw, &QTimer::timeout, this, [this] { Refresh(); });
  // A change of what is shown redraws even a paused view, at the time it stopped at.
  const auto choiceChanged = [this] {
    if (Button_Pause->isChecked())
      Redraw(static_cast<std::int64_t>(timeAxis_->max()));
    else
      Refresh();
  };
  connect(ComboBox_Quantity, &QComboBox::currentIndexChanged, this, choiceChanged);
  connect(ComboBox_Span, &QComboBox::currentIndexChanged, this, choiceChanged);
  connect(Button_Pause, &QPushButton::toggled, this, [this] { Refresh(); });
  connect(Button_SaveCsv, &QPushButton::clicked, this, [this] { SaveCsv(); });
  connect(Button_SaveImage, &QPushButton::clicked, this, [this] { SaveImage(); });
  resize(860, 520);
  Redraw(WallClockMs());
}

QLineSeries* TFormDiagram::NewSeries(int channel, bool setPoint) {
  auto* series = new QLineSeries(chart_);
  QPen pen(kChannelColors[channel]);
  pen.setWidthF(setPoint ? 1.0 : 1.5);
  if (setPoint) pen.setStyle(Qt::DashLine);
  series->setPen(pen);
  if (!setPoint) series->setName(tr("Канал %1").arg(channel + 1));
  chart_->addSeries(series);
  series->attachAxis(timeAxis_);
  series->attachAxis(valueAxis_);
  if (setPoint)
    for (QLegendMarker* marker : chart_->legend()->markers(series)) marker->setVisible(false);
  return series;
}

void TFormDiagram::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  Refresh();
}

void TFormDiagram::Refresh() {
  if (!isVisible()) return;
  Timer_Redraw.start();
  // A clock set back leaves the newest samples ahead of it: the view still ends with them.
  const auto& samples = history_.Samples();
  if (!Button_Pause->isChecked()) Redraw(std::max(WallClockMs(), samples.empty() ? 0 : samples.back().ms));
}

void TFormDiagram::Redraw(std::int64_t nowMs) {
  const std::int64_t from = nowMs - kSpansMinutes[std::max(0, ComboBox_Span->currentIndex())] * 60'000LL;
  const int quantity = std::max(0, ComboBox_Quantity->currentIndex());
  // At most a minimum and a maximum per pixel column of the plot.
  const qreal plotWidth = chart_->plotArea().width();
  const int columns = std::max(1, static_cast<int>(plotWidth > 0 ? plotWidth : Chart_View->width()));
  // The axis spans every channel's values and the set-points drawn; a set-point is drawn when it
  // lies near its own channel's values.
  constexpr double kNone = std::numeric_limits<double>::infinity();
  double low = kNone, high = -kNone;
  lines_->Begin();
  for (std::size_t ch = 0; ch < 4; ++ch) {
    history_.Thin(static_cast<int>(4 * ch) + quantity, from, nowMs + 1, columns, thinned_);
    double channelLow = kNone, channelHigh = -kNone;
    std::vector<QPointF>* line = nullptr;
    for (const DrawPoint& p : thinned_) {
      if (line == nullptr || p.breakBefore) line = &lines_->NewLine(ch);
      line->emplace_back(static_cast<qreal>(p.ms), p.value);
      if (std::isfinite(p.value)) {
        channelLow = std::min(channelLow, double{p.value});
        channelHigh = std::max(channelHigh, double{p.value});
      }
    }

    const bool hasData = channelLow <= channelHigh;
    const TChanSet& set = settings_.ChanSet[ch];
    // A channel block of zeros is the blank record's (nothing read, opened or entered yet, or the
    // form reset): it has no set-points to draw.
    static const TChanSet kBlank{};
    const bool hasSettings = std::memcmp(&set, &kBlank, sizeof set) != 0;
    const float setPoints[4] = {set.Point0, set.Point1, set.Point2, set.Point3};
    for (std::size_t s = 0; s < 4; ++s) {
      QLineSeries* setPointLine = setPoints_[ch][s];
      const double point = setPoints[s];
      const bool shown = quantity == kLiveValue && hasData && hasSettings && std::isfinite(point) &&
                         NearTheData(point, channelLow, channelHigh);
      if (setPointLine->isVisible() != shown) {
        setPointLine->setVisible(shown);
        // The legend shows a series' marker again whenever the series is shown.
        for (QLegendMarker* marker : chart_->legend()->markers(setPointLine)) marker->setVisible(false);
      }
      if (!shown) continue;
      setPointLine->replace(
          {QPointF(static_cast<qreal>(from), point), QPointF(static_cast<qreal>(nowMs), point)});
      low = std::min(low, point);
      high = std::max(high, point);
    }
    low = std::min(low, channelLow);
    high = std::max(high, channelHigh);
  }
  if (!(low <= high)) low = 0, high = 1;
  const double margin = high > low ? (high - low) * 0.05 : std::max(std::abs(high), 1.0) * 0.05;
  const NiceRange range = NiceRangeAround(low - margin, high + margin);
  // The tick count first: a new range lays the labels out at once, with the count it finds.
  valueAxis_->setTickCount(range.ticks);
  valueAxis_->setLabelFormat(QString("%.%1f").arg(range.decimals));
  valueAxis_->setRange(range.min, range.max);
  valueAxis_->setTitleText(tr(kQuantityTitles[quantity]));
  ShowTimeAxis(from, nowMs);
  lines_->Show(static_cast<double>(from), static_cast<double>(nowMs), valueAxis_->min(), valueAxis_->max());
}

void TFormDiagram::ShowTimeAxis(std::int64_t from, std::int64_t to) {
  const int minutes = kSpansMinutes[std::max(0, ComboBox_Span->currentIndex())];
  const std::int64_t step = TimeStepMs(minutes);
  const QString format = minutes >= 60 ? "HH:mm" : "HH:mm:ss";
  // Round in local time: a whole minute or ten is whole in the clock the labels show.
  const std::int64_t offset = QDateTime::fromMSecsSinceEpoch(from).offsetFromUtc() * 1000LL;
  QStringList labels;
  std::vector<std::int64_t> ticks;
  for (std::int64_t t = ((from + offset) / step + 1) * step - offset; t <= to; t += step) {
    ticks.push_back(t);
    labels << QDateTime::fromMSecsSinceEpoch(t).toString(format);
  }
  // Relabelled only when a label comes or goes: between, the labels move with the range.
  if (labels != timeAxis_->categoriesLabels()) {
    for (const QString& label : timeAxis_->categoriesLabels()) timeAxis_->remove(label);
    timeAxis_->setStartValue(static_cast<qreal>(from));
    for (std::size_t i = 0; i < ticks.size(); ++i)
      timeAxis_->append(labels[static_cast<qsizetype>(i)], static_cast<qreal>(ticks[i]));
  }
  timeAxis_->setRange(static_cast<qreal>(from), static_cast<qreal>(to));
  //: The date under the time axis: Qt's date format of this language.
  timeAxis_->setTitleText(QDateTime::fromMSecsSinceEpoch(to).toString(tr("dd.MM.yyyy")));
}

QList<QList<QPointF>> TFormDiagram::ShownLines(int channel) const {
  QList<QList<QPointF>> lines;
  const auto c = static_cast<std::size_t>(channel);
  for (std::size_t i = 0; i < lines_->used[c]; ++i)
    lines.append(QList<QPointF>(lines_->lines[c][i].begin(), lines_->lines[c][i].end()));
  return lines;
}

std::vector<double> TFormDiagram::ShownSetPoints(int channel) const {
  std::vector<double> shown;
  for (const QLineSeries* line : setPoints_[static_cast<std::size_t>(channel)])
    if (line->isVisible() && line->count() > 0) shown.push_back(line->at(0).y());
  return shown;
}

void TFormDiagram::SaveCsv() {
  if (!csvDialog_.Execute()) return;
  QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  const std::string text = HistoryCsv(history_.Samples());
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
  const bool written =
      WriteWholeFile(PathWithExtension(csvDialog_.FileName().toStdString(), ".csv"), {bytes, text.size()});
  QGuiApplication::restoreOverrideCursor();
  if (written)
    csvDialog_.Succeeded();
  else
    MessageBoxes().Show(FileOutcomeText(FileOutcome::CannotCreate), kFileErrorCaption, BoxButtons::Ok);
}

void TFormDiagram::SaveImage() {
  if (!imageDialog_.Execute()) return;
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  const bool encoded = Chart_View->grab().save(&buffer, "PNG");
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(png.constData());
  if (encoded && WriteWholeFile(PathWithExtension(imageDialog_.FileName().toStdString(), ".png"),
                                {bytes, static_cast<std::size_t>(png.size())}))
    imageDialog_.Succeeded();
  else
    MessageBoxes().Show(FileOutcomeText(FileOutcome::CannotCreate), kFileErrorCaption, BoxButtons::Ok);
}
