// SPDX-License-Identifier: GPL-3.0-or-later
// How long a test waits for what must happen. A wait ends as soon as it has happened, so only a
// failing test pays the whole of it; the margin is for a busy machine (sanitizers, a build beside).
#pragma once

#include <chrono>

namespace testing_support {

inline constexpr int kPatienceMs = 20000;
inline constexpr std::chrono::milliseconds kPatience{kPatienceMs};

}  // namespace testing_support
