// SPDX-License-Identifier: GPL-3.0-or-later
// Every float (or every n-th bit pattern) printed as settings text and read back through the rules'
// conversion must come back bit for bit. bench_float_text [STRIDE]; STRIDE 1 checks all 2^32.
#include <bit>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "settings/field_rules.h"
#include "settings/settings_text.h"

int main(int argc, char** argv) {
  const std::uint64_t stride = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1;
  if (stride == 0) return 2;
  const auto start = std::chrono::steady_clock::now();
  std::uint64_t checked = 0, wrong = 0;
  for (std::uint64_t bits = 0; bits <= 0xFFFFFFFFULL; bits += stride) {
    const float value = std::bit_cast<float>(static_cast<std::uint32_t>(bits));
    if (!std::isfinite(value)) continue;
    ++checked;
    const float back = FloatEntry(0.0F, ShortestFloatText(value), std::string::npos);
    if (std::bit_cast<std::uint32_t>(back) != bits && wrong++ < 10)
      std::printf("0x%08llX reads back as 0x%08X\n", static_cast<unsigned long long>(bits),
                  std::bit_cast<std::uint32_t>(back));
  }
  const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%llu finite floats checked in %.0f s, %llu read back differently\n",
              static_cast<unsigned long long>(checked), s, static_cast<unsigned long long>(wrong));
  return wrong == 0 ? 0 : 1;
}
