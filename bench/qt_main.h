// SPDX-License-Identifier: GPL-3.0-or-later
// main() of the benchmarks that need a QApplication (Qt's offscreen platform unless one is named),
// and their measure of CPU while the event loop runs.
#pragma once

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTest>

#include "bench/process_stats.h"

// The process's CPU, all threads, over ten seconds of its event loop: counter cpu_percent.
inline void MeasureCpuForTenSeconds(benchmark::State& state) {
  double cpuMs = 0;
  for (auto _ : state) {
    const double before = CpuMs();
    QTest::qWait(10000);
    cpuMs = CpuMs() - before;
  }
  state.counters["cpu_percent"] = cpuMs / 100.0;
}

inline int QtBenchmarkMain(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
