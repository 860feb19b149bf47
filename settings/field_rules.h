// How a settings dialog (and vexa_cli) takes a typed text into a field of the record: the number of
// characters read, the conversion, and the limits. A field the user left as the dialog showed it
// comes as an empty entry and keeps the record's value exactly, since the shown text may hold fewer
// digits than the field.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

using FieldEntry = std::optional<std::string>;

// Stores the number read from the first chars characters, in single precision.
void TakeFloat(float& field, const FieldEntry& entry, std::size_t chars);

// Stores floor(number) when it lies in 0..limit; an empty entry checks the present value. False when
// the value is out of range (the field is then unchanged).
bool TakeCount(std::uint8_t& field, const FieldEntry& entry, std::size_t chars, std::int64_t limit);
bool TakeCount(std::uint16_t& field, const FieldEntry& entry, std::size_t chars, std::int64_t limit);

// A duration in half seconds stored as a code: code = floor(2 x seconds) - 1, kept when 0..limit.
bool TakeHalfSecondCode(std::uint8_t& field, const FieldEntry& entry, std::size_t chars, std::int64_t limit);

// The seconds a half-second code stands for, as the dialogs show them ("%4.1f").
std::string HalfSecondText(std::uint8_t code);
