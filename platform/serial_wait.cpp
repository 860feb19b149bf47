// SPDX-License-Identifier: GPL-3.0-or-later
// Waiting for a serial device's events: the event mask, the pending wait, and the threads that
// service the device while they wait.
#include "platform/comm_device.h"

namespace platform {

void CommDevice::Wake() const {
  if (wakeFd_ < 0) return;
  const std::uint64_t one = 1;
  [[maybe_unused]] const auto n = ::write(wakeFd_, &one, sizeof one);
}

// With no unread input, "readable" on the terminal itself means new bytes, and with writes pending
// the output has filled the buffer, so "writable" means room: plain level-triggered poll() on the
// descriptor then says exactly what the edges would, one wake-up and one system call cheaper.
// Otherwise the waiter watches its own edge-triggered copy.
void CommDevice::WaitPoll(int* fd, short* events) {
  std::lock_guard lock(mutex_);
  if (closed_ || gone_ || expectedInput_ > 0 || txEmptyPending_) {
    *fd = waitEpollFd_;
    *events = POLLIN;
    return;
  }
  *fd = fd_;
  *events = static_cast<short>(POLLIN | (writes_.empty() ? 0 : POLLOUT));
  ++directPollers_;
}

void CommDevice::BeginWait() {
  std::lock_guard lock(mutex_);
  ++waiters_;
  UpdateWatch();
}

void CommDevice::EndWait(int fd) {
  std::lock_guard lock(mutex_);
  --waiters_;
  if (fd != waitEpollFd_ && --directPollers_ == 0) directPollersGone_.notify_all();
  UpdateWatch();
}

void CommDevice::UpdateWatch() {
  if (closed_) return;
  std::uint32_t want = 0;
  if (!closed_ && !gone_ && waiters_ == 0) {
    if (wait_) want |= EPOLLIN;
    if (!writes_.empty()) want |= EPOLLOUT;
  }
  if (want == watching_) return;
  // Re-arming looks at the present state, so what came while nobody watched is not missed.
  epoll_event device{};
  device.events = want | EPOLLET;
  device.data.fd = fd_;
  epoll_ctl(epollFd_, EPOLL_CTL_MOD, fd_, &device);
  watching_ = want;
}

void CommDevice::ServiceFromWaiter(int fd, short revents) {
  bool hungUp = (revents & (POLLHUP | POLLERR)) != 0;
  if (fd == waitEpollFd_) {
    epoll_event events[4];
    const int n = epoll_wait(waitEpollFd_, events, 4, 0);
    for (int i = 0; i < n; ++i) hungUp |= (events[i].events & (EPOLLHUP | EPOLLERR)) != 0;
  }
  std::lock_guard lock(mutex_);
  if (closed_ || gone_) return;
  if (hungUp) {
    MarkGone(EIO);
    return;
  }
  Service();
}

BOOL CommDevice::GetMask(DWORD* mask) {
  std::lock_guard lock(mutex_);
  if (!Usable()) return FALSE;
  *mask = eventMask_;
  return TRUE;
}

BOOL CommDevice::SetMask(DWORD mask) {
  std::lock_guard lock(mutex_);
  if (!Usable()) return FALSE;
  eventMask_ = mask;
  history_ &= mask;
  // A new mask ends a pending wait with no events, as the system does.
  if (wait_) {
    *wait_->mask = 0;
    Finish(wait_->ov, 0, 0);
    wait_.reset();
  }
  StartModemThreadIfNeeded();
  return TRUE;
}

BOOL CommDevice::WaitEvent(DWORD* mask, OVERLAPPED* ov) {
  std::lock_guard lock(mutex_);
  if (!Usable()) return FALSE;
  if (wait_ || eventMask_ == 0 || ov == nullptr || mask == nullptr) return Fail(EINVAL);
  Service();
  if (!Usable()) return FALSE;
  if (history_ & eventMask_) {
    *mask = history_ & eventMask_;
    history_ = 0;
    CompleteOverlapped(ov, 0, 0);
    return TRUE;
  }
  Pend(ov);
  wait_ = PendingWait{mask, ov};
  UpdateWatch();
  return Fail(ERROR_IO_PENDING);
}

void CommDevice::CompleteWait() {
  if (!wait_ || !(history_ & eventMask_)) return;
  *wait_->mask = history_ & eventMask_;
  history_ = 0;
  Finish(wait_->ov, 0, 0);
  wait_.reset();
}

BOOL GetCommMask(HANDLE h, DWORD* mask) {
  const auto d = Device(h);
  return d ? d->GetMask(mask) : FALSE;
}

BOOL SetCommMask(HANDLE h, DWORD mask) {
  const auto d = Device(h);
  return d ? d->SetMask(mask) : FALSE;
}

BOOL WaitCommEvent(HANDLE h, DWORD* eventMask, OVERLAPPED* ov) {
  const auto d = Device(h);
  if (!d) return FALSE;
  if (ov == nullptr && !d->overlapped())
    return RunSynchronously(h, nullptr, [&](OVERLAPPED* own) { return d->WaitEvent(eventMask, own); });
  return d->WaitEvent(eventMask, ov);
}

}  // namespace platform
