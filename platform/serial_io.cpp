// SPDX-License-Identifier: GPL-3.0-or-later
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

namespace {

using Clock = std::chrono::steady_clock;

constexpr DWORD kModemEvents = EV_CTS | EV_DSR | EV_RING | EV_RLSD;

struct StandardRate {
  DWORD rate;
  speed_t code;
};
constexpr StandardRate kStandardRates[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},         {150, B150},
    {200, B200},         {300, B300},         {600, B600},         {1200, B1200},       {1800, B1800},
    {2400, B2400},       {4800, B4800},       {9600, B9600},       {19200, B19200},     {38400, B38400},
    {57600, B57600},     {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000},
    {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
};

std::optional<speed_t> SpeedCode(DWORD rate) {
  for (const auto& r : kStandardRates)
    if (r.rate == rate) return r.code;
  return std::nullopt;
}

// Modem-line waits block in an ioctl that closing the descriptor does not end; this signal does.
int WakeSignal() { return SIGRTMIN + 3; }

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

bool IsNoLinesError(int error) { return error == ENOTTY || error == EINVAL; }

// What a device without modem lines reports in tests (TIOCM_* bits; -1: none, as it is).
std::atomic<int> gAbsentLinesForTesting{-1};

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

bool CommDevice::Start() {
  epollFd_ = epoll_create1(EPOLL_CLOEXEC);
  waitEpollFd_ = epoll_create1(EPOLL_CLOEXEC);
  wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (epollFd_ < 0 || waitEpollFd_ < 0 || wakeFd_ < 0) return false;
  epoll_event device{};
  device.events = EPOLLIN | EPOLLOUT | EPOLLET;
  device.data.fd = fd_;
  epoll_event hangUps{};
  hangUps.events = EPOLLET;
  hangUps.data.fd = fd_;
  epoll_event wake{};
  wake.events = EPOLLIN;
  wake.data.fd = wakeFd_;
  if (epoll_ctl(epollFd_, EPOLL_CTL_ADD, fd_, &hangUps) != 0) return false;
  if (epoll_ctl(epollFd_, EPOLL_CTL_ADD, wakeFd_, &wake) != 0) return false;
  if (epoll_ctl(waitEpollFd_, EPOLL_CTL_ADD, fd_, &device) != 0) return false;
  {
    std::lock_guard lock(mutex_);
    ReadInitialState();
    countersSupported_ = ioctl(fd_, TIOCGICOUNT, &counters_) == 0;
    modemSupported_ = ioctl(fd_, TIOCMGET, &modemLines_) == 0;
  }
  ioThread_ = std::thread([this] { IoLoop(); });
  return true;
}

void CommDevice::Close() {
  {
    std::unique_lock lock(mutex_);
    if (closed_) return;
    closed_ = true;
    CancelAll(ECANCELED);  // wakes every waiter of a pending operation
    directPollersGone_.wait_for(lock, std::chrono::seconds(2), [this] { return directPollers_ == 0; });
  }
  Wake();
  if (ioThread_.joinable()) ioThread_.join();
  if (modemThread_.joinable()) {
    modemStop_ = true;
    std::unique_lock lock(modemMutex_);
    // Repeat the signal: one sent before the thread enters its ioctl would be lost.
    while (!modemDone_) {
      pthread_kill(modemThread_.native_handle(), WakeSignal());
      modemEnded_.wait_for(lock, std::chrono::milliseconds(5));
    }
    lock.unlock();
    modemThread_.join();
  }
  // Waiters may still hold this object and look at the descriptors: change them under the lock.
  std::lock_guard lock(mutex_);
  if (epollFd_ >= 0) ::close(epollFd_);
  if (wakeFd_ >= 0) ::close(wakeFd_);
  if (fd_ >= 0) {
    if (rs485_) {  // the kernel keeps the mode for the next program to open the port
      serial_rs485 off{};
      ioctl(fd_, TIOCSRS485, &off);
    }
    ioctl(fd_, TIOCNXCL);  // the flag outlives this descriptor while others hold the terminal
    ::close(fd_);          // also releases the flock
  }
  epollFd_ = wakeFd_ = fd_ = -1;
}

void CommDevice::Wake() const {
  if (wakeFd_ < 0) return;
  const std::uint64_t one = 1;
  [[maybe_unused]] const auto n = ::write(wakeFd_, &one, sizeof one);
}

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

void CommDevice::ReadInitialState() {
  termios tio{};
  if (tcgetattr(fd_, &tio) != 0) return;
  dcb_.DCBlength = sizeof(DCB);
  unsigned rate = 0;
  if (detail::GetLineRate(fd_, &rate)) dcb_.BaudRate = rate;
  dcb_.Flags = DCB_BINARY;
  if (tio.c_iflag & INPCK) dcb_.Flags |= DCB_PARITY;
  if (tio.c_cflag & CRTSCTS) dcb_.Flags |= DCB_OUTX_CTS_FLOW | DCB_RTS_CONTROL_HANDSHAKE;
  if (tio.c_iflag & IXON) dcb_.Flags |= DCB_OUTX;
  if (tio.c_iflag & IXOFF) dcb_.Flags |= DCB_INX;
  switch (tio.c_cflag & CSIZE) {
    case CS5:
      dcb_.ByteSize = 5;
      break;
    case CS6:
      dcb_.ByteSize = 6;
      break;
    case CS7:
      dcb_.ByteSize = 7;
      break;
    default:
      dcb_.ByteSize = 8;
      break;
  }
  if (!(tio.c_cflag & PARENB)) {
    dcb_.Parity = NOPARITY;
  } else if (tio.c_cflag & CMSPAR) {
    dcb_.Parity = (tio.c_cflag & PARODD) ? MARKPARITY : SPACEPARITY;
  } else {
    dcb_.Parity = (tio.c_cflag & PARODD) ? ODDPARITY : EVENPARITY;
  }
  dcb_.StopBits = (tio.c_cflag & CSTOPB) ? TWOSTOPBITS : ONESTOPBIT;
  dcb_.XonChar = static_cast<char>(tio.c_cc[VSTART]);
  dcb_.XoffChar = static_cast<char>(tio.c_cc[VSTOP]);
}

BOOL CommDevice::Setup(DWORD inQueue, DWORD outQueue) {
  std::lock_guard lock(mutex_);
  if (!Usable()) return FALSE;
  // Linux sizes its tty buffers itself; the sizes serve the 80 % event and the properties record.
  inQueue_ = inQueue;
  outQueue_ = outQueue;
  return TRUE;
}

BOOL CommDevice::GetState(DCB* dcb) {
  std::lock_guard lock(mutex_);
  if (!Usable()) return FALSE;
  *dcb = dcb_;
  return TRUE;
}

BOOL CommDevice::SetState(const DCB& dcb) {
  std::lock_guard lock(mutex_);
  if (!Usable()) return FALSE;
  if (dcb.BaudRate == 0 || dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.Parity > SPACEPARITY ||
      (dcb.StopBits != ONESTOPBIT && dcb.StopBits != TWOSTOPBITS))
    return Fail(EINVAL);

  termios tio{};
  if (tcgetattr(fd_, &tio) != 0) return Fail(static_cast<DWORD>(errno));
  tio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON |
                                        IXOFF | IXANY | IMAXBEL | IUTF8 | INPCK | IGNPAR);
  tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | HUPCL);
  tio.c_cflag |= CREAD | CLOCAL;
  static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
  tio.c_cflag |= kSizes[dcb.ByteSize - 5];
  switch (dcb.Parity) {
    case ODDPARITY:
      tio.c_cflag |= PARENB | PARODD;
      break;
    case EVENPARITY:
      tio.c_cflag |= PARENB;
      break;
    case MARKPARITY:
      tio.c_cflag |= PARENB | CMSPAR | PARODD;
      break;
    case SPACEPARITY:
      tio.c_cflag |= PARENB | CMSPAR;
      break;
    default:
      break;
  }
  if (dcb.StopBits == TWOSTOPBITS) tio.c_cflag |= CSTOPB;
  if (dcb.Flags & DCB_PARITY) tio.c_iflag |= INPCK;
  if ((dcb.Flags & DCB_OUTX_CTS_FLOW) || (dcb.Flags & DCB_RTS_CONTROL_MASK) == DCB_RTS_CONTROL_HANDSHAKE)
    tio.c_cflag |= CRTSCTS;
  if (dcb.Flags & DCB_OUTX) tio.c_iflag |= IXON;
  if (dcb.Flags & DCB_INX) tio.c_iflag |= IXOFF;
  tio.c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
  tio.c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);
  // Reads are non-blocking; VMIN 1 makes an empty queue EAGAIN, so a read of 0 means hang-up.
  tio.c_cc[VMIN] = 1;
  tio.c_cc[VTIME] = 0;

  // RTS toggle is the kernel's RS-485 mode (RTS raised while sending); a driver without it refuses,
  // before anything of the record is applied.
  const bool toggle = (dcb.Flags & DCB_RTS_CONTROL_MASK) == DCB_RTS_CONTROL_TOGGLE;
  const bool wasRs485 = rs485_;
  if (toggle || rs485_) {
    serial_rs485 rs485{};
    if (toggle) rs485.flags = SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND;
    if (ioctl(fd_, TIOCSRS485, &rs485) != 0) return Fail(static_cast<DWORD>(errno));
    rs485_ = toggle;
  }

  const auto code = SpeedCode(dcb.BaudRate);
  if (code) {
    cfsetispeed(&tio, *code);
    cfsetospeed(&tio, *code);
  }
  // A step that fails after the RS-485 switch puts the mode back, so the device matches dcb_ again.
  const auto failAfterMode = [&](int error) {
    if (rs485_ != wasRs485) {
      serial_rs485 back{};
      if (wasRs485) back.flags = SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND;
      if (ioctl(fd_, TIOCSRS485, &back) == 0) rs485_ = wasRs485;
    }
    return Fail(static_cast<DWORD>(error));
  };
  if (tcsetattr(fd_, TCSANOW, &tio) != 0) return failAfterMode(errno);
  if (!code && !detail::SetArbitraryRate(fd_, dcb.BaudRate)) return failAfterMode(errno);

  // The DTR and RTS lines follow their control fields; devices without lines ignore them.
  int dtr = TIOCM_DTR, rts = TIOCM_RTS;
  const bool dtrOn = (dcb.Flags & DCB_DTR_CONTROL_MASK) != 0;
  const bool rtsOn = (dcb.Flags & DCB_RTS_CONTROL_MASK) != 0;
  if (ioctl(fd_, dtrOn ? TIOCMBIS : TIOCMBIC, &dtr) != 0 && !IsNoLinesError(errno))
    return failAfterMode(errno);
  if ((dcb.Flags & DCB_RTS_CONTROL_MASK) != DCB_RTS_CONTROL_HANDSHAKE && !toggle &&
      ioctl(fd_, rtsOn ? TIOCMBIS : TIOCMBIC, &rts) != 0 && !IsNoLinesError(errno))
    return failAfterMode(errno);

  dcb_ = dcb;
  dcb_.DCBlength = sizeof(DCB);
  return TRUE;
}

BOOL CommDevice::GetTimeouts(COMMTIMEOUTS* timeouts) {
  std::lock_guard lock(mutex_);
  if (!Usable()) return FALSE;
  *timeouts = timeouts_;
  return TRUE;
}

BOOL CommDevice::SetTimeouts(const COMMTIMEOUTS& timeouts) {
  std::lock_guard lock(mutex_);
  if (!Usable()) return FALSE;
  timeouts_ = timeouts;
  return TRUE;
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

BOOL CommDevice::Properties(COMMPROP* properties) {
  std::lock_guard lock(mutex_);
  if (!Usable()) return FALSE;
  COMMPROP p{};
  p.wPacketLength = sizeof(COMMPROP);
  p.wPacketVersion = 2;
  p.dwServiceMask = 0x1;     // serial communications
  p.dwMaxBaud = 0x10000000;  // any rate
  p.dwProvSubType = 0x1;     // RS-232
  p.dwProvCapabilities =
      0x2 | 0x8 | 0x10 | 0x20 | 0x80;  // RTS/CTS, parity check, Xon/Xoff, Xon chars, interval time-outs
  p.dwSettableParams = 0x1 | 0x2 | 0x4 | 0x8 | 0x10 | 0x20;
  p.dwSettableBaud = 0x10000000 | 0x3FFFF;
  p.wSettableData = 0x1 | 0x2 | 0x4 | 0x8;     // 5 to 8 data bits
  p.wSettableStopParity = 0x1 | 0x4 | 0x1F00;  // 1 and 2 stop bits, all parities
  p.dwCurrentTxQueue = outQueue_;
  p.dwCurrentRxQueue = inQueue_;
  *properties = p;
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

void CommDevice::CompleteWait() {
  if (!wait_ || !(history_ & eventMask_)) return;
  *wait_->mask = history_ & eventMask_;
  history_ = 0;
  Finish(wait_->ov, 0, 0);
  wait_.reset();
}

void CommDevice::StartModemThreadIfNeeded() {
  if (!(eventMask_ & kModemEvents) || !modemSupported_ || modemThread_.joinable()) return;
  InstallWakeSignal();
  modemThread_ = std::thread([this] { ModemLoop(); });
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

std::shared_ptr<CommDevice> Device(HANDLE handle) {
  auto device = detail::Lookup<CommDevice>(handle);
  if (!device) SetLastError(EBADF);
  return device;
}

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

}  // namespace

std::string DeviceFileName(std::string_view name) {
  if (name.empty()) return {};
  if (name.front() == '/') return std::string(name);
  if (name.size() > 3 && name.substr(0, 3) == "COM") {
    unsigned n = 0;
    for (const char c : name.substr(3)) {
      if (c < '0' || c > '9' || n > 100000) return {};
      n = n * 10 + static_cast<unsigned>(c - '0');
    }
    return n == 0 ? std::string() : "/dev/ttyS" + std::to_string(n - 1);
  }
  if (name.find('/') != std::string_view::npos) return {};
  return "/dev/" + std::string(name);
}

// A node with no port behind it (a UART that never answered, whose sysfs type is 0, opens with EIO; a
// minor no driver registered, with ENXIO or ENODEV) is a device that is not there.
static DWORD OpenError(const std::string& path, int error) {
  if (error == ENXIO || error == ENODEV) return ERROR_FILE_NOT_FOUND;
  if (error == EIO) {
    std::ifstream type("/sys/class/tty/" + path.substr(path.rfind('/') + 1) + "/type");
    std::string value;
    if (std::getline(type, value) && value == "0") return ERROR_FILE_NOT_FOUND;
  }
  return static_cast<DWORD>(error);
}

HANDLE CreateFile(const char* name, DWORD access, DWORD shareMode, void* security, DWORD creation,
                  DWORD flags, HANDLE templateFile) {
  if (name == nullptr || access != (GENERIC_READ | GENERIC_WRITE) || shareMode != 0 || security != nullptr ||
      creation != OPEN_EXISTING || templateFile != nullptr || (flags & ~FILE_FLAG_OVERLAPPED) != 0) {
    SetLastError(EINVAL);
    return INVALID_HANDLE_VALUE;
  }
  const std::string path = DeviceFileName(name);
  if (path.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    SetLastError(OpenError(path, errno));
    return INVALID_HANDLE_VALUE;
  }
  const auto failWith = [fd](int error) {
    ::close(fd);
    SetLastError(static_cast<DWORD>(error));
    return INVALID_HANDLE_VALUE;
  };
  if (!isatty(fd)) return failWith(ENOTTY);
  // TIOCEXCL alone does not stop root; the flock does, and it is what other serial programs take too.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) return failWith(errno == EWOULDBLOCK ? EBUSY : errno);
  if (ioctl(fd, TIOCEXCL) != 0) return failWith(errno);

  termios tio{};
  if (tcgetattr(fd, &tio) != 0) return failWith(errno);
  cfmakeraw(&tio);
  tio.c_cflag |= CREAD | CLOCAL;
  tio.c_cflag &= ~static_cast<tcflag_t>(HUPCL);
  tio.c_cc[VMIN] = 1;
  tio.c_cc[VTIME] = 0;
  if (tcsetattr(fd, TCSANOW, &tio) != 0) return failWith(errno);
  tcflush(fd, TCIOFLUSH);

  auto device = std::make_shared<CommDevice>(fd, (flags & FILE_FLAG_OVERLAPPED) != 0);
  if (!device->Start()) {
    const int error = errno;
    device->Close();
    SetLastError(static_cast<DWORD>(error));
    return INVALID_HANDLE_VALUE;
  }
  return detail::RegisterObject(std::move(device));
}

BOOL SetupComm(HANDLE h, DWORD inQueue, DWORD outQueue) {
  const auto d = Device(h);
  return d ? d->Setup(inQueue, outQueue) : FALSE;
}

BOOL GetCommState(HANDLE h, DCB* dcb) {
  const auto d = Device(h);
  return d ? d->GetState(dcb) : FALSE;
}

BOOL SetCommState(HANDLE h, const DCB* dcb) {
  const auto d = Device(h);
  return d ? d->SetState(*dcb) : FALSE;
}

BOOL GetCommTimeouts(HANDLE h, COMMTIMEOUTS* timeouts) {
  const auto d = Device(h);
  return d ? d->GetTimeouts(timeouts) : FALSE;
}

BOOL SetCommTimeouts(HANDLE h, const COMMTIMEOUTS* timeouts) {
  const auto d = Device(h);
  return d ? d->SetTimeouts(*timeouts) : FALSE;
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

BOOL EscapeCommFunction(HANDLE h, DWORD function) {
  const auto d = Device(h);
  return d ? d->Escape(function) : FALSE;
}

void SetAbsentModemLinesForTesting(int lines) { gAbsentLinesForTesting.store(lines); }

BOOL GetCommModemStatus(HANDLE h, DWORD* modemStatus) {
  const auto d = Device(h);
  return d ? d->ModemStatus(modemStatus) : FALSE;
}

BOOL GetCommProperties(HANDLE h, COMMPROP* properties) {
  const auto d = Device(h);
  return d ? d->Properties(properties) : FALSE;
}

BOOL GetDefaultCommConfig(const char* name, COMMCONFIG* config, DWORD* size) {
  if (name == nullptr || config == nullptr || size == nullptr) return Fail(EINVAL);
  if (*size < sizeof(COMMCONFIG)) {
    *size = sizeof(COMMCONFIG);
    return Fail(EINVAL);
  }
  const std::string path = DeviceFileName(name);
  struct stat st {};
  if (path.empty() || ::stat(path.c_str(), &st) != 0) return Fail(ERROR_FILE_NOT_FOUND);
  if (!S_ISCHR(st.st_mode)) return Fail(ENOTTY);
  COMMCONFIG c{};
  c.dwSize = sizeof(COMMCONFIG);
  c.wVersion = 1;
  c.dcb.DCBlength = sizeof(DCB);
  c.dcb.BaudRate = 9600;
  c.dcb.Flags = DCB_BINARY | DCB_DTR_CONTROL_ENABLE | DCB_RTS_CONTROL_ENABLE;
  c.dcb.XonLim = 2048;
  c.dcb.XoffLim = 512;
  c.dcb.ByteSize = 8;
  c.dcb.Parity = NOPARITY;
  c.dcb.StopBits = ONESTOPBIT;
  c.dcb.XonChar = 17;
  c.dcb.XoffChar = 19;
  c.dwProviderSubType = 1;  // RS-232
  *config = c;
  *size = sizeof(COMMCONFIG);
  return TRUE;
}

}  // namespace platform
