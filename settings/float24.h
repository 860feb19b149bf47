// SPDX-License-Identifier: GPL-3.0-or-later
// Float24: the module's 3-byte float, an IEEE single without its lowest mantissa byte.
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <span>

// Drops the low byte (truncation); the other three go lowest first.
inline std::array<std::uint8_t, 3> EncodeFloat24(float value) {
  const auto bits = std::bit_cast<std::uint32_t>(value);
  return {static_cast<std::uint8_t>(bits >> 8), static_cast<std::uint8_t>(bits >> 16),
          static_cast<std::uint8_t>(bits >> 24)};
}

// Puts 0 back into the low byte.
inline float DecodeFloat24(std::span<const std::uint8_t, 3> wire) {
  const std::uint32_t bits =
      (std::uint32_t{wire[0]} << 8) | (std::uint32_t{wire[1]} << 16) | (std::uint32_t{wire[2]} << 24);
  return std::bit_cast<float>(bits);
}
