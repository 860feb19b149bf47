// SPDX-License-Identifier: GPL-3.0-or-later
// What the journal costs: a settings read of a module (the link on a pseudo-terminal, as vexa_cli
// does it) with and without its journal record, and reading a 20 MB journal into the window's list.
#include <benchmark/benchmark.h>

#include <QApplication>

#include <filesystem>
#include <fstream>

#include "app/journal_window.h"
#include "cli/link_session.h"
#include "journal/journal.h"
#include "sim/pty_simulator.h"

namespace {

namespace fs = std::filesystem;

fs::path Folder() {
  static const fs::path dir = [] {
    fs::path d = fs::temp_directory_path() /
                 ("vexa_bench_journal_" + std::to_string(QCoreApplication::applicationPid()));
    fs::create_directories(d);
    return d;
  }();
  return dir;
}

// One settings read over the link, as vexa_cli's read makes it; journalled, its record after it.
void ReadSettings(benchmark::State& state, bool journalled) {
  sim::PtySimulator simulator;
  const journal::Journal j(Folder() / "action.jsonl");
  for (auto _ : state) {
    TModuleSettings record{};
    LinkSession session(record);
    if (!session.Connect(simulator.DevicePath())) {
      state.SkipWithError("no connection");
      return;
    }
    session.Engine().Request_code = Req_read_param;
    if (!session.RunUntil([&] { return session.CompletionMessage() == 1; }, 10000)) {
      state.SkipWithError("no read");
      return;
    }
    session.Disconnect();
    if (journalled) {
      journal::Record r = journal::NewRecord("bench", journal::kRead);
      r.settings = journal::AsModuleHolds(record);
      if (!j.Append(r).empty()) state.SkipWithError("journal not written");
    }
  }
}
void ReadWithoutJournal(benchmark::State& state) { ReadSettings(state, false); }
void ReadWithJournal(benchmark::State& state) { ReadSettings(state, true); }
BENCHMARK(ReadWithoutJournal)->Unit(benchmark::kMillisecond)->Iterations(20)->UseRealTime();
BENCHMARK(ReadWithJournal)->Unit(benchmark::kMillisecond)->Iterations(20)->UseRealTime();

// The append alone: one write's record, flushed to the disk.
void AppendAWritesRecord(benchmark::State& state) {
  const journal::Journal j(Folder() / "append.jsonl");
  journal::Record r = journal::NewRecord("bench", journal::kWrite);
  r.settings = TModuleSettings{};
  for (auto _ : state)
    if (!j.Append(r).empty()) state.SkipWithError("journal not written");
}
BENCHMARK(AppendAWritesRecord)->Unit(benchmark::kMicrosecond)->UseRealTime();

// A journal at the size where it is started afresh, each record a write with its settings.
const journal::Journal& FullJournal() {
  static const journal::Journal j = [] {
    journal::Journal full(Folder() / "full.jsonl");
    std::ofstream out(full.Path(), std::ios::binary);
    journal::Record r = journal::NewRecord("bench", journal::kWrite);
    r.settings = TModuleSettings{};
    r.file = "/home/engineer/plants/line 3/plant.vxa";
    for (std::uintmax_t n = 0; n < journal::kRotateBytes;) {
      r.module = static_cast<unsigned>(n % 9000);
      const std::string line = journal::RecordLine(r) + "\n";
      out << line;
      n += line.size();
    }
    return full;
  }();
  return j;
}

void ReadA20MbJournalIntoTheList(benchmark::State& state) {
  const journal::Journal& j = FullJournal();
  TFormJournal window(j.Path());
  for (auto _ : state) window.Reload();
  state.counters["records"] = static_cast<double>(window.Model().rowCount());
}
BENCHMARK(ReadA20MbJournalIntoTheList)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  fs::remove_all(Folder());
  return 0;
}
