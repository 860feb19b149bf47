// SPDX-License-Identifier: GPL-3.0-or-later
// The live values of every status cycle with their times, for the diagram: kept from the first
// connection of the run for 24 hours, broken where the link was down, and thinned for drawing to
// at most a minimum and a maximum per pixel column.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

// A status cycle's 16 values: for channels 1 to 4 in turn the measured value, the sensor current,
// the ADC and the DAC value; series 4 * channel + quantity.
enum LiveQuantity { kLiveValue = 0, kLiveCurrent = 1, kLiveAdc = 2, kLiveDac = 3 };
using LiveValues = std::array<float, 16>;

struct LiveSample {
  std::int64_t ms = 0;       // wall clock, milliseconds since the epoch
  bool breakBefore = false;  // the link was down since the sample before
  LiveValues values{};
};

struct DrawPoint {
  std::int64_t ms = 0;
  float value = 0;
  bool breakBefore = false;  // no line from the point before
  bool operator==(const DrawPoint&) const = default;
};

class LiveHistory {
 public:
  static constexpr std::int64_t kKeptMs = 24LL * 60 * 60 * 1000;

  // A cycle's values at ms (not before the last sample's); samples older than 24 hours go.
  void Add(std::int64_t ms, const LiveValues& values);
  // The link went down: the next sample starts a new line.
  void LinkDown() { broken_ = !samples_.empty(); }

  const std::deque<LiveSample>& Samples() const { return samples_; }

  // Series of the samples from `from` up to `to` (excluded) drawn across columns pixel columns: in
  // each column its lowest and highest value in the order they came (one point when they are the
  // same sample), a break kept where the link was down or a value is not finite, and the newest
  // value last. Replaces out's contents.
  void Thin(int series, std::int64_t from, std::int64_t to, int columns, std::vector<DrawPoint>& out) const;

 private:
  std::deque<LiveSample> samples_;
  bool broken_ = false;
};

// The 16 values of a status cycle from the four channels' status blocks (11 bytes each).
LiveValues DecodeLiveValues(const std::array<const std::uint8_t*, 4>& channelData);

// The history as CSV text (UTF-8, comma-separated, point as the decimal separator): a header in the
// window's language, then a row per sample with its local time in ISO 8601 to the millisecond with the offset, and the 16
// values, each in the shortest text that reads back to the same float.
std::string HistoryCsv(const std::deque<LiveSample>& samples);
// "2026-12-08T11:05:03.123+03:00": local wall-clock time of ms since the epoch.
std::string IsoTimeText(std::int64_t ms);
