// SPDX-License-Identifier: GPL-3.0-or-later
// The window's costs: start-up (the six forms created and the main window on screen) and, connected
// to the simulator and polling for ten seconds, the process's CPU (the simulator's thread included)
// and resident memory.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTest>

#include "app/forms.h"
#include "app/vexa_main_v1.h"
#include "bench/process_stats.h"
#include "bench/qt_main.h"

namespace {

void StartUp(benchmark::State& state) {
  for (auto _ : state) {
    CreateForms();
    FormMain->show();
    if (!QTest::qWaitForWindowExposed(FormMain)) state.SkipWithError("the window was not shown");
    state.PauseTiming();
    DestroyForms();
    state.ResumeTiming();
  }
}

// Argument: 1 with the diagram open (redrawn each status cycle and each second).
void ConnectedIdle(benchmark::State& state) {
  CreateForms();
  FormMain->show();
  if (state.range(0) != 0) {
    if (!FormMain->MenuView_Diagram->isEnabled()) {
      state.SkipWithError("built without the diagram");
      DestroyForms();
      return;
    }
    FormMain->MenuView_Diagram->trigger();
  }
  FormMain->SimulatorChoice()->trigger();
  FormMain->MenuConn_Connect->trigger();
  if (!QTest::qWaitFor([] { return FormMain->MenuConn_Discon->isEnabled(); }, 3000)) {
    state.SkipWithError("no connection to the simulator");
    DestroyForms();
    return;
  }
  QTest::qWait(500);
  MeasureCpuForTenSeconds(state);
  state.counters["resident_kB"] = static_cast<double>(ResidentKb());
  FormMain->MenuConn_Discon->trigger();
  if (!QTest::qWaitFor([] { return FormMain->MenuConn_Connect->isEnabled(); }, 3000))
    state.SkipWithError("the link did not close");
  DestroyForms();
}

BENCHMARK(StartUp)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(ConnectedIdle)->Arg(0)->Arg(1)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv) { return QtBenchmarkMain(argc, argv); }
