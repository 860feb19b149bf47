// SPDX-License-Identifier: GPL-3.0-or-later
// A serial device behind a handle of the serial interface: its state, its pending operations and
// the threads that complete them. Shared by the files that implement the interface's calls.
#pragma once

#include "platform/serial.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <pthread.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <deque>
#include <fstream>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/kernel.h"
#include "platform/kernel_object.h"
#include "platform/line_rate.h"

namespace platform {

using detail::CompleteOverlapped;
using detail::Fail;

using Clock = std::chrono::steady_clock;

inline constexpr DWORD kModemEvents = EV_CTS | EV_DSR | EV_RING | EV_RLSD;

// Modem-line waits block in an ioctl that closing the descriptor does not end; this signal does.
inline int WakeSignal() { return SIGRTMIN + 3; }

inline bool IsNoLinesError(int error) { return error == ENOTTY || error == EINVAL; }

class CommDevice : public detail::KernelObject,
                   public detail::IoSource,
                   public std::enable_shared_from_this<CommDevice> {
 public:
  CommDevice(int fd, bool overlapped) : fd_(fd), overlapped_(overlapped) {}
  ~CommDevice() override {
    Close();
    if (waitEpollFd_ >= 0) ::close(waitEpollFd_);
  }

  bool Start();
  void Close() override;

  bool overlapped() const { return overlapped_; }

  void WaitPoll(int* fd, short* events) override;
  void ServiceFromWaiter(int fd, short revents) override;
  void BeginWait() override;
  void EndWait(int fd) override;

  BOOL Setup(DWORD inQueue, DWORD outQueue);
  BOOL GetState(DCB* dcb);
  BOOL SetState(const DCB& dcb);
  BOOL GetTimeouts(COMMTIMEOUTS* timeouts);
  BOOL SetTimeouts(const COMMTIMEOUTS& timeouts);
  BOOL GetMask(DWORD* mask);
  BOOL SetMask(DWORD mask);
  BOOL WaitEvent(DWORD* mask, OVERLAPPED* ov);
  BOOL Read(void* buffer, DWORD count, DWORD* read, OVERLAPPED* ov);
  BOOL Write(const void* buffer, DWORD count, DWORD* written, OVERLAPPED* ov);
  BOOL Cancel(OVERLAPPED* ov);
  BOOL ClearError(DWORD* errors, COMSTAT* status);
  BOOL Purge(DWORD flags);
  BOOL Escape(DWORD function);
  BOOL ModemStatus(DWORD* status);
  BOOL Properties(COMMPROP* properties);

 private:
  struct PendingWait {
    DWORD* mask;
    OVERLAPPED* ov;
  };
  struct PendingWrite {
    const std::uint8_t* data;
    DWORD size;
    DWORD done;
    OVERLAPPED* ov;
  };

  // All private members below run under mutex_.
  BOOL Usable() const;
  void MarkGone(int error);
  void CancelAll(DWORD status);
  void Service();
  void CheckInput();
  void CheckErrorCounters();
  void PumpWrites();
  void CheckTxEmpty();
  void CompleteWait();
  void Wake() const;
  void Pend(OVERLAPPED* ov);
  void Finish(OVERLAPPED* ov, DWORD status, DWORD bytes);
  void StartModemThreadIfNeeded();
  void UpdateWatch();
  void ReadInitialState();

  void IoLoop();
  void ModemLoop();

  int fd_;
  const bool overlapped_;
  int epollFd_ = -1;
  int wakeFd_ = -1;
  // A second watch of the same descriptor for threads waiting on this device's events: each epoll
  // instance gets its own copy of every edge. Kept open until destruction, so a waiter that still
  // holds it never polls a reused descriptor number.
  int waitEpollFd_ = -1;

  std::mutex mutex_;
  bool closed_ = false;
  bool gone_ = false;
  int goneError_ = 0;
  DCB dcb_{};
  bool rs485_ = false;  // RS-485 mode switched on for RTS toggle
  COMMTIMEOUTS timeouts_{};
  DWORD inQueue_ = 4096;
  DWORD outQueue_ = 2048;
  DWORD eventMask_ = 0;
  DWORD history_ = 0;
  DWORD lineErrors_ = 0;
  DWORD expectedInput_ = 0;  // bytes queued as of the last received-byte check, less those read
  bool above80_ = false;
  std::optional<PendingWait> wait_;
  std::deque<PendingWrite> writes_;
  bool txEmptyPending_ = false;
  std::optional<Clock::time_point> txEmptyDue_;
  bool countersSupported_ = true;
  serial_icounter_struct counters_{};
  int modemLines_ = 0;
  bool modemSupported_ = true;

  // The I/O thread watches the terminal only while an operation pends that no thread waits for: a
  // waiting thread services the device itself, and received bytes with nothing pending are found by
  // the next wait's own look at the queue. A thread woken for nothing costs more than it saves here.
  int waiters_ = 0;
  std::uint32_t watching_ = 0;
  // Waiters polling the terminal itself: a poll in progress keeps the file, and so its flock, alive
  // after close(), so Close lets them go before it closes the descriptor.
  int directPollers_ = 0;
  std::condition_variable directPollersGone_;

  std::thread ioThread_;
  std::thread modemThread_;
  std::atomic<bool> modemStop_{false};
  std::mutex modemMutex_;
  std::condition_variable modemEnded_;
  bool modemDone_ = false;
};

std::shared_ptr<CommDevice> Device(HANDLE handle);

// Runs an operation that may pend on a handle opened without FILE_FLAG_OVERLAPPED: wait for it here.
template <class Start>
BOOL RunSynchronously(HANDLE handle, DWORD* transferred, Start start) {
  OVERLAPPED ov{};
  ov.hEvent = CreateEvent(nullptr, TRUE, FALSE, nullptr);
  BOOL ok = start(&ov);
  if (!ok && GetLastError() == ERROR_IO_PENDING)
    ok = GetOverlappedResult(handle, &ov, transferred, TRUE);
  else if (ok && transferred != nullptr)
    *transferred = static_cast<DWORD>(ov.InternalHigh);
  const DWORD error = GetLastError();
  CloseHandle(ov.hEvent);
  SetLastError(error);
  return ok;
}

}  // namespace platform
