// SPDX-License-Identifier: GPL-3.0-or-later
// Internal: line rates outside the termios Bxxx table, through the termios2 interface.
#pragma once

namespace platform::detail {

// Sets both directions to rate bit/s; false with errno set when the driver refuses.
bool SetArbitraryRate(int fd, unsigned rate);
// The output rate the driver reports, whatever way it was set.
bool GetLineRate(int fd, unsigned* rate);

}  // namespace platform::detail
