// SPDX-License-Identifier: GPL-3.0-or-later
// main() of the benchmarks that need a QApplication (Qt's offscreen platform unless one is named),
// and their measure of CPU while the event loop runs.
#pragma once

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTest>
#include <QTimer>

#include "bench/process_stats.h"

// The process's CPU, all threads, over ten seconds of its event loop: counter cpu_percent. A plain
// event loop, not QTest::qWait, which wakes every 10 ms by itself and would be measured too.
inline void MeasureCpuForTenSeconds(benchmark::State& state) {
  double cpuMs = 0, wallMs = 1;
  for (auto _ : state) {
    const double before = CpuMs();
    QElapsedTimer wall;
    wall.start();
    QEventLoop loop;
    QTimer::singleShot(10000, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
    cpuMs = CpuMs() - before;
    wallMs = static_cast<double>(wall.elapsed());
  }
  state.counters["cpu_percent"] = 100.0 * cpuMs / wallMs;
}

inline int QtBenchmarkMain(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
