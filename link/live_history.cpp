// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/live_history.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <span>

#include "link/wall_clock.h"
#include "settings/c_format.h"
#include "settings/float24.h"
#include "settings/user_text.h"

void LiveHistory::Add(std::int64_t ms, const LiveValues& values) {
  if (!samples_.empty()) ms = std::max(ms, samples_.back().ms);  // a clock set back draws no loop
  samples_.push_back({ms, broken_, values});
  broken_ = false;
  while (samples_.front().ms < ms - kKeptMs) samples_.pop_front();
}

void LiveHistory::Thin(int series, std::int64_t from, std::int64_t to, int columns,
                       std::vector<DrawPoint>& out) const {
  out.clear();
  if (series < 0 || series >= 16 || columns <= 0 || to <= from) return;
  const auto first = std::lower_bound(samples_.begin(), samples_.end(), from,
                                      [](const LiveSample& s, std::int64_t t) { return s.ms < t; });
  const std::size_t index = static_cast<std::size_t>(series);
  // The column being gathered: its lowest and highest samples.
  const LiveSample* low = nullptr;
  const LiveSample* high = nullptr;
  const LiveSample* newest = nullptr;  // the last finite sample of the range
  const LiveSample* lastOut = nullptr;
  std::int64_t column = -1;
  bool breakNext = false;
  const auto flush = [&] {
    if (low == nullptr) return;
    const LiveSample* a = low->ms <= high->ms ? low : high;
    const LiveSample* b = a == low ? high : low;
    out.push_back({a->ms, a->values[index], breakNext});
    if (b != a) out.push_back({b->ms, b->values[index], false});
    lastOut = b;
    breakNext = false;
    low = high = nullptr;
  };
  for (auto it = first; it != samples_.end() && it->ms < to; ++it) {
    const std::int64_t c = (it->ms - from) * columns / (to - from);
    // A break ends the column's line: both sides keep their own extremes.
    if (c != column || (it->breakBefore && it != first)) {
      flush();
      column = c;
      if (it->breakBefore && it != first) breakNext = true;
    }
    const float v = it->values[index];
    // No value to draw (a Float24 with every exponent bit set): a gap, which no extreme hides.
    if (!std::isfinite(v)) {
      flush();
      breakNext = !out.empty();
      continue;
    }
    if (low == nullptr || v < low->values[index]) low = &*it;
    if (high == nullptr || v > high->values[index]) high = &*it;
    newest = &*it;
  }
  flush();
  // The line ends at the newest value, extreme of its column or not.
  if (newest != nullptr && newest != lastOut) out.push_back({newest->ms, newest->values[index], false});
}

LiveValues DecodeLiveValues(const std::array<const std::uint8_t*, 4>& channelData) {
  LiveValues values{};
  for (std::size_t ch = 0; ch < 4; ++ch) {
    const std::uint8_t* data = channelData[ch];
    values[4 * ch + kLiveValue] = DecodeFloat24(std::span<const std::uint8_t, 3>(data, 3));
    values[4 * ch + kLiveCurrent] = DecodeFloat24(std::span<const std::uint8_t, 3>(data + 3, 3));
    values[4 * ch + kLiveAdc] = static_cast<float>(data[6] | data[7] << 8);
    values[4 * ch + kLiveDac] = static_cast<float>(data[8] | data[9] << 8);
  }
  return values;
}

std::string IsoTimeText(std::int64_t ms) {
  const std::int64_t seconds = ms >= 0 ? ms / 1000 : (ms - 999) / 1000;
  const std::tm local = LocalTime(seconds);
  // The offset is what the local calendar time is ahead of the instant; no zone field needed.
  using namespace std::chrono;
  const sys_days day{year{local.tm_year + 1900} / month{static_cast<unsigned>(local.tm_mon + 1)} /
                     std::chrono::day{static_cast<unsigned>(local.tm_mday)}};
  const std::int64_t localSeconds =
      day.time_since_epoch().count() * 86400LL + local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec;
  const long long offsetMinutes = (localSeconds - seconds) / 60;
  const long long absMinutes = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
  return CFormat("%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02lld:%02lld", local.tm_year + 1900, local.tm_mon + 1,
                 local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                 static_cast<int>(ms - seconds * 1000), offsetMinutes < 0 ? '-' : '+', absMinutes / 60,
                 absMinutes % 60);
}

std::string HistoryCsv(const std::deque<LiveSample>& samples) {
  // The column names in the window's language.
  static const char* const kQuantities[] = {VEXA_TR_NOOP("Messages", "значение"),
                                            VEXA_TR_NOOP("Messages", "ток"), VEXA_TR_NOOP("Messages", "АЦП"),
                                            VEXA_TR_NOOP("Messages", "ЦАП")};
  std::string text = Translated("Messages", "Время");
  const std::string column = Translated("Messages", ",Канал %d %s");
  for (int ch = 1; ch <= 4; ++ch)
    for (const char* quantity : kQuantities)
      text += CFormat(column.c_str(), ch, Translated("Messages", quantity).c_str());
  text += "\n";
  text.reserve(text.size() + samples.size() * 160);
  char number[32];
  for (const LiveSample& sample : samples) {
    text += IsoTimeText(sample.ms);
    for (const float value : sample.values) {
      text += ',';
      text.append(number, std::to_chars(number, number + sizeof number, value).ptr);
    }
    text += '\n';
  }
  return text;
}
