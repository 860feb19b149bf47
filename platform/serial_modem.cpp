// SPDX-License-Identifier: GPL-3.0-or-later
// A serial device's modem lines: setting DTR, RTS and break, reading the lines, and the thread
// that watches them for changes.
#include "platform/comm_device.h"

namespace platform {

namespace {

void InstallWakeSignal() {
  static std::once_flag once;
  std::call_once(once, [] {
    struct sigaction action {};
    action.sa_handler = [](int) {};
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: the ioctl must return EINTR
    sigaction(WakeSignal(), &action, nullptr);
  });
}

// What a device without modem lines reports in tests (TIOCM_* bits; -1: none, as it is).
std::atomic<int> gAbsentLinesForTesting{-1};

}  // namespace

BOOL CommDevice::Escape(DWORD function) {
  std::lock_guard lock(mutex_);
  if (!Usable()) return FALSE;
  int bits = 0;
  int result = 0;
  switch (function) {
    case SETDTR:
      bits = TIOCM_DTR;
      result = ioctl(fd_, TIOCMBIS, &bits);
      break;
    case CLRDTR:
      bits = TIOCM_DTR;
      result = ioctl(fd_, TIOCMBIC, &bits);
      break;
    case SETRTS:
      bits = TIOCM_RTS;
      result = ioctl(fd_, TIOCMBIS, &bits);
      break;
    case CLRRTS:
      bits = TIOCM_RTS;
      result = ioctl(fd_, TIOCMBIC, &bits);
      break;
    case SETBREAK:
      result = ioctl(fd_, TIOCSBRK);
      break;
    case CLRBREAK:
      result = ioctl(fd_, TIOCCBRK);
      break;
    case SETXON:
      result = tcflow(fd_, TCOON);
      break;
    case SETXOFF:
      result = tcflow(fd_, TCOOFF);
      break;
    case RESETDEV:
      return TRUE;  // no such thing for a serial line here
    default:
      return Fail(EINVAL);
  }
  if (result != 0 && !IsNoLinesError(errno)) return Fail(static_cast<DWORD>(errno));
  return TRUE;
}

BOOL CommDevice::ModemStatus(DWORD* status) {
  std::lock_guard lock(mutex_);
  if (!Usable()) return FALSE;
  int lines = 0;
  if (ioctl(fd_, TIOCMGET, &lines) != 0) {
    if (!IsNoLinesError(errno)) return Fail(static_cast<DWORD>(errno));
    lines = std::max(0, gAbsentLinesForTesting.load());  // no modem lines at all
  }
  *status = ((lines & TIOCM_CTS) ? MS_CTS_ON : 0) | ((lines & TIOCM_DSR) ? MS_DSR_ON : 0) |
            ((lines & TIOCM_RNG) ? MS_RING_ON : 0) | ((lines & TIOCM_CD) ? MS_RLSD_ON : 0);
  return TRUE;
}

void CommDevice::StartModemThreadIfNeeded() {
  if (!(eventMask_ & kModemEvents) || !modemSupported_ || modemThread_.joinable()) return;
  InstallWakeSignal();
  modemThread_ = std::thread([this] { ModemLoop(); });
}

void CommDevice::ModemLoop() {
  int last = 0;
  ioctl(fd_, TIOCMGET, &last);
  while (!modemStop_) {
    if (ioctl(fd_, TIOCMIWAIT, TIOCM_CTS | TIOCM_DSR | TIOCM_RNG | TIOCM_CD) != 0) {
      if (errno == EINTR) continue;
      break;  // the driver refuses the wait, or the device went away: no retry
    }
    int now = 0;
    if (ioctl(fd_, TIOCMGET, &now) != 0) break;
    const int changed = now ^ last;
    last = now;
    std::lock_guard lock(mutex_);
    if (changed & TIOCM_CTS) history_ |= EV_CTS & eventMask_;
    if (changed & TIOCM_DSR) history_ |= EV_DSR & eventMask_;
    if (changed & TIOCM_CD) history_ |= EV_RLSD & eventMask_;
    // The ring indicator counts on its trailing edge, as the system reports it.
    if ((changed & TIOCM_RNG) && !(now & TIOCM_RNG)) history_ |= EV_RING & eventMask_;
    CompleteWait();
  }
  std::lock_guard lock(modemMutex_);
  modemDone_ = true;
  modemEnded_.notify_all();
}

BOOL EscapeCommFunction(HANDLE h, DWORD function) {
  const auto d = Device(h);
  return d ? d->Escape(function) : FALSE;
}

void SetAbsentModemLinesForTesting(int lines) { gAbsentLinesForTesting.store(lines); }

BOOL GetCommModemStatus(HANDLE h, DWORD* modemStatus) {
  const auto d = Device(h);
  return d ? d->ModemStatus(modemStatus) : FALSE;
}

}  // namespace platform
