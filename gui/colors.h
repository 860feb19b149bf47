// SPDX-License-Identifier: GPL-3.0-or-later
// Colours given as 0x00BBGGRR (blue byte highest), as the program states them, turned into Qt colours.
#pragma once

#include <QColor>
#include <cstdint>

// Fields the program marks as not valid (the calculator's failed checks, a value too long for
// its mask), and their ordinary background.
inline constexpr std::uint32_t kInvalidColor = 0xC1C1FF;  // light red
inline constexpr std::uint32_t kValidColor = 0xFFFFFF;

inline QColor ColorFromBgr(std::uint32_t bgr) {
  return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                static_cast<int>((bgr >> 16) & 0xFF));
}
