// SPDX-License-Identifier: GPL-3.0-or-later
// The diagram's cost before drawing: a day of samples at two a second, the last hour thinned to
// an 800-pixel-wide plot for the four channels, and what the day takes in memory.
#include <benchmark/benchmark.h>

#include <cmath>

#include "bench/process_stats.h"
#include "link/live_history.h"

namespace {

constexpr std::int64_t kStart = 1'800'000'000'000;
constexpr int kSamples = 24 * 60 * 60 * 2;

long gDayKb = 0;  // what building the day added to the resident set

const LiveHistory& Day() {
  static const LiveHistory history = [] {
    const long before = ResidentKb();
    LiveHistory h;
    for (int i = 0; i < kSamples; ++i) {
      LiveValues v;
      for (std::size_t k = 0; k < v.size(); ++k)
        v[k] = static_cast<float>(std::sin(i * 0.001 + static_cast<double>(k)));
      h.Add(kStart + i * 500LL, v);
    }
    gDayKb = ResidentKb() - before;
    return h;
  }();
  return history;
}

void ThinTheLastHourOfADay(benchmark::State& state) {
  const LiveHistory& history = Day();
  const std::int64_t to = kStart + kSamples * 500LL;
  std::vector<DrawPoint> out;
  out.reserve(1600);
  for (auto _ : state) {
    for (int ch = 0; ch < 4; ++ch) {
      history.Thin(4 * ch + kLiveValue, to - 60 * 60 * 1000, to, static_cast<int>(state.range(0)), out);
      benchmark::DoNotOptimize(out.data());
    }
  }
  state.counters["samples"] = static_cast<double>(history.Samples().size());
  state.counters["day_MB"] = static_cast<double>(gDayKb) / 1024.0;
}
BENCHMARK(ThinTheLastHourOfADay)->Arg(800)->Arg(1920)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
