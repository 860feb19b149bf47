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
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "link/exchange_verdict.h"

struct Exchange {
  std::chrono::system_clock::time_point sent;
  std::vector<std::uint8_t> request, answer;
  Verdict verdict = Verdict::NoAnswer;
  double roundTripMs = 0;  // from the request to the answer's last byte; 0 without an answer
};

struct ExchangeCounters {
  std::uint64_t exchanges = 0, answered = 0, noAnswer = 0, cut = 0, late = 0, garbled = 0, tooLong = 0,
                refused = 0;
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
  // in (part of the answer while an exchange is open), the engine stopped waiting. Bytes that come
  // after an answer was taken as cut and before the next request are its rest: once it is whole,
  // the exchange is a late one.
  void Sent(const std::uint8_t* data, int length);
  void Received(std::uint8_t byte);
  void End();

  // A new connection starts the record anew, counters and exchanges alike, so that what the monitor
  // counts and what it lists are of one connection, whose port and start the journal names.
  void NewConnection(std::string port);

  // What the window last had to say of the link itself (an adapter gone, back again), for the monitor;
  // kept across connections, since one is what it speaks of.
  void SetNote(std::string note) { note_ = std::move(note); }
  const std::string& Note() const { return note_; }

  const ExchangeCounters& Counters() const { return counters_; }
  const std::deque<Exchange>& Entries() const { return entries_; }
  // Exchanges recorded since the record was made, over all connections: Entries()[i] is number
  // Recorded() - Entries().size() + i, so that a view can tell what it has not shown yet.
  std::uint64_t Recorded() const { return recorded_; }
  const std::string& Port() const { return port_; }
  std::chrono::system_clock::time_point ConnectedAt() const { return connectedAt_; }
  // Told of each exchange as it ends, and again of one found late.
  std::function<void(const Exchange&)> OnExchange;

 private:
  void Count(Verdict verdict, int by);
  // What `rest` makes of a cut answer: whole, still cut (more may come), or nothing it can be.
  enum class Rest { Whole, Partial, None };
  static Rest Joined(const Exchange& cut, std::span<const std::uint8_t> rest);
  // Whether `before` and the start of the next exchange's answer are the cut one's rest, the answer
  // going on with one of its own (or nothing); if so the rest is added to the cut answer.
  static bool TakeRest(Exchange& cut, const std::vector<std::uint8_t>& before, const Exchange& next);
  void FoundLate(Exchange& exchange);

  Clock clock_;
  Timer timer_;
  bool open_ = false;
  bool restOpen_ = false;           // the last exchange was cut, and no request has gone out since
  bool restBefore_ = false;         // so it was when the open exchange's request went out
  std::vector<std::uint8_t> rest_;  // what came since the cut answer, while it may be its rest
  Exchange current_;
  std::chrono::steady_clock::time_point sentAt_, lastByte_;
  std::deque<Exchange> entries_;
  std::uint64_t recorded_ = 0;
  ExchangeCounters counters_;
  std::string port_;
  std::string note_;
  std::chrono::system_clock::time_point connectedAt_{};
};

// The verdict in the monitor's words: "ответ", "нет ответа", "обрезан", "искажен или чужой", "отказ",
// "с паузой", "длиннее".
const char* VerdictText(Verdict verdict);
// Local time to the millisecond, "14:03:27.415".
std::string ClockText(std::chrono::system_clock::time_point time);
// Local date and time to the millisecond, "2026-12-08 14:03:27.415": a journal outlives its day.
std::string DateClockText(std::chrono::system_clock::time_point time);
// One line for the monitor's journal (with the date) and the trace: time, request, answer, verdict,
// round trip.
std::string ExchangeLine(const Exchange& exchange, bool withDate = false);
