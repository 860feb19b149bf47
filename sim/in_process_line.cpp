// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/in_process_line.h"

#include <algorithm>
#include <stdexcept>

namespace sim {

InProcessLine::InProcessLine(Options options, std::function<double()> nowMs)
    : options_(std::move(options)),
      nowMs_(std::move(nowMs)),
      start_(Clock::now()),
      module_(0),
      adapter_(module_) {
  if (options_.stateFile)
    if (const std::string why = module_.UseStateFile(*options_.stateFile); !why.empty())
      throw std::runtime_error(why);
  adapter_.SetFaults(options_.faults);
}

double InProcessLine::NowMs() const {
  if (nowMs_) return nowMs_();
  return std::chrono::duration<double, std::milli>(Clock::now() - start_).count();
}

bool InProcessLine::Write(std::uint8_t byte) {
  if (hungUp_) return false;
  const double now = NowMs();
  for (const Exchange& e : adapter_.Receive({byte}, now)) {
    if (options_.keepLog) log_.push_back({now, true, e.request});
    if (!answer_.empty()) adapter_.CountOverlap();  // an earlier answer is still on its way
    if (!e.answer) continue;
    const Answer& a = *e.answer;
    if (options_.keepLog) log_.push_back({now, false, a.bytes});
    // One burst after the turnaround, on the line's byte grid; the line carries one answer at a time.
    double at = std::max(now, lineFreeMs_) + options_.turnaroundMs + a.delayMs;
    for (std::size_t i = 0; i < a.bytes.size(); ++i) {
      at += options_.byteMs;
      answer_.emplace_back(at, a.bytes[i]);
      if (a.gapMs > 0 && i + 1 == a.gapAfter) at += a.gapMs;
    }
    lineFreeMs_ = at;
  }
  if (adapter_.HangUpDue()) {
    hungUp_ = true;
    answer_.clear();
  }
  return !hungUp_;
}

void InProcessLine::Close() {
  if (!answer_.empty()) adapter_.CountRestLost();
  answer_.clear();
}

std::size_t InProcessLine::Due() {
  const double now = NowMs();
  adapter_.Quiet(now);
  std::size_t due = 0;
  for (const auto& [at, byte] : answer_) {
    if (at > now) break;
    ++due;
  }
  return due;
}

bool InProcessLine::Read(std::uint8_t& byte) {
  if (answer_.empty() || answer_.front().first > NowMs()) return false;
  byte = answer_.front().second;
  answer_.pop_front();
  return true;
}

}  // namespace sim
