// SPDX-License-Identifier: GPL-3.0-or-later
// Local calendar time of a wall-clock second, on either system.
#pragma once

#include <cstdint>
#include <ctime>

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
