// SPDX-License-Identifier: GPL-3.0-or-later
// Waiting for a port that is not there yet (an adapter still to be plugged) until it can be opened.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace platform {

enum class PortWait { Ready, TimedOut, Stopped };

// Tries the port at once and again whenever its folder changes (Linux: inotify) or at the latest
// every half second, until it opens, timeoutMs passes or stop() holds. lastError: the system's
// code of the last refusal (not there, no permission, busy), for saying why.
PortWait WaitForPort(const std::string& name, int timeoutMs, const std::function<bool()>& stop,
                     std::uint32_t* lastError = nullptr);

}  // namespace platform
