// SPDX-License-Identifier: GPL-3.0-or-later
// The wall clock as the live values' history keeps it, and local calendar time, on either system.
#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>

// Milliseconds since the epoch, now.
inline std::int64_t WallClockMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

inline std::tm LocalTime(std::int64_t secondsSinceEpoch) {
  const std::time_t t = static_cast<std::time_t>(secondsSinceEpoch);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &t);
#else
  localtime_r(&t, &local);
#endif
  return local;
}
