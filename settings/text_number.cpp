// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/text_number.h"

#include <charconv>
#include <cmath>
#include <system_error>

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

double TextToNumber(std::string_view text, std::size_t maxChars) {
  text = text.substr(0, maxChars);
  std::size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;

  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  const std::size_t first = i;
  std::size_t digits = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i) ++digits;
  if (i < text.size() && text[i] == '.') {
    for (++i; i < text.size() && IsDigit(text[i]); ++i) ++digits;
  }
  if (digits == 0) return 0.0;

  double value = 0.0;
  const auto [end, error] =
      std::from_chars(text.data() + first, text.data() + i, value, std::chars_format::fixed);
  (void)end;
  if (error != std::errc{} || !std::isfinite(value)) return 0.0;
  return negative ? -value : value;
}

std::int64_t FloorAsSingle(double value) {
  const float single = static_cast<float>(value);
  // Only a value from outside TextToNumber can be out of range here; saturate rather than overflow.
  if (!std::isfinite(single)) return 0;
  const double floored = std::floor(static_cast<double>(single));
  if (floored >= 9.2e18) return INT64_MAX;
  if (floored <= -9.2e18) return INT64_MIN;
  return static_cast<std::int64_t>(floored);
}

std::optional<std::uint64_t> WholeNumberText(std::string_view text, std::uint64_t max) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos) return std::nullopt;
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc{} || end != text.data() + text.size() || value > max) return std::nullopt;
  return value;
}

std::optional<std::uint16_t> HexWordText(std::string_view text) {
  if (text.size() != 4 || text.find_first_not_of("0123456789abcdefABCDEF") != std::string_view::npos)
    return std::nullopt;
  std::uint16_t value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value, 16);
  return value;
}

std::optional<double> DecimalText(std::string_view text) {
  // from_chars would take "inf" and "nan": only a digit or a point may follow the sign.
  const bool negative = text.starts_with('-');
  if (negative) text.remove_prefix(1);
  if (text.empty() || !(IsDigit(text[0]) || text[0] == '.')) return std::nullopt;
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc{} || end != text.data() + text.size() || !std::isfinite(value)) return std::nullopt;
  return negative ? -value : value;
}
