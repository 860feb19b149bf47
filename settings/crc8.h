// SPDX-License-Identifier: GPL-3.0-or-later
// CRC-8 of the 1-Wire bus (reflected polynomial 0x8C, initial 0, no final inversion) that guards settings
// files.
#pragma once

#include <array>
#include <cstdint>
#include <span>

constexpr std::array<std::uint8_t, 256> MakeCrc8Table() {
  std::array<std::uint8_t, 256> table{};
  for (unsigned n = 0; n < 256; ++n) {
    unsigned crc = n;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1U) ? (crc >> 1) ^ 0x8CU : crc >> 1;
    table[n] = static_cast<std::uint8_t>(crc);
  }
  return table;
}

inline constexpr std::array<std::uint8_t, 256> Crc8Table = MakeCrc8Table();

// Continues crc over data; start with 0. Over data followed by its own CRC the result is 0.
constexpr std::uint8_t Crc8Update(std::uint8_t crc, std::span<const std::uint8_t> data) {
  for (const std::uint8_t byte : data) crc = Crc8Table[crc ^ byte];
  return crc;
}
