// SPDX-License-Identifier: GPL-3.0-or-later
// The simulator on a pseudo-terminal: a thread that reads requests from the master side and answers
// them paced like a 19200 bit/s line. The tool opens the slave side like any serial device.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "sim/adapter.h"
#include "sim/vexa_module.h"

namespace sim {

struct LogEntry {
  double timeMs;  // since the simulator started
  bool request;   // else an answer
  std::vector<std::uint8_t> bytes;
};

struct Options {
  unsigned turnaroundMs = 2;
  double byteMs = 10.0 / 19.2;  // 10 bits a byte at 19200 bit/s
  std::optional<std::filesystem::path> stateFile;
  Faults faults;
  bool keepLog = true;  // Log() holds every exchange; long runs turn it off
};

class PtySimulator {
 public:
  // Throws where the platform has no pseudo-terminals (see Available) or none can be had.
  explicit PtySimulator(Options options = {});
  ~PtySimulator();
  PtySimulator(const PtySimulator&) = delete;
  PtySimulator& operator=(const PtySimulator&) = delete;

  // False where the platform has no pseudo-terminals (Windows): no built-in simulator there.
  static bool Available();

  // The device a tool opens.
  const std::string& DevicePath() const { return slavePath_; }

  ModuleMemory Working();
  ModuleMemory Stored();
  std::vector<LogEntry> Log();
  void SetFaults(const Faults& faults);
  // What the random faults of a long faulty line have done so far.
  FaultCounts Injected();
  // Called for every log entry as it happens, on the simulator's thread.
  void SetLogSink(std::function<void(const LogEntry&)> sink);
  // Tests only: hold a channel's ADC at a value.
  void PinAdc(int ch, std::optional<double> adc);
  // True once a hang-up fault has closed the line.
  bool HungUp() const { return hungUp_; }

 private:
  void Run();
  void Send(const Answer& answer);
  double NowMs() const;
  void Record(bool request, const std::vector<std::uint8_t>& bytes);

  Options options_;
  int master_ = -1;
  int keepAlive_ = -1;  // keeps the line up while no tool has the slave open
  int stopFd_ = -1;
  std::string slavePath_;
  std::chrono::steady_clock::time_point start_;

  std::mutex mutex_;  // guards module_, adapter_, log_, sink_
  VexaModule module_;
  Adapter adapter_;
  std::vector<LogEntry> log_;
  std::function<void(const LogEntry&)> sink_;

  std::atomic<bool> hungUp_{false};
  std::thread thread_;
};

}  // namespace sim
