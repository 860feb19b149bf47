// SPDX-License-Identifier: GPL-3.0-or-later
// The window's costs: start-up (the six forms created and the main window on screen) and, connected
// to the simulator and polling for ten seconds, the process's CPU (the simulator's thread included)
// and resident memory, without and with the diagram and the line monitor open.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QSettings>
#include <QTest>

#include <filesystem>

#include "app/forms.h"
#include "app/vexa_main_v1.h"
#include "bench/diagram_day.h"
#include "bench/process_stats.h"
#include "bench/qt_main.h"
#include "gui/message_box.h"
#include "sim/pty_simulator.h"

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

constexpr int kDiagram = 1, kMonitor = 2;

// A full table of exchanges, as after some two minutes of polling.
void FillExchanges(ExchangeRecord& record) {
  static const std::uint8_t kRequest[] = {0x44, 0x28, 0x01, 0xC0, 0x10, 0x00};
  for (std::size_t i = 0; i < ExchangeRecord::kKept; ++i) {
    record.Sent(kRequest, 6);
    for (int b = 0; b < 21; ++b) record.Received(static_cast<std::uint8_t>(b < 4 ? kRequest[b] : b));
    record.End();
  }
}

// Argument: the windows open while polling, kDiagram (on a full day, redrawn each status cycle and
// each second) and kMonitor (its table full), alone or together.
void ConnectedIdle(benchmark::State& state) {
  CreateForms();
  FormMain->show();
  if ((state.range(0) & kDiagram) != 0) {
    FillDay(FormMain->History(), WallClockMs() - 1000);  // the day before the connection
    FormMain->MenuView_Diagram->trigger();
  }
  if ((state.range(0) & kMonitor) != 0) FormMain->MenuView_LedOut->trigger();
  FormMain->SimulatorChoice()->trigger();
  FormMain->MenuConn_Connect->trigger();
  if (!QTest::qWaitFor([] { return FormMain->MenuConn_Discon->isEnabled(); }, 3000)) {
    state.SkipWithError("no connection to the simulator");
    DestroyForms();
    return;
  }
  if ((state.range(0) & kMonitor) != 0) FillExchanges(FormMain->Exchanges());
  QTest::qWait(500);
  MeasureCpuForTenSeconds(state);
  state.counters["resident_kB"] = static_cast<double>(ResidentKb());
  FormMain->MenuConn_Discon->trigger();
  if (!QTest::qWaitFor([] { return FormMain->MenuConn_Connect->isEnabled(); }, 3000))
    state.SkipWithError("the link did not close");
  DestroyForms();
}

// Connected to an adapter (a simulator on a pseudo-terminal, at a path of its own) that is then pulled
// with "Переподключать автоматически" on: the window waiting for it to come back. Argument 0: the
// option off, the window simply closed after the loss, for comparison.
void WaitingForThePulledAdapter(benchmark::State& state) {
  namespace fs = std::filesystem;
  const fs::path link = fs::temp_directory_path() /
                        ("vexa_bench_adapter_" + std::to_string(QCoreApplication::applicationPid()));
  fs::remove(link);
  // The option and the port are remembered: in a folder of the benchmark's, not the user's.
  QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, QDir::tempPath() + "/vexa_bench_settings");
  ScriptedMessageBoxes boxes;  // the loss's box, with the option off
  SetMessageBoxService(&boxes);
  auto adapter = std::make_unique<sim::PtySimulator>();
  fs::create_symlink(adapter->DevicePath(), link);
  CreateForms();
  FormMain->show();
  if (FormMain->MenuConn_Reconnect->isChecked() != (state.range(0) != 0))
    FormMain->MenuConn_Reconnect->trigger();
  FormMain->AddPortChoice("adapter", link.string())->trigger();
  FormMain->MenuConn_Connect->trigger();
  const bool connected = QTest::qWaitFor([] { return FormMain->MenuExec->isEnabled(); }, 3000);
  fs::remove(link);
  sim::Faults pulled;
  pulled.hangUpAfter = 0;
  adapter->SetFaults(pulled);
  if (!connected || !QTest::qWaitFor([] { return !FormMain->MenuExec->isEnabled(); }, 5000)) {
    state.SkipWithError("no connection, or no loss of it");
  } else {
    adapter.reset();  // a pulled adapter costs the computer nothing: only the window is measured
    QTest::qWait(500);
    MeasureCpuForTenSeconds(state);
  }
  DestroyForms();
  SetMessageBoxService(nullptr);
}

BENCHMARK(StartUp)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(ConnectedIdle)
    ->Arg(0)
    ->Arg(kDiagram)
    ->Arg(kMonitor)
    ->Arg(kDiagram | kMonitor)
    ->Unit(benchmark::kSecond)
    ->Iterations(1);
BENCHMARK(WaitingForThePulledAdapter)->Arg(0)->Arg(1)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv) { return QtBenchmarkMain(argc, argv); }
