// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <string>

#include "settings/text_number.h"
#include "tests/support/russian_locale.h"

namespace {

struct Case {
  const char* text;
  std::size_t maxChars;
  double want;
};

const Case kCases[] = {
    {"12.5", 8, 12.5}, {"   12.5", 8, 12.5},    {"\t 3", 8, 3},     {"12,5", 8, 12},     {"12 5", 8, 12},
    {"1.2.3", 8, 1.2}, {"123456789", 4, 1234},  {"   1234", 5, 12}, {"-3.25", 8, -3.25}, {"+7", 8, 7},
    {"- 7", 8, 0},     {"--5", 8, 0},           {".5", 8, 0.5},     {"5.", 8, 5},        {"0.1", 8, 0.1},
    {"", 8, 0},        {"  .", 8, 0},           {"-.", 8, 0},       {"abc", 8, 0},       {"12", 0, 0},
    {"1e3", 8, 1},     {"2.5E-1", 8, 2.5},      {"inf", 8, 0},      {"-INF", 8, 0},      {"nan", 8, 0},
    {"0x1A", 8, 0},    {"12.345678", 5, 12.34}, {"99.9", 4, 99.9},
};

void CheckAll() {
  for (const Case& c : kCases)
    EXPECT_EQ(TextToNumber(c.text, c.maxChars), c.want) << '"' << c.text << "\" max " << c.maxChars;
}

TEST(TextToNumber, ReadsTheLeadingDecimalNumber) { CheckAll(); }

TEST(TextToNumber, StaysFiniteForHugeAndTinyNumbers) {
  const std::string huge(400, '9');
  const std::string tiny = "0." + std::string(400, '0') + "1";
  EXPECT_TRUE(std::isfinite(TextToNumber(huge, huge.size())));
  EXPECT_EQ(TextToNumber(tiny, tiny.size()), 0.0);
  EXPECT_EQ(TextToNumber(huge, 8), 99999999.0);
}

TEST(TextToNumber, IgnoresARussianLocale) {
  const RussianLocale russian;
  ASSERT_TRUE(russian.Active());
  // Proof that the locale is live: the C library now stops at the point.
  EXPECT_EQ(std::strtod("2.5", nullptr), 2.0);
  CheckAll();
}

TEST(FloorAsSingle, FloorsTowardMinusInfinityInSinglePrecision) {
  EXPECT_EQ(FloorAsSingle(2.9), 2);
  EXPECT_EQ(FloorAsSingle(-0.5), -1);
  EXPECT_EQ(FloorAsSingle(1023.0), 1023);
  // 16777217 has no single: it rounds to 16777216 before the floor.
  EXPECT_EQ(FloorAsSingle(16777217.0), 16777216);
  EXPECT_EQ(FloorAsSingle(2 * TextToNumber("34.7", 4)) - 1, 68);
}

}  // namespace
