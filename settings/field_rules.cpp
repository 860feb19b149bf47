// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/field_rules.h"

#include "settings/c_format.h"
#include "settings/text_number.h"

namespace {

std::optional<std::int64_t> InRange(std::int64_t value, std::int64_t limit) {
  // The masks admit no sign, but vexa_cli texts may carry one: a negative value is out of range
  // rather than wrapped round into an unsigned field.
  if (value < 0 || value > limit) return std::nullopt;
  return value;
}

}  // namespace

float FloatEntry(float current, const FieldEntry& entry, std::size_t chars) {
  return entry ? static_cast<float>(TextToNumber(*entry, chars)) : current;
}

std::optional<std::int64_t> CountEntry(std::int64_t current, const FieldEntry& entry, std::size_t chars,
                                       std::int64_t limit) {
  return InRange(entry ? FloorAsSingle(TextToNumber(*entry, chars)) : current, limit);
}

std::optional<std::int64_t> HalfSecondEntry(std::int64_t current, const FieldEntry& entry, std::size_t chars,
                                            std::int64_t limit) {
  // Compared in single precision: 10.3 is 10.30000019 there and gives code 19.
  return InRange(entry ? FloorAsSingle(2.0 * static_cast<float>(TextToNumber(*entry, chars))) - 1 : current,
                 limit);
}

std::string HalfSecondText(std::uint8_t code) { return CFormat("%4.1f", (code + 1) * 0.5); }
