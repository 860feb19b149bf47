// SPDX-License-Identifier: GPL-3.0-or-later
// Text-to-number conversion for every numeric field the user types, independent of the process locale.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

// Reads the decimal number at the start of the first maxChars bytes of text: leading blanks are
// skipped, then an optional sign, digits and at most one point. Conversion stops at the first
// character that cannot continue the number, so "12,5" reads 12. No exponent is accepted ("1e3"
// reads 1): the fields are shown without one, and an exponent could push a short text past the
// range of a float. "inf", "nan" and "0x1A" read 0, and so does a text without digits or a number
// too long to represent. The result is always finite.
double TextToNumber(std::string_view text, std::size_t maxChars);

// Floor of a converted value taken in single precision, as integer fields store it.
std::int64_t FloorAsSingle(double value);

// Strict readings of a whole text, for the command lines' options: nothing but the number's own
// characters, no blanks, no locale, or nothing at all.
// Decimal digits only, at most max.
std::optional<std::uint64_t> WholeNumberText(std::string_view text, std::uint64_t max);
// Exactly four hex digits, as addresses are written ("01C0").
std::optional<std::uint16_t> HexWordText(std::string_view text);
// A decimal number with a point, an optional sign and an optional exponent, finite.
std::optional<double> DecimalText(std::string_view text);
