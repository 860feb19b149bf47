#include "settings/field_rules.h"

#include "settings/c_format.h"
#include "settings/text_number.h"

namespace {

template <class T>
bool TakeInRange(T& field, std::int64_t value, std::int64_t limit) {
  // The masks admit no sign, but vexa_cli texts may carry one: a negative value is out of range
  // rather than wrapped round into the unsigned field.
  if (value < 0 || value > limit) return false;
  field = static_cast<T>(value);
  return true;
}

template <class T>
bool TakeCountOf(T& field, const FieldEntry& entry, std::size_t chars, std::int64_t limit) {
  const std::int64_t value = entry ? FloorAsSingle(TextToNumber(*entry, chars)) : std::int64_t{field};
  return TakeInRange(field, value, limit);
}

}  // namespace

void TakeFloat(float& field, const FieldEntry& entry, std::size_t chars) {
  if (entry) field = static_cast<float>(TextToNumber(*entry, chars));
}

bool TakeCount(std::uint8_t& field, const FieldEntry& entry, std::size_t chars, std::int64_t limit) {
  return TakeCountOf(field, entry, chars, limit);
}

bool TakeCount(std::uint16_t& field, const FieldEntry& entry, std::size_t chars, std::int64_t limit) {
  return TakeCountOf(field, entry, chars, limit);
}

bool TakeHalfSecondCode(std::uint8_t& field, const FieldEntry& entry, std::size_t chars, std::int64_t limit) {
  // Compared in single precision: 10.3 is 10.30000019 there and gives code 19.
  const std::int64_t code =
      entry ? FloorAsSingle(2.0 * static_cast<float>(TextToNumber(*entry, chars))) - 1 : std::int64_t{field};
  return TakeInRange(field, code, limit);
}

std::string HalfSecondText(std::uint8_t code) { return CFormat("%4.1f", (code + 1) * 0.5); }
