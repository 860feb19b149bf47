// SPDX-License-Identifier: GPL-3.0-or-later
// Reads and writes on a serial device, pending or done at once, and the I/O thread that completes
// them; line errors and purging.
#include "platform/comm_device.h"

namespace platform {

void CommDevice::Pend(OVERLAPPED* ov) {
  std::atomic_ref<ULONG_PTR>(ov->Internal).store(STATUS_PENDING, std::memory_order_release);
  if (ov->hEvent != nullptr) {
    ResetEvent(ov->hEvent);
    detail::SetEventSource(ov->hEvent, shared_from_this());
  }
}

void CommDevice::Finish(OVERLAPPED* ov, DWORD status, DWORD bytes) {
  if (ov->hEvent != nullptr) detail::SetEventSource(ov->hEvent, nullptr);
  CompleteOverlapped(ov, status, bytes);
}

BOOL CommDevice::Usable() const {
  if (closed_) return Fail(EBADF);
  if (gone_) return Fail(static_cast<DWORD>(goneError_));
  return TRUE;
}

void CommDevice::MarkGone(int error) {
  if (gone_) return;
  gone_ = true;
  goneError_ = error;
  // A hung-up descriptor stays "ready"; without this the loops would spin.
  epoll_ctl(epollFd_, EPOLL_CTL_DEL, fd_, nullptr);
  epoll_ctl(waitEpollFd_, EPOLL_CTL_DEL, fd_, nullptr);
  CancelAll(static_cast<DWORD>(error));
}

void CommDevice::CancelAll(DWORD status) {
  if (wait_) {
    *wait_->mask = 0;
    Finish(wait_->ov, status, 0);
    wait_.reset();
  }
  for (const PendingWrite& w : writes_) Finish(w.ov, status, w.done);
  writes_.clear();
  txEmptyPending_ = false;
  txEmptyDue_.reset();
}

BOOL CommDevice::Read(void* buffer, DWORD count, DWORD* read, OVERLAPPED* ov) {
  std::lock_guard lock(mutex_);
  if (!Usable()) return FALSE;
  DWORD got = 0;
  if (count > 0) {
    ssize_t n;
    do n = ::read(fd_, buffer, count);
    while (n < 0 && errno == EINTR);
    if (n > 0) {
      got = static_cast<DWORD>(n);
      expectedInput_ -= std::min(expectedInput_, got);
      if (dcb_.Flags & DCB_NULL) {  // null bytes are dropped as they are read
        auto* bytes = static_cast<std::uint8_t*>(buffer);
        got = static_cast<DWORD>(std::remove(bytes, bytes + got, std::uint8_t{0}) - bytes);
      }
    } else if (n == 0 || errno == EIO) {
      MarkGone(EIO);
      return Fail(EIO);
    } else if (errno != EAGAIN) {
      return Fail(static_cast<DWORD>(errno));
    }
  }
  if (read != nullptr) *read = got;
  if (ov != nullptr) CompleteOverlapped(ov, 0, got);
  return TRUE;
}

BOOL CommDevice::Write(const void* buffer, DWORD count, DWORD* written, OVERLAPPED* ov) {
  std::lock_guard lock(mutex_);
  if (!Usable()) return FALSE;
  if (ov == nullptr) return Fail(EINVAL);
  if (written != nullptr) *written = 0;
  Pend(ov);
  writes_.push_back(PendingWrite{static_cast<const std::uint8_t*>(buffer), count, 0, ov});
  PumpWrites();
  if (!Usable()) return FALSE;
  const bool pending =
      std::any_of(writes_.begin(), writes_.end(), [ov](const auto& w) { return w.ov == ov; });
  if (pending) {
    UpdateWatch();
    return Fail(ERROR_IO_PENDING);
  }
  CheckTxEmpty();
  CompleteWait();
  if (written != nullptr) *written = static_cast<DWORD>(ov->InternalHigh);
  return TRUE;
}

BOOL CommDevice::Cancel(OVERLAPPED* ov) {
  std::lock_guard lock(mutex_);
  if (closed_) return Fail(EBADF);
  bool found = false;
  if (wait_ && (ov == nullptr || wait_->ov == ov)) {
    *wait_->mask = 0;
    Finish(wait_->ov, ECANCELED, 0);
    wait_.reset();
    found = true;
  }
  for (auto it = writes_.begin(); it != writes_.end();) {
    if (ov == nullptr || it->ov == ov) {
      Finish(it->ov, ECANCELED, it->done);
      it = writes_.erase(it);
      found = true;
    } else {
      ++it;
    }
  }
  return found ? TRUE : Fail(ESRCH);
}

BOOL CommDevice::ClearError(DWORD* errors, COMSTAT* status) {
  std::lock_guard lock(mutex_);
  if (!Usable()) return FALSE;
  CheckErrorCounters();
  if (errors != nullptr) *errors = lineErrors_;
  lineErrors_ = 0;
  if (status != nullptr) {
    int in = 0, out = 0;
    if (ioctl(fd_, FIONREAD, &in) != 0) in = 0;
    if (ioctl(fd_, TIOCOUTQ, &out) != 0) out = 0;
    DWORD pending = 0;
    for (const PendingWrite& w : writes_) pending += w.size - w.done;
    const DWORD queued = static_cast<DWORD>(out) + pending;
    // Output waits for CTS: hardware flow control on, CTS low, something to send.
    DWORD flags = 0;
    int lines = 0;
    const bool ctsFlow =
        (dcb_.Flags & DCB_OUTX_CTS_FLOW) || (dcb_.Flags & DCB_RTS_CONTROL_MASK) == DCB_RTS_CONTROL_HANDSHAKE;
    if (ctsFlow && queued > 0 && ioctl(fd_, TIOCMGET, &lines) == 0 && !(lines & TIOCM_CTS))
      flags |= COMSTAT_CTS_HOLD;
    *status = COMSTAT{flags, static_cast<DWORD>(in), queued};
  }
  return TRUE;
}

BOOL CommDevice::Purge(DWORD flags) {
  std::lock_guard lock(mutex_);
  if (!Usable()) return FALSE;
  if (flags & ~(PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR)) return Fail(EINVAL);
  if (flags & PURGE_TXABORT) {
    for (const PendingWrite& w : writes_) Finish(w.ov, ECANCELED, w.done);
    writes_.clear();
  }
  // Reads never pend here, so there is nothing for PURGE_RXABORT to abort.
  if ((flags & PURGE_TXCLEAR) && tcflush(fd_, TCOFLUSH) != 0) return Fail(static_cast<DWORD>(errno));
  if (flags & PURGE_RXCLEAR) {
    if (tcflush(fd_, TCIFLUSH) != 0) return Fail(static_cast<DWORD>(errno));
    expectedInput_ = 0;
    above80_ = false;
  }
  return TRUE;
}

void CommDevice::Service() {
  if (gone_ || closed_) return;
  CheckInput();
  CheckErrorCounters();
  PumpWrites();
  CheckTxEmpty();
  CompleteWait();
  UpdateWatch();
}

void CommDevice::CheckInput() {
  int level = 0;
  if (ioctl(fd_, FIONREAD, &level) != 0) return;
  const auto queued = static_cast<DWORD>(level);
  if (queued > expectedInput_) history_ |= EV_RXCHAR & eventMask_;
  expectedInput_ = queued;
  const bool above = inQueue_ > 0 && queued * 10 >= inQueue_ * 8;
  if (above && !above80_) history_ |= EV_RX80FULL & eventMask_;
  above80_ = above;
}

void CommDevice::CheckErrorCounters() {
  if (!countersSupported_) return;
  serial_icounter_struct now{};
  if (ioctl(fd_, TIOCGICOUNT, &now) != 0) return;
  DWORD found = 0;
  if (now.frame != counters_.frame) found |= CE_FRAME;
  if (now.overrun != counters_.overrun) found |= CE_OVERRUN;
  if (now.parity != counters_.parity) found |= CE_RXPARITY;
  if (now.buf_overrun != counters_.buf_overrun) found |= CE_RXOVER;
  const bool brk = now.brk != counters_.brk;
  if (brk) found |= CE_BREAK;
  counters_ = now;
  lineErrors_ |= found;
  if (found & ~CE_BREAK) history_ |= EV_ERR & eventMask_;
  if (brk) history_ |= EV_BREAK & eventMask_;
}

void CommDevice::PumpWrites() {
  bool finished = false;
  while (!writes_.empty() && !gone_) {
    PendingWrite& w = writes_.front();
    if (w.done < w.size) {
      const ssize_t n = ::write(fd_, w.data + w.done, w.size - w.done);
      if (n < 0) {
        if (errno == EINTR) continue;
        if (errno == EAGAIN) break;  // an EPOLLOUT edge comes when room frees up
        MarkGone(errno == EIO ? EIO : errno);
        return;
      }
      w.done += static_cast<DWORD>(n);
      if (w.done < w.size) continue;
    }
    Finish(w.ov, 0, w.size);
    writes_.pop_front();
    finished = true;
  }
  if (finished && writes_.empty()) txEmptyPending_ = true;
}

void CommDevice::CheckTxEmpty() {
  if (!txEmptyPending_ || !writes_.empty()) return;
  int out = 0;
  if (ioctl(fd_, TIOCOUTQ, &out) != 0) out = 0;
  if (out <= 0) {
    history_ |= EV_TXEMPTY & eventMask_;
    txEmptyPending_ = false;
    txEmptyDue_.reset();
    return;
  }
  // Look again about when the driver should have sent what it still holds.
  const auto rate = std::max<DWORD>(dcb_.BaudRate, 50);
  const auto ms = std::max<long long>(1, 11LL * out * 1000 / rate);
  const bool wasDue = txEmptyDue_.has_value();
  txEmptyDue_ = Clock::now() + std::chrono::milliseconds(ms);
  if (!wasDue) Wake();  // the I/O thread's sleep must learn of the new deadline
}

void CommDevice::IoLoop() {
  epoll_event events[4];
  int timeout = -1;
  for (;;) {
    const int n = epoll_wait(epollFd_, events, 4, timeout);
    std::lock_guard lock(mutex_);
    if (closed_) break;
    if (n < 0 && errno != EINTR) {
      MarkGone(errno);
    } else {
      bool hungUp = false;
      for (int i = 0; i < n; ++i) {
        if (events[i].data.fd == wakeFd_) {
          std::uint64_t drained;
          [[maybe_unused]] const auto r = ::read(wakeFd_, &drained, sizeof drained);
        } else if (events[i].events & (EPOLLHUP | EPOLLERR)) {
          hungUp = true;
        }
      }
      if (txEmptyDue_ && Clock::now() >= *txEmptyDue_) txEmptyDue_.reset();
      if (hungUp) MarkGone(EIO);
      Service();
    }
    timeout = -1;
    if (txEmptyDue_) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(*txEmptyDue_ - Clock::now()).count();
      timeout = static_cast<int>(std::max<long long>(0, left));
    }
  }
}

BOOL ReadFile(HANDLE h, void* buffer, DWORD count, DWORD* read, OVERLAPPED* ov) {
  const auto d = Device(h);
  return d ? d->Read(buffer, count, read, ov) : FALSE;
}

BOOL WriteFile(HANDLE h, const void* buffer, DWORD count, DWORD* written, OVERLAPPED* ov) {
  const auto d = Device(h);
  if (!d) return FALSE;
  if (ov == nullptr && !d->overlapped())
    return RunSynchronously(h, written,
                            [&](OVERLAPPED* own) { return d->Write(buffer, count, nullptr, own); });
  return d->Write(buffer, count, written, ov);
}

BOOL GetOverlappedResult(HANDLE, OVERLAPPED* ov, DWORD* transferred, BOOL wait) {
  if (ov == nullptr) return Fail(EINVAL);
  if (wait != FALSE && detail::OverlappedStatus(ov) == STATUS_PENDING) {
    if (ov->hEvent == nullptr) return Fail(EINVAL);
    WaitForSingleObject(ov->hEvent, INFINITE);
  }
  const ULONG_PTR status = detail::OverlappedStatus(ov);
  if (status == STATUS_PENDING) return Fail(ERROR_IO_INCOMPLETE);
  if (transferred != nullptr) *transferred = static_cast<DWORD>(ov->InternalHigh);
  return status == 0 ? TRUE : Fail(static_cast<DWORD>(status));
}

BOOL CancelIoEx(HANDLE h, OVERLAPPED* ov) {
  const auto d = Device(h);
  return d ? d->Cancel(ov) : FALSE;
}

BOOL ClearCommError(HANDLE h, DWORD* errors, COMSTAT* status) {
  const auto d = Device(h);
  return d ? d->ClearError(errors, status) : FALSE;
}

BOOL PurgeComm(HANDLE h, DWORD flags) {
  const auto d = Device(h);
  return d ? d->Purge(flags) : FALSE;
}

}  // namespace platform
