// SPDX-License-Identifier: GPL-3.0-or-later
// A full day of live values, two samples a second, for the benchmarks of the diagram and the window,
// and one redraw of it as polling does: each a new window onto the day's last half hour.
#pragma once

#include <QAbstractScrollArea>
#include <QChartView>
#include <QComboBox>
#include <QPushButton>

#include <cmath>
#include <cstdint>

#include "link/wall_clock.h"
#include "views/diagram.h"

// The day up to `last`, each series a slow wave on a level of its own.
inline void FillDay(LiveHistory& history, std::int64_t last) {
  for (std::int64_t t = last - LiveHistory::kKeptMs + 1, i = 0; t <= last; t += 500, ++i) {
    LiveValues values;
    for (std::size_t k = 0; k < values.size(); ++k)
      values[k] =
          static_cast<float>(k * 10 + std::sin(static_cast<double>(i) / 50.0 + static_cast<double>(k)));
    history.Add(t, values);
  }
}

struct DiagramDay {
  DiagramDay() {
    now = WallClockMs();
    FillDay(history, now);
    settings.ChanSet[0].Point0 = 0.5F;
  }
  std::int64_t now = 0;
  LiveHistory history;
  TModuleSettings settings{};
};

inline DiagramDay& TheDay() {
  static DiagramDay day;
  return day;
}

// The diagram paused (only the caller's redraws count) on the 60-minute span.
inline void PrepareForRedraws(TFormDiagram& diagram, int width) {
  diagram.resize(width, 600);
  diagram.show();
  diagram.Button_Pause->setChecked(true);
  diagram.ComboBox_Span->setCurrentIndex(3);
}

// Redraw number `step`; painted at once into the window's backing store when `paint`.
inline void RedrawStep(TFormDiagram& diagram, std::int64_t step, bool paint) {
  diagram.Redraw(TheDay().now - 1'800'000 + (step % 3600) * 500);
  if (paint) diagram.Chart_View->viewport()->repaint();
}
