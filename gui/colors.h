// Colours given as 0x00BBGGRR (blue byte highest), as the program states them, turned into Qt colours.
#pragma once

#include <QColor>
#include <cstdint>

inline QColor ColorFromBgr(std::uint32_t bgr) {
  return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                static_cast<int>((bgr >> 16) & 0xFF));
}
