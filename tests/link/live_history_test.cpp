// SPDX-License-Identifier: GPL-3.0-or-later
// The live-value history: thinned without losing an extreme, broken where the link was down,
// bounded to a day, decoded from the status blocks.
#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>
#include <sstream>
#include <string>

#include "link/live_history.h"
#include "settings/float24.h"

namespace {

LiveValues Filled(float v) {
  LiveValues values;
  values.fill(v);
  return values;
}

// Whatever the data and the width, each column keeps its lowest and highest value, in the order
// they came, and nothing else.
TEST(LiveHistory, ThinningKeepsEveryColumnsMinimumAndMaximum) {
  const struct {
    int samples, columns;
    std::int64_t stepMs;
  } cases[] = {{7200, 800, 500}, {7200, 7200, 500}, {50, 800, 500}, {172800, 640, 500}, {1000, 3, 7}};
  std::mt19937 random(3);
  std::uniform_real_distribution<float> noise(-100, 100);
  for (const auto& c : cases) {
    LiveHistory history;
    for (int i = 0; i < c.samples; ++i) history.Add(1'000'000 + i * c.stepMs, Filled(noise(random)));
    const std::int64_t from = 1'000'000, to = from + c.samples * c.stepMs;
    std::vector<DrawPoint> out;
    history.Thin(5, from, to, c.columns, out);
    // The same columns by brute force.
    std::vector<std::vector<const LiveSample*>> columns(static_cast<std::size_t>(c.columns));
    for (const LiveSample& s : history.Samples())
      columns[static_cast<std::size_t>((s.ms - from) * c.columns / (to - from))].push_back(&s);
    std::vector<DrawPoint> expected;
    for (const auto& column : columns) {
      if (column.empty()) continue;
      const auto [low, high] = std::minmax_element(
          column.begin(), column.end(), [](auto* a, auto* b) { return a->values[5] < b->values[5]; });
      const LiveSample* first = (*low)->ms <= (*high)->ms ? *low : *high;
      const LiveSample* second = first == *low ? *high : *low;
      expected.push_back({first->ms, first->values[5], false});
      if (second != first) expected.push_back({second->ms, second->values[5], false});
    }
    // The line ends at the newest value.
    const LiveSample& newest = history.Samples().back();
    if (expected.back().ms != newest.ms) expected.push_back({newest.ms, newest.values[5], false});
    EXPECT_EQ(out, expected) << c.samples << " samples over " << c.columns << " columns";
    EXPECT_LE(out.size(), 2U * static_cast<std::size_t>(c.columns) + 1);
  }
}

TEST(LiveHistory, ALinkDownBreaksTheLineAndADayIsKept) {
  LiveHistory history;
  history.LinkDown();  // before anything: no break to draw
  for (int i = 0; i < 10; ++i) history.Add(i * 1000, Filled(static_cast<float>(i)));
  history.LinkDown();
  for (int i = 20; i < 30; ++i) history.Add(i * 1000, Filled(static_cast<float>(i)));
  std::vector<DrawPoint> out;
  history.Thin(0, 0, 30'000, 30, out);  // a column a second: every sample drawn
  ASSERT_EQ(out.size(), 20U);
  for (std::size_t i = 0; i < out.size(); ++i) EXPECT_EQ(out[i].breakBefore, i == 10) << i;
  // Within one column too: the break splits it.
  history.Thin(0, 0, 30'000, 1, out);
  ASSERT_EQ(out.size(), 4U);
  EXPECT_EQ(out[2], (DrawPoint{20'000, 20, true}));

  history.Add(29'000 + LiveHistory::kKeptMs, Filled(1));
  EXPECT_EQ(history.Samples().front().ms, 29'000);
  history.Add(0, Filled(2));  // the clock set back: kept in order
  EXPECT_EQ(history.Samples().back().ms, 29'000 + LiveHistory::kKeptMs);
}

// A value that is not a number breaks the line, in one column or across several, and never takes
// the place of a finite extreme.
TEST(LiveHistory, ValuesThatAreNotNumbersAreGaps) {
  LiveHistory history;
  const float values[] = {1, NAN, 5, INFINITY, 7, 3, -INFINITY};
  for (int i = 0; i < 7; ++i) history.Add(i * 1000, Filled(values[i]));
  const std::vector<DrawPoint> expected = {{0, 1, false}, {2000, 5, true}, {4000, 7, true}, {5000, 3, false}};
  for (const int columns : {1, 7, 700}) {
    std::vector<DrawPoint> out;
    history.Thin(0, 0, 7000, columns, out);
    EXPECT_EQ(out, expected) << columns << " columns";
  }
}

TEST(LiveHistory, DecodedFromTheChannelsStatusBlocks) {
  std::uint8_t blocks[4][11] = {};
  for (int ch = 0; ch < 4; ++ch) {
    const auto value = EncodeFloat24(12.5F * static_cast<float>(ch + 1));
    const auto current = EncodeFloat24(4.0F + static_cast<float>(ch));
    std::copy(value.begin(), value.end(), blocks[ch]);
    std::copy(current.begin(), current.end(), blocks[ch] + 3);
    blocks[ch][6] = static_cast<std::uint8_t>(0x10 + ch);
    blocks[ch][7] = 0x02;
    blocks[ch][8] = 0xFF;
    blocks[ch][9] = 0x0F;
  }
  const LiveValues v = DecodeLiveValues({blocks[0], blocks[1], blocks[2], blocks[3]});
  for (int ch = 0; ch < 4; ++ch) {
    EXPECT_FLOAT_EQ(v[4 * ch + kLiveValue], 12.5F * static_cast<float>(ch + 1));
    EXPECT_FLOAT_EQ(v[4 * ch + kLiveCurrent], 4.0F + static_cast<float>(ch));
    EXPECT_EQ(v[4 * ch + kLiveAdc], static_cast<float>(0x210 + ch));
    EXPECT_EQ(v[4 * ch + kLiveDac], 4095.0F);
  }
}

// The instant an ISO text names, read back through its own offset: "2026-12-08T11:05:03.123+03:00".
std::int64_t MsFromIsoText(const std::string& text) {
  int y, mo, d, h, mi, s, ms, oh, om;
  char sign;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d.%3d%c%2d:%2d", &y, &mo, &d, &h, &mi, &s, &ms, &sign,
                  &oh, &om) != 10)
    return -1;
  using namespace std::chrono;
  const sys_days day{year{y} / month{static_cast<unsigned>(mo)} / std::chrono::day{static_cast<unsigned>(d)}};
  const std::int64_t offset = (sign == '-' ? -1 : 1) * (oh * 3600 + om * 60);
  return (day.time_since_epoch().count() * 86400LL + h * 3600 + mi * 60 + s - offset) * 1000 + ms;
}

class ZoneScope {
 public:
  explicit ZoneScope(const char* zone) {
    if (const char* old = std::getenv("TZ")) old_ = old, hadOld_ = true;
    Set(zone);
  }
  ~ZoneScope() { Set(hadOld_ ? old_.c_str() : nullptr); }

 private:
  static void Set(const char* zone) {
#ifdef _WIN32
    _putenv_s("TZ", zone != nullptr ? zone : "");
    _tzset();
#else
    if (zone != nullptr)
      setenv("TZ", zone, 1);
    else
      unsetenv("TZ");
    tzset();
#endif
  }
  std::string old_;
  bool hadOld_ = false;
};

// Local time with its offset, whichever side of UTC and whatever the minutes; the text names the
// same instant.
TEST(LiveHistory, IsoTimeNamesTheInstantInLocalTime) {
  const struct {
    const char* zone;
    std::int64_t ms;
    const char* text;
  } cases[] = {{"UTC0", 1'796'725'503'123, "2026-12-08T10:25:03.123+00:00"},
               {"IST-5:30", 1'796'725'503'007, "2026-12-08T15:55:03.007+05:30"},
               {"NST3:30", 1'796'725'503'999, "2026-12-08T06:55:03.999-03:30"},
               {"UTC0", 0, "1970-01-01T00:00:00.000+00:00"},
               {"MSK-3", -1, "1970-01-01T02:59:59.999+03:00"}};
  for (const auto& c : cases) {
    ZoneScope zone(c.zone);
    EXPECT_EQ(IsoTimeText(c.ms), c.text) << c.zone;
    EXPECT_EQ(MsFromIsoText(IsoTimeText(c.ms)), c.ms) << c.zone;
  }
}

// What "Сохранить CSV" writes reads back to the very samples: every time and every float exactly.
TEST(LiveHistory, CsvReadsBackToTheSamples) {
  LiveHistory history;
  std::mt19937 random(11);
  std::uniform_real_distribution<float> noise(-1e4F, 1e4F);
  const float awkward[] = {0.1F, -0.0F, 1e-7F, 3.4e38F, 12345.678F, 4095.0F};
  for (int i = 0; i < 300; ++i) {
    LiveValues values;
    for (float& v : values) v = noise(random);
    values[static_cast<std::size_t>(i % 16)] = awkward[i % std::size(awkward)];
    if (i == 150) history.LinkDown();
    history.Add(1'796'725'503'000 + i * 497, values);
  }
  const std::string csv = HistoryCsv(history.Samples());
  std::istringstream lines(csv);
  std::string line;
  ASSERT_TRUE(std::getline(lines, line));
  EXPECT_EQ(line.rfind("Время,Канал 1 значение,Канал 1 ток,Канал 1 АЦП,Канал 1 ЦАП,Канал 2 значение", 0), 0U);
  EXPECT_EQ(std::count(line.begin(), line.end(), ','), 16);
  EXPECT_TRUE(line.ends_with("Канал 4 ЦАП"));
  std::size_t row = 0;
  for (; std::getline(lines, line); ++row) {
    ASSERT_LT(row, history.Samples().size());
    const LiveSample& sample = history.Samples()[row];
    const std::size_t comma = line.find(',');
    EXPECT_EQ(MsFromIsoText(line.substr(0, comma)), sample.ms) << line;
    const char* p = line.data() + comma;
    for (std::size_t k = 0; k < 16; ++k) {
      ASSERT_EQ(*p, ',') << line;
      float v = 0;
      const auto [end, error] = std::from_chars(p + 1, line.data() + line.size(), v);
      ASSERT_EQ(error, std::errc()) << line;
      EXPECT_EQ(std::memcmp(&v, &sample.values[k], sizeof v), 0) << row << ":" << k << " " << line;
      p = end;
    }
    EXPECT_EQ(p, line.data() + line.size());
  }
  EXPECT_EQ(row, history.Samples().size());
  EXPECT_EQ(csv.find(';'), std::string::npos);
}

}  // namespace
