// SPDX-License-Identifier: GPL-3.0-or-later
// "Диаграмма": the four channels' live values over the last minutes in wall-clock time, the
// set-points of the settings record as dashed lines, a pause that stops the view while the history
// goes on, and the history saved as CSV or the view as a PNG picture.
#pragma once

#include <QCoreApplication>
#include <QList>
#include <QPointF>
#include <QTimer>
#include <QWidget>

#include <array>
#include <cstdint>
#include <vector>

#include "gui/file_dialog.h"
#include "link/live_history.h"
#include "settings/module_settings.h"

class QComboBox;
class QPushButton;
class QChart;
class QChartView;
class QCategoryAxis;
class QLineSeries;
class QValueAxis;

namespace views_detail {
class ChannelLines;
}

class TFormDiagram : public QWidget {
  Q_DECLARE_TR_FUNCTIONS(TFormDiagram)

 public:
  // The history and the record are read at each redraw; both outlive the window.
  TFormDiagram(const LiveHistory& history, const TModuleSettings& settings, QWidget* parent = nullptr);

  // Draws the span up to now unless paused or hidden: after each status cycle, and each second.
  void Refresh();
  // Draws the span that ends at nowMs, paused or not.
  void Redraw(std::int64_t nowMs);

  // The lines the chart draws for a channel (0..3), one for each stretch without a link break, in
  // time order: x in ms since the epoch.
  QList<QList<QPointF>> ShownLines(int channel) const;
  // A channel's set-point lines shown, as their y values.
  std::vector<double> ShownSetPoints(int channel) const;

  static constexpr int kSpansMinutes[] = {1, 5, 15, 60};
  QComboBox* ComboBox_Quantity;  // value, sensor current, ADC, DAC
  QComboBox* ComboBox_Span;      // kSpansMinutes
  QPushButton* Button_Pause;     // checkable
  QPushButton* Button_SaveCsv;
  QPushButton* Button_SaveImage;
  QChartView* Chart_View;
  QTimer Timer_Redraw;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QLineSeries* NewSeries(int channel, bool setPoint);
  void ShowTimeAxis(std::int64_t from, std::int64_t to);
  void SaveCsv();
  void SaveImage();

  const LiveHistory& history_;
  const TModuleSettings& settings_;
  QChart* chart_;
  // Labelled on round times (whole seconds or minutes as the span suits), which a date-time axis,
  // spacing its ticks evenly from the moving window's start, cannot do.
  QCategoryAxis* timeAxis_;
  QValueAxis* valueAxis_;
  // The channels' lines are painted by an item of our own over the plot: a chart series strokes its
  // whole path anew on every change, some ten times the cost of the rest of a redraw. The chart
  // keeps the axes, the grid, the legend (from empty series) and the set-point lines.
  views_detail::ChannelLines* lines_;
  std::array<std::array<QLineSeries*, 4>, 4> setPoints_;
  std::vector<DrawPoint> thinned_;  // reused between redraws
  TFileDialog csvDialog_{FileDialogKind::Save, tr("Файлы CSV (*.csv)|*.csv|Все файлы (*.*)|*.*")};
  TFileDialog imageDialog_{FileDialogKind::Save, tr("Рисунки PNG (*.png)|*.png|Все файлы (*.*)|*.*")};
};
