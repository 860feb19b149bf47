// SPDX-License-Identifier: GPL-3.0-or-later
// main() of the benchmarks that need a QApplication: Qt's offscreen platform unless one is named.
#pragma once

#include <benchmark/benchmark.h>

#include <QApplication>

inline int QtBenchmarkMain(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
