// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated adapter and module joined to a program without a serial line (Windows has no
// pseudo-terminals): bytes the program writes reach the adapter as a line would carry them, and
// the answers come back paced like a 19200 bit/s line, to be read once they are due.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

#include "sim/adapter.h"
#include "sim/pty_simulator.h"
#include "sim/vexa_module.h"

namespace sim {

class InProcessLine {
 public:
  // nowMs, where given, is the line's clock in ms (tests move it); else the steady clock's.
  explicit InProcessLine(Options options = {}, std::function<double()> nowMs = {});

  // A byte from the program; false once the line has hung up (a fault).
  bool Write(std::uint8_t byte);
  // How many answer bytes have arrived by now.
  std::size_t Due();
  // One of them, in order; false when none is due.
  bool Read(std::uint8_t& byte);
  bool HungUp() const { return hungUp_; }
  // The program closed its end: what was still on its way is lost.
  void Close();

  ModuleMemory Working() const { return module_.Working(); }
  const std::vector<LogEntry>& Log() const { return log_; }
  void SetFaults(const Faults& faults) { adapter_.SetFaults(faults); }
  FaultCounts Injected() const { return adapter_.Injected(); }

 private:
  using Clock = std::chrono::steady_clock;
  double NowMs() const;

  Options options_;
  std::function<double()> nowMs_;
  Clock::time_point start_;
  VexaModule module_;
  Adapter adapter_;
  std::deque<std::pair<double, std::uint8_t>> answer_;  // each byte with the time it arrives
  double lineFreeMs_ = 0;                               // when the last byte queued has gone
  std::vector<LogEntry> log_;
  bool hungUp_ = false;
};

}  // namespace sim
