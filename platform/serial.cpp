// SPDX-License-Identifier: GPL-3.0-or-later
// Opening a serial device and configuring it: line settings, queues, time-outs, properties.
#include "platform/comm_device.h"

namespace platform {

namespace {

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

}  // namespace

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

std::shared_ptr<CommDevice> Device(HANDLE handle) {
  auto device = detail::Lookup<CommDevice>(handle);
  if (!device) SetLastError(EBADF);
  return device;
}

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
