// SPDX-License-Identifier: GPL-3.0-or-later
// The Ixor adapter in front of the simulated module: request framing, the set-up handshake, module
// requests, and the faults a test or a demonstration can switch on. No I/O: bytes in, answers out.
#pragma once

#include <cstdint>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "sim/vexa_module.h"

namespace sim {

struct Faults {
  bool noModule = false;                       // the open is refused (C0)
  bool setupRefused = false;                   // set-up steps are refused (90)
  std::optional<std::uint16_t> refuseReadAt;   // reads of this address are refused (C4)
  std::optional<std::uint16_t> refuseWriteAt;  // writes to this address are refused (C2)
  bool noAnswer = false;                       // requests are swallowed
  unsigned delayMs = 0;                        // added before each answer
  std::optional<std::size_t> cutTo;            // answers are cut to this many bytes
  unsigned gapMs = 0;                          // a pause in the middle of each answer
  double corruptProbability = 0;               // a byte of an answer is flipped
  double dropProbability = 0;                  // a byte of an answer is left out
  unsigned seed = 1;
  std::optional<unsigned>
      hangUpAfter;  // the line closes as this many requests have come, the last unanswered
  // A long faulty line: each answer, with this probability, gets one fault picked at random: dropped,
  // cut short (a byte at least kept), a byte of its head changed, delayed past the quiet time
  // halfway through, an extra byte, refused. Each is one a line monitor can tell apart.
  double faultRate = 0;
  // Answers to settings reads (counted from 0 since the faults were set, the connection's header
  // read included) that get one data byte changed, a different byte and change for each: what a
  // line changes without the protocol noticing, having no checksum.
  std::set<unsigned> changeSettingsAnswers;
};

// What the random faults did, by kind, for soak runs to report; and, of the delayed answers, those
// whose rest was still on its way when the next request came (its answer then starts with that
// rest) or when the tool closed the line (it then stays cut): consequences, not faults of their own.
struct FaultCounts {
  std::size_t dropped = 0, cut = 0, changed = 0, delayed = 0, extra = 0, refused = 0;
  // Of the delayed: the rest ran into the next request, or the tool closed the line before it came.
  std::size_t overlapped = 0, restLost = 0;
  std::size_t Total() const { return dropped + cut + changed + delayed + extra + refused; }
};

struct Answer {
  std::vector<std::uint8_t> bytes;
  unsigned delayMs = 0;      // before the first byte, beyond the turnaround
  std::size_t gapAfter = 0;  // a pause of gapMs after this many bytes (0: none)
  unsigned gapMs = 0;
};

// A complete request and what the adapter answers to it (nothing: silence).
struct Exchange {
  std::vector<std::uint8_t> request;
  std::optional<Answer> answer;
};

class Adapter {
 public:
  explicit Adapter(VexaModule& module) : module_(module) {}

  void SetFaults(const Faults& faults);
  const Faults& faults() const { return faults_; }

  // Takes received bytes; returns the requests they complete with their answers, in order.
  std::vector<Exchange> Receive(const std::vector<std::uint8_t>& bytes, double nowMs);
  // A partial request older than the quiet time is dropped.
  void Quiet(double nowMs);
  bool HangUpDue() const { return faults_.hangUpAfter && requests_ >= *faults_.hangUpAfter; }
  const FaultCounts& Injected() const { return injected_; }
  // The line told of a request that came while an answer was still being sent, or of an answer's
  // rest that the tool's closing cut off.
  void CountOverlap() { ++injected_.overlapped; }
  void CountRestLost() { ++injected_.restLost; }
  bool ModuleOpen() const { return open_; }
  std::size_t PendingBytes() const { return pending_.size(); }

  // Long enough that a request whose bytes a busy sender spreads out still arrives whole; the link
  // sends nothing new for a second after a request that went unanswered.
  static constexpr double kQuietMs = 200;

 private:
  std::optional<std::size_t> ExpectedLength() const;
  std::optional<Answer> Handle(const std::vector<std::uint8_t>& request, double nowMs);
  std::optional<Answer> Damage(std::vector<std::uint8_t> bytes);
  // The random fault of a long faulty line, if this answer gets one; false when it is dropped.
  bool RandomFault(Answer& answer);

  VexaModule& module_;
  Faults faults_;
  std::mt19937 random_{1};
  std::vector<std::uint8_t> pending_;
  double lastByteMs_ = 0;
  bool open_ = false;
  unsigned requests_ = 0;
  unsigned settingsAnswers_ = 0;
  FaultCounts injected_;
};

std::string Hex(const std::vector<std::uint8_t>& bytes);

}  // namespace sim
