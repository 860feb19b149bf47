// SPDX-License-Identifier: GPL-3.0-or-later
// The record of the link's exchanges: the last ones with their bytes, times and verdicts, and the
// counters since connecting, kept whether or not anything shows them, for the line monitor and the
// command line's trace.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "link/exchange_verdict.h"

struct Exchange {
  std::chrono::system_clock::time_point sent;
  std::vector<std::uint8_t> request, answer;
  Verdict verdict = Verdict::NoAnswer;
  double roundTripMs = 0;  // from the request to the answer's last byte; 0 without an answer
};

struct ExchangeCounters {
  std::uint64_t exchanges = 0, answered = 0, noAnswer = 0, cut = 0, garbled = 0, refused = 0;
  std::uint64_t bytesOut = 0, bytesIn = 0;
  double lastRoundTripMs = 0;  // of the last answered exchange
};

class ExchangeRecord {
 public:
  using Clock = std::function<std::chrono::system_clock::time_point()>;
  using Timer = std::function<std::chrono::steady_clock::time_point()>;
  static constexpr std::size_t kKept = 1000;
  // No frame is longer; a line that streams must not grow the record without bound.
  static constexpr std::size_t kAnswerKept = 128;

  // clock stamps the exchanges; timer measures their round trips, unmoved by clock adjustments.
  explicit ExchangeRecord(
      Clock clock = [] { return std::chrono::system_clock::now(); },
      Timer timer = [] { return std::chrono::steady_clock::now(); })
      : clock_(std::move(clock)), timer_(std::move(timer)) {}

  // The link's side: a request went out (ending the exchange before it, if still open), a byte came
  // in (part of the answer while an exchange is open), the engine stopped waiting.
  void Sent(const std::uint8_t* data, int length);
  void Received(std::uint8_t byte);
  void End();

  // A new connection starts the counters again; the kept exchanges stay.
  void ResetCounters() { counters_ = {}; }

  const ExchangeCounters& Counters() const { return counters_; }
  const std::deque<Exchange>& Entries() const { return entries_; }
  // Told of each exchange as it ends.
  std::function<void(const Exchange&)> OnExchange;

 private:
  Clock clock_;
  Timer timer_;
  bool open_ = false;
  Exchange current_;
  std::chrono::steady_clock::time_point sentAt_, lastByte_;
  std::deque<Exchange> entries_;
  ExchangeCounters counters_;
};

// The verdict in the monitor's words: "ответ", "нет ответа", "обрезан", "искажен или чужой", "отказ".
const char* VerdictText(Verdict verdict);
// Local time to the millisecond, "14:03:27.415".
std::string ClockText(std::chrono::system_clock::time_point time);
// One line for the monitor's journal and the trace: time, request, answer, verdict, round trip.
std::string ExchangeLine(const Exchange& exchange);
