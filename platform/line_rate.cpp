// SPDX-License-Identifier: GPL-3.0-or-later
// Kept apart: the kernel's termios2 header cannot share a unit with <termios.h>.
#include "platform/line_rate.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace platform::detail {

bool SetArbitraryRate(int fd, unsigned rate) {
  struct termios2 tio {};
  if (ioctl(fd, TCGETS2, &tio) != 0) return false;
  tio.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
  tio.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
  tio.c_ispeed = rate;
  tio.c_ospeed = rate;
  return ioctl(fd, TCSETS2, &tio) == 0;
}

bool GetLineRate(int fd, unsigned* rate) {
  struct termios2 tio {};
  if (ioctl(fd, TCGETS2, &tio) != 0) return false;
  *rate = tio.c_ospeed;
  return true;
}

}  // namespace platform::detail
