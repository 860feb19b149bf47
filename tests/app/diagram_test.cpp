// SPDX-License-Identifier: GPL-3.0-or-later
// The diagram on a history of its own: what it draws of a span, its breaks, its set-point lines,
// the pause, and what its two saves write.
#include <gtest/gtest.h>

#include <QCategoryAxis>
#include <QChartView>
#include <QComboBox>
#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLegend>
#include <QLegendMarker>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

#include "gui/file_dialog.h"
#include "gui/message_box.h"
#include "link/wall_clock.h"
#include "translations/language.h"
#include "views/diagram.h"

namespace {

// Series 4 * channel + quantity at sample i: the channels' waves overlap as the simulator's do, each
// quantity on a level of its own, with a spike now and then.
float ValueOf(std::size_t series, std::int64_t i) {
  const double level = static_cast<double>(series % 4) * 1000.0 + static_cast<double>(series / 4) * 25.0;
  const double spike = i % 977 == 0 ? 50.0 : 0.0;
  return static_cast<float>(
      level + 20.0 * std::sin(static_cast<double>(i) / 40.0 + static_cast<double>(series)) + spike);
}

void ChooseByKeys(QComboBox* box, int index) {
  box->setFocus();
  while (box->currentIndex() < index) QTest::keyClick(box, Qt::Key_Down);
  while (box->currentIndex() > index) QTest::keyClick(box, Qt::Key_Up);
}

class DiagramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetMessageBoxService(&boxes_);
    SetFileDialogService(&files_);
    // Two hours at two samples a second up to now, the link down for two minutes ten minutes ago.
    now_ = WallClockMs();
    for (std::int64_t i = 0, t = now_ - 2 * 3600'000; t <= now_; ++i, t += 500) {
      if (t > now_ - 600'000 && t < now_ - 480'000) continue;
      if (t >= now_ - 480'000 && t < now_ - 479'500) history_.LinkDown();
      LiveValues values;
      for (std::size_t k = 0; k < values.size(); ++k) values[k] = ValueOf(k, i);
      history_.Add(t, values);
    }
    // Channel 1 swings about 0, channel 2 about 25, channel 3 about 50: a set-point is drawn near
    // its channel's values, not far off.
    record_.ChanSet[0].Point0 = 0.5F;
    record_.ChanSet[0].Point1 = 1.0e6F;
    record_.ChanSet[0].Point2 = record_.ChanSet[0].Point3 = -5000.0F;
    record_.ChanSet[1].Point0 = record_.ChanSet[1].Point1 = record_.ChanSet[1].Point3 = -5000.0F;
    record_.ChanSet[1].Point2 = 30.0F;
    record_.ChanSet[2].Point0 = record_.ChanSet[2].Point1 = 1000.0F;
    record_.ChanSet[2].Point2 = record_.ChanSet[2].Point3 = 1000.0F;
    diagram_ = std::make_unique<TFormDiagram>(history_, record_);
    diagram_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(diagram_.get()));
  }
  void TearDown() override {
    diagram_.reset();
    SetFileDialogService(nullptr);
    SetMessageBoxService(nullptr);
  }

  // The samples of a series the span ending at `to` takes.
  QCategoryAxis* TimeAxis() const {
    return qobject_cast<QCategoryAxis*>(diagram_->Chart_View->chart()->axes(Qt::Horizontal).first());
  }
  std::vector<const LiveSample*> InSpan(std::int64_t from, std::int64_t to) const {
    std::vector<const LiveSample*> in;
    for (const LiveSample& s : history_.Samples())
      if (s.ms >= from && s.ms <= to) in.push_back(&s);
    return in;
  }

  ScriptedMessageBoxes boxes_;
  ScriptedFileDialogs files_;
  std::int64_t now_ = 0;
  LiveHistory history_;
  TModuleSettings record_{};
  std::unique_ptr<TFormDiagram> diagram_;
};

// For each span and quantity: the lines keep the span's every extreme and its last sample, at most
// two points a pixel column, broken where the link was down; set-points only with the values.
TEST_F(DiagramTest, DrawsEachSpanAndQuantityFromTheHistory) {
  QTest::mouseClick(diagram_->Button_Pause, Qt::LeftButton);  // only the test's own redraws
  for (int span = 0; span < 4; ++span) {
    for (int quantity = 0; quantity < 4; ++quantity) {
      ChooseByKeys(diagram_->ComboBox_Span, span);
      ChooseByKeys(diagram_->ComboBox_Quantity, quantity);
      diagram_->Redraw(now_);
      QCoreApplication::processEvents();  // the layout, and a redraw for a plot of another width
      const std::int64_t from = now_ - TFormDiagram::kSpansMinutes[span] * 60'000LL;
      const auto in = InSpan(from, now_);
      const std::string what = "span " + std::to_string(span) + ", quantity " + std::to_string(quantity);
      for (int ch = 0; ch < 4; ++ch) {
        const std::size_t series = static_cast<std::size_t>(4 * ch + quantity);
        const QList<QList<QPointF>> lines = diagram_->ShownLines(ch);
        ASSERT_FALSE(lines.isEmpty()) << what;
        EXPECT_EQ(lines.size(), span >= 2 ? 2 : 1) << what << ": the gap ten minutes ago breaks the line";
        double low = INFINITY, high = -INFINITY;
        qsizetype points = 0;
        for (const auto& line : lines)
          for (const QPointF& p : line) {
            low = std::min(low, p.y()), high = std::max(high, p.y());
            ++points;
            EXPECT_GE(p.x(), static_cast<double>(from));
          }
        const auto [minSample, maxSample] = std::minmax_element(
            in.begin(), in.end(), [&](auto* a, auto* b) { return a->values[series] < b->values[series]; });
        EXPECT_EQ(low, (*minSample)->values[series]) << what;
        EXPECT_EQ(high, (*maxSample)->values[series]) << what;
        EXPECT_EQ(lines.back().back(),
                  QPointF(static_cast<double>(in.back()->ms), in.back()->values[series]));
        // Two a pixel column, and at the break and the line's end one more each.
        EXPECT_LE(points, 2 * static_cast<qsizetype>(diagram_->Chart_View->chart()->plotArea().width()) + 4)
            << what;
      }
      const std::vector<double> expected = quantity == 0 ? std::vector<double>{0.5} : std::vector<double>{};
      EXPECT_EQ(diagram_->ShownSetPoints(0), expected) << what;
      EXPECT_EQ(diagram_->ShownSetPoints(1).size(), quantity == 0 ? 1U : 0U) << what;
      EXPECT_TRUE(diagram_->ShownSetPoints(2).empty()) << what;
    }
    // The time axis: labels on round times of the local clock, the date under them.
    const std::int64_t steps[] = {10'000, 60'000, 120'000, 600'000};
    QCategoryAxis* time = TimeAxis();
    EXPECT_GE(time->count(), 4) << "span " << span;
    EXPECT_LE(time->count(), 8) << "span " << span;
    for (const QString& label : time->categoriesLabels()) {
      const QDateTime at = QDateTime::fromMSecsSinceEpoch(static_cast<std::int64_t>(time->endValue(label)));
      EXPECT_EQ(at.time().msecsSinceStartOfDay() % steps[span], 0) << label.toStdString();
      EXPECT_EQ(label, at.toString(span == 3 ? "HH:mm" : "HH:mm:ss"));
    }
    EXPECT_EQ(time->titleText(), QDateTime::fromMSecsSinceEpoch(now_).toString("dd.MM.yyyy"));
  }
  // The guide's picture: a quarter of an hour with the break and the set-points, running.
  QTest::mouseClick(diagram_->Button_Pause, Qt::LeftButton);
  ChooseByKeys(diagram_->ComboBox_Span, 2);
  ChooseByKeys(diagram_->ComboBox_Quantity, 0);
  QCoreApplication::processEvents();
  EXPECT_TRUE(diagram_->grab().save(QString(VEXA_SHOT_DIR) + "/diagram.png"));
  // The English guide's picture of the same.
  ASSERT_TRUE(InstallLanguage(UiLanguage::English));
  TFormDiagram english(history_, record_);
  english.resize(diagram_->size());
  english.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&english));
  ChooseByKeys(english.ComboBox_Span, 2);
  QCoreApplication::processEvents();
  EXPECT_EQ(english.Button_SaveImage->text(), "Save image…");
  EXPECT_EQ(
      qobject_cast<QCategoryAxis*>(english.Chart_View->chart()->axes(Qt::Horizontal).first())->titleText(),
      QDate::currentDate().toString("yyyy-MM-dd"))
      << "a date that no reader takes month first";
  EXPECT_TRUE(
      HistoryCsv({}).starts_with("Time,Channel 1 value,Channel 1 current,Channel 1 ADC,Channel 1 DAC,"))
      << "the CSV's column names in the window's language";
  EXPECT_TRUE(english.grab().save(QString(VEXA_SHOT_DIR) + "/en_diagram.png"));
  RemoveLanguage();
}

// What is painted: each channel's line where its samples put it on the plot, and not mirrored;
// set-points only from settings that exist.
TEST_F(DiagramTest, PaintsEachLineWhereItsValuesAreAndNoBlankSetPoints) {
  QTest::mouseClick(diagram_->Button_Pause, Qt::LeftButton);
  ChooseByKeys(diagram_->ComboBox_Span, 0);
  diagram_->Redraw(now_);
  QCoreApplication::processEvents();
  const QImage image = diagram_->Chart_View->viewport()->grab().toImage();
  const QRectF plot = diagram_->Chart_View->chart()->plotArea();
  const auto* values = qobject_cast<QValueAxis*>(diagram_->Chart_View->chart()->axes(Qt::Vertical).first());
  const double from = static_cast<double>(now_ - 60'000), sx = plot.width() / 60'000.0;
  const double sy = plot.height() / (values->max() - values->min());
  const auto colourNear = [&](QPointF at, QColor colour) {
    for (int dx = -2; dx <= 2; ++dx)
      for (int dy = -2; dy <= 2; ++dy)
        if (image.pixelColor(at.toPoint() + QPoint(dx, dy)) == colour) return true;
    return false;
  };
  const QColor colours[] = {QColor(0x1F, 0x5F, 0xBF), QColor(0xC8, 0x28, 0x28), QColor(0x2A, 0x8A, 0x2A),
                            QColor(0xA0, 0x50, 0xC0)};
  for (int ch = 0; ch < 4; ++ch) {
    for (const LiveSample* sample : {InSpan(now_ - 45'000, now_)[0], InSpan(now_ - 15'000, now_)[0]}) {
      const double value = sample->values[static_cast<std::size_t>(4 * ch)];
      const double x = plot.left() + (static_cast<double>(sample->ms) - from) * sx;
      EXPECT_TRUE(colourNear({x, plot.bottom() - (value - values->min()) * sy}, colours[ch]))
          << "channel " << ch;
      EXPECT_FALSE(colourNear({x, plot.top() + (value - values->min()) * sy}, colours[ch]))
          << "channel " << ch << " mirrored";
    }
  }
  // Channel 1 swings about 0: a blank block's set-points (all 0) would sit on it.
  record_.ChanSet[0] = {};
  diagram_->Redraw(now_);
  EXPECT_TRUE(diagram_->ShownSetPoints(0).empty());
  record_.ChanSet[0].AdcMax = 900;  // settings, their set-points 0
  diagram_->Redraw(now_);
  EXPECT_EQ(diagram_->ShownSetPoints(0), std::vector<double>(4, 0.0));
}

// Paused, the view stays at its time, a change of quantity included, while samples still come; the
// legend keeps one entry a channel whatever set-points come and go.
TEST_F(DiagramTest, PauseStopsTheViewNotTheHistory) {
  diagram_->Refresh();
  const auto before = diagram_->ShownLines(0);
  QTest::mouseClick(diagram_->Button_Pause, Qt::LeftButton);
  ASSERT_TRUE(diagram_->Button_Pause->isChecked());
  LiveValues values;
  values.fill(-42.0F);
  history_.Add(WallClockMs() + 10, values);
  diagram_->Refresh();
  EXPECT_EQ(diagram_->ShownLines(0), before);
  EXPECT_EQ(history_.Samples().back().values[0], -42.0F) << "collected all the same";
  ChooseByKeys(diagram_->ComboBox_Quantity, 1);
  const QList<QList<QPointF>> currents = diagram_->ShownLines(0);
  EXPECT_EQ(currents.back().back().x(), before.back().back().x()) << "still at the paused time";
  EXPECT_EQ(currents.back().back().y(), history_.Samples()[history_.Samples().size() - 2].values[1]);
  ChooseByKeys(diagram_->ComboBox_Quantity, 0);
  QTest::mouseClick(diagram_->Button_Pause, Qt::LeftButton);
  EXPECT_EQ(diagram_->ShownLines(0).back().back().y(), -42.0) << "a sample ahead of the clock is shown too";
  int legend = 0;
  for (const QLegendMarker* marker : diagram_->Chart_View->chart()->legend()->markers())
    legend += marker->isVisible();
  EXPECT_EQ(legend, 4);
}

// The CSV is the history's text; the picture is the chart as shown; a name that cannot be written
// gets the file error.
TEST_F(DiagramTest, SavesTheHistoryAsCsvAndTheViewAsAPicture) {
  // Unique: Wine gives process numbers again soon.
  QTemporaryDir temporary;
  ASSERT_TRUE(temporary.isValid());
  const QString dir = temporary.path();
  files_.names = {"", "", dir + "/day", dir + "/view", dir + "/missing/folder/day"};
  QTest::mouseClick(diagram_->Button_SaveCsv, Qt::LeftButton);  // cancelled: nothing written
  QTest::mouseClick(diagram_->Button_SaveImage, Qt::LeftButton);
  EXPECT_TRUE(QDir(dir).isEmpty());
  QTest::mouseClick(diagram_->Button_SaveCsv, Qt::LeftButton);
  {
    QFile csv(dir + "/day.csv");  // closed before the folder goes: Windows keeps an open file
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    EXPECT_EQ(csv.readAll().toStdString(), HistoryCsv(history_.Samples()));
  }
  QTest::mouseClick(diagram_->Button_SaveImage, Qt::LeftButton);
  QImage picture(dir + "/view.png", "PNG");
  EXPECT_EQ(picture.size(), diagram_->Chart_View->size() * diagram_->Chart_View->devicePixelRatio());
  EXPECT_TRUE(boxes_.shown.empty());
  QTest::mouseClick(diagram_->Button_SaveCsv, Qt::LeftButton);
  ASSERT_EQ(boxes_.shown.size(), 1U);
  EXPECT_EQ(boxes_.shown[0].caption, "Ошибка!");
  EXPECT_EQ(files_.asked.front().filter, QtFilter("Файлы CSV (*.csv)|*.csv|Все файлы (*.*)|*.*"));
}

}  // namespace
