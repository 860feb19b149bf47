// SPDX-License-Identifier: GPL-3.0-or-later
// The live-value history: thinned without losing an extreme, broken where the link was down,
// bounded to a day, decoded from the status blocks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>

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
    EXPECT_EQ(out, expected) << c.samples << " samples over " << c.columns << " columns";
    EXPECT_LE(out.size(), 2U * static_cast<std::size_t>(c.columns));
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

}  // namespace
