// SPDX-License-Identifier: GPL-3.0-or-later
// The diagram's redraw with a full day of samples (two a second) on the 60-minute span: the history
// thinned and handed to the chart, then the chart painted, at two window widths. Redraws go on
// paused, so that only the benchmark's own count.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QChartView>
#include <QComboBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "bench/diagram_day.h"
#include "bench/process_stats.h"
#include "bench/qt_main.h"

namespace {

// Arguments: window width, and whether the chart is painted too.
void Redraw(benchmark::State& state) {
  DiagramDay& day = TheDay();
  TFormDiagram diagram(day.history, day.settings);
  PrepareForRedraws(diagram, static_cast<int>(state.range(0)));
  if (!QTest::qWaitForWindowExposed(&diagram)) state.SkipWithError("the diagram was not shown");
  const bool paint = state.range(1) != 0;
  std::int64_t step = 0;
  for (auto _ : state) RedrawStep(diagram, step++, paint);
  state.counters["points"] = static_cast<double>(diagram.ShownLines(0).front().size());
}

// The diagram open on the 60-minute span of a full day for ten seconds, a status cycle each half
// second redrawing it as the window does: the process's CPU.
void LiveForTenSeconds(benchmark::State& state) {
  DiagramDay& day = TheDay();
  TFormDiagram diagram(day.history, day.settings);
  diagram.resize(900, 600);
  diagram.show();
  if (!QTest::qWaitForWindowExposed(&diagram)) state.SkipWithError("the diagram was not shown");
  diagram.ComboBox_Span->setCurrentIndex(3);
  QTimer cycle;
  QObject::connect(&cycle, &QTimer::timeout, [&] {
    LiveValues values = day.history.Samples().back().values;
    values[0] += 0.5F;
    day.history.Add(WallClockMs(), values);
    diagram.Refresh();
  });
  cycle.start(500);
  MeasureCpuForTenSeconds(state);
}

void DayInMemory(benchmark::State& state) {
  const long before = ResidentKb();
  for (auto _ : state) benchmark::DoNotOptimize(TheDay().history.Samples().size());
  state.counters["day_kB"] = static_cast<double>(ResidentKb() - before);
}

BENCHMARK(DayInMemory)->Iterations(1);
BENCHMARK(LiveForTenSeconds)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(Redraw)
    ->ArgsProduct({{900, 1920}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->MinTime(0.5);

}  // namespace

int main(int argc, char** argv) { return QtBenchmarkMain(argc, argv); }
