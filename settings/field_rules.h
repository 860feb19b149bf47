// SPDX-License-Identifier: GPL-3.0-or-later
// How a settings dialog (and vexa_cli) takes a typed text into a field of the record: the number of
// characters read, the conversion, and the limits. A field the user left as the dialog showed it
// comes as an empty entry and keeps the record's value exactly, since the shown text may hold fewer
// digits than the field. The functions work on values: the record's fields are packed, so no
// reference to one may be formed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

using FieldEntry = std::optional<std::string>;

// The number read from the first chars characters, in single precision; current when untouched.
float FloatEntry(float current, const FieldEntry& entry, std::size_t chars);

// floor(number), or current when untouched; nothing when the value lies outside 0..limit.
std::optional<std::int64_t> CountEntry(std::int64_t current, const FieldEntry& entry, std::size_t chars,
                                       std::int64_t limit);

// A duration in half seconds as a code, floor(2 x seconds) - 1, or current when untouched; nothing
// when the code lies outside 0..limit.
std::optional<std::int64_t> HalfSecondEntry(std::int64_t current, const FieldEntry& entry, std::size_t chars,
                                            std::int64_t limit);

// The seconds a half-second code stands for, as the dialogs show them ("%4.1f").
std::string HalfSecondText(std::uint8_t code);
