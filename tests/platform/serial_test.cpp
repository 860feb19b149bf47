// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/kernel.h"
#include "platform/line_rate.h"
#include "platform/serial.h"
#include "tests/support/patience.h"
#include "tests/support/pty.h"

using namespace platform;
using testing_support::Pty;

namespace {

HANDLE Open(const std::string& name, DWORD flags = FILE_FLAG_OVERLAPPED) {
  return CreateFile(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, flags, nullptr);
}

// The record the tool applies: 19200 bit/s 8N1, binary only, limits 1024, Xon 17, Xoff 19.
DCB ToolDcb() {
  DCB dcb{};
  dcb.BaudRate = 19200;
  dcb.Flags = DCB_BINARY;
  dcb.XonLim = 1024;
  dcb.XoffLim = 1024;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  dcb.XonChar = 17;
  dcb.XoffChar = 19;
  return dcb;
}

// An open, configured device with an event for overlapped calls, closed at the end.
struct Port {
  explicit Port(const Pty& pty) : handle(Open(pty.slave())) {
    if (handle == INVALID_HANDLE_VALUE) throw std::runtime_error("open failed");
    const DCB dcb = ToolDcb();
    SetCommState(handle, &dcb);
    const COMMTIMEOUTS immediate{MAXDWORD, 0, 0, 0, 0};
    SetCommTimeouts(handle, &immediate);
    ov.hEvent = CreateEvent(nullptr, TRUE, FALSE, nullptr);
  }
  ~Port() {
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    CloseHandle(ov.hEvent);
  }
  HANDLE handle;
  OVERLAPPED ov{};
};

DWORD Queued(HANDLE h) {
  COMSTAT status{};
  DWORD errors = 0;
  return ClearCommError(h, &errors, &status) ? status.cbInQue : 0xFFFFFFFF;
}

// Until the terminal holds count bytes written at its other end: its line discipline passes them on
// in its own time, later on a busy machine.
void AwaitQueued(HANDLE h, DWORD count) {
  const auto until = std::chrono::steady_clock::now() + testing_support::kPatience;
  while (Queued(h) < count && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

TEST(SerialOpen, ExclusiveAndNotFound) {
  Pty pty;
  EXPECT_EQ(DeviceFileName("COM1"), "/dev/ttyS0");
  EXPECT_EQ(DeviceFileName("COM12"), "/dev/ttyS11");
  EXPECT_EQ(DeviceFileName(pty.slave()), pty.slave());

  const HANDLE h = Open(pty.slave());
  ASSERT_NE(h, INVALID_HANDLE_VALUE) << ErrorText(GetLastError());
  EXPECT_EQ(Open(pty.slave()), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(EBUSY));

  // Another process, root or not, is kept out as well.
  const pid_t child = fork();
  if (child == 0) _exit(Open(pty.slave()) == INVALID_HANDLE_VALUE ? 0 : 1);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  EXPECT_TRUE(CloseHandle(h));
  const HANDLE again = Open(pty.slave());
  EXPECT_NE(again, INVALID_HANDLE_VALUE) << "free again after close";
  CloseHandle(again);

  for (const char* missing : {"/dev/ttyNoSuchDevice", "COM0"}) {
    EXPECT_EQ(Open(missing), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND) << missing;
  }
  EXPECT_EQ(Open("/dev/null"), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ENOTTY));
}

TEST(SerialOpen, DiscardsStaleBytes) {
  Pty pty;
  {
    const int fd = ::open(pty.slave().c_str(), O_RDWR | O_NOCTTY);  // lets bytes queue up
    pty.Write("stale");
    Port port(pty);
    ::close(fd);
    EXPECT_EQ(Queued(port.handle), 0U);
  }
}

TEST(SerialState, RawLineReadsBackAndRefusals) {
  Pty pty;
  Port port(pty);
  termios tio{};
  ASSERT_EQ(tcgetattr(pty.master(), &tio), 0);  // a master reads its slave's settings
  EXPECT_EQ(cfgetospeed(&tio), B19200);
  EXPECT_EQ(cfgetispeed(&tio), B19200);
  EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0U);
  EXPECT_EQ(tio.c_cflag & (CREAD | CLOCAL), static_cast<tcflag_t>(CREAD | CLOCAL));
  EXPECT_EQ(tio.c_lflag & (ECHO | ICANON | ISIG | IEXTEN), 0U);
  EXPECT_EQ(tio.c_iflag & (ICRNL | INLCR | IGNCR | IXON | IXOFF | ISTRIP), 0U);
  EXPECT_EQ(tio.c_oflag & OPOST, 0U);

  DCB back{};
  ASSERT_TRUE(GetCommState(port.handle, &back));
  EXPECT_EQ(back.BaudRate, 19200U);
  EXPECT_EQ(back.Flags, DCB_BINARY);
  EXPECT_EQ(back.XonChar, 17);

  // Raw means raw: CR and LF pass unchanged both ways.
  pty.Write("\r\n\x03");
  char in[3] = {};
  DWORD got = 0;
  AwaitQueued(port.handle, 3);
  ASSERT_TRUE(ReadFile(port.handle, in, 3, &got, &port.ov));
  EXPECT_EQ(std::string(in, got), "\r\n\x03");

  DCB custom = ToolDcb();
  custom.BaudRate = 1000;
  custom.Parity = MARKPARITY;
  custom.StopBits = TWOSTOPBITS;
  custom.ByteSize = 7;
  ASSERT_TRUE(SetCommState(port.handle, &custom)) << ErrorText(GetLastError());
  unsigned rate = 0;
  ASSERT_TRUE(detail::GetLineRate(pty.master(), &rate));
  EXPECT_EQ(rate, 1000U);
  ASSERT_EQ(tcgetattr(pty.master(), &tio), 0);
  // A pseudo-terminal forces CS8 and drops PARENB itself; the rest of the mark parity shows.
  EXPECT_EQ(tio.c_cflag & (CMSPAR | PARODD | CSTOPB), static_cast<tcflag_t>(CMSPAR | PARODD | CSTOPB));

  for (auto refuse : {+[](DCB& d) { d.ByteSize = 4; }, +[](DCB& d) { d.StopBits = ONE5STOPBITS; },
                      +[](DCB& d) { d.BaudRate = 0; }, +[](DCB& d) { d.Parity = 5; }}) {
    DCB bad = ToolDcb();
    refuse(bad);
    EXPECT_FALSE(SetCommState(port.handle, &bad));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(EINVAL));
  }
  ASSERT_TRUE(GetCommState(port.handle, &back));
  EXPECT_EQ(back.BaudRate, 1000U) << "a refused record changes nothing";
}

// Settings the line cannot honour are not reported as applied; null stripping is honoured.
TEST(SerialState, NullStrippingAndRtsToggle) {
  Pty pty;
  Port port(pty);
  DCB strip = ToolDcb();
  strip.Flags |= DCB_NULL;
  ASSERT_TRUE(SetCommState(port.handle, &strip));
  pty.Write(std::string("a\0b\0\0c", 6));
  AwaitQueued(port.handle, 6);  // the terminal holds them all; the nulls go when they are read
  char in[8] = {};
  DWORD got = 0;
  ASSERT_TRUE(ReadFile(port.handle, in, sizeof in, &got, &port.ov));
  EXPECT_EQ(std::string(in, got), "abc");

  DCB toggle = ToolDcb();
  toggle.Flags |= DCB_RTS_CONTROL_TOGGLE;
  EXPECT_FALSE(SetCommState(port.handle, &toggle)) << "a pseudo-terminal has no RS-485 mode";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ENOTTY));
  DCB back{};
  ASSERT_TRUE(GetCommState(port.handle, &back));
  EXPECT_EQ(back.Flags & DCB_RTS_CONTROL_MASK, 0U) << "the refused record is not kept";
}

TEST(SerialEvents, ReadsReturnAtOnceAndReceiveEventsAreEdges) {
  Pty pty;
  Port port(pty);
  char byte = 0;
  DWORD got = 99;
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(ReadFile(port.handle, &byte, 1, &got, &port.ov));
  EXPECT_EQ(got, 0U);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1)) << "no wait for a byte";

  ASSERT_TRUE(SetCommMask(port.handle, EV_RXCHAR | EV_ERR));
  DWORD mask = 0;
  EXPECT_FALSE(WaitCommEvent(port.handle, &mask, &port.ov));
  EXPECT_EQ(GetLastError(), ERROR_IO_PENDING);
  pty.Write("ab");
  ASSERT_EQ(WaitForSingleObject(port.ov.hEvent, 5000), WAIT_OBJECT_0);
  EXPECT_EQ(mask, EV_RXCHAR);
  EXPECT_EQ(Queued(port.handle), 2U);

  ASSERT_TRUE(ReadFile(port.handle, &byte, 1, &got, nullptr));
  EXPECT_EQ(byte, 'a');
  // One byte is left, but nothing new came: no event.
  if (!WaitCommEvent(port.handle, &mask, &port.ov)) {
    EXPECT_EQ(GetLastError(), ERROR_IO_PENDING);
    EXPECT_EQ(WaitForSingleObject(port.ov.hEvent, 200), WAIT_TIMEOUT);
  } else {
    ADD_FAILURE() << "event without new bytes, mask " << mask;
  }
  pty.Write("c");
  ASSERT_EQ(WaitForSingleObject(port.ov.hEvent, 5000), WAIT_OBJECT_0);
  EXPECT_EQ(mask, EV_RXCHAR);
  EXPECT_EQ(Queued(port.handle), 2U);

  // Bytes that arrive between two waits are not lost: the next wait returns at once.
  pty.Write("d");
  AwaitQueued(port.handle, 3);  // "b", "c" and now "d"
  EXPECT_TRUE(WaitCommEvent(port.handle, &mask, &port.ov));
  EXPECT_EQ(mask, EV_RXCHAR);

  // A new mask ends a pending wait with no events.
  EXPECT_FALSE(WaitCommEvent(port.handle, &mask, &port.ov));
  ASSERT_TRUE(SetCommMask(port.handle, EV_RXCHAR));
  ASSERT_EQ(WaitForSingleObject(port.ov.hEvent, 1000), WAIT_OBJECT_0);
  EXPECT_EQ(mask, 0U);
}

TEST(SerialWrite, OverlappedCompletionThenOutputEmpty) {
  Pty pty;
  Port port(pty);
  ASSERT_TRUE(SetCommMask(port.handle, EV_TXEMPTY));
  std::vector<char> data(256 * 1024);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 31 + i / 253);

  DWORD written = 0;
  ASSERT_FALSE(WriteFile(port.handle, data.data(), static_cast<DWORD>(data.size()), &written, &port.ov))
      << "more than the terminal buffers must pend";
  ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
  DWORD transferred = 0;
  EXPECT_FALSE(GetOverlappedResult(port.handle, &port.ov, &transferred, FALSE));

  std::string received;
  std::thread reader([&] { received = pty.Read(data.size(), std::chrono::seconds(20)); });
  ASSERT_TRUE(GetOverlappedResult(port.handle, &port.ov, &transferred, TRUE)) << ErrorText(GetLastError());
  EXPECT_EQ(transferred, data.size());
  reader.join();
  EXPECT_EQ(received, std::string(data.begin(), data.end()));

  OVERLAPPED waitOv{};
  waitOv.hEvent = CreateEvent(nullptr, TRUE, FALSE, nullptr);
  DWORD mask = 0;
  if (!WaitCommEvent(port.handle, &mask, &waitOv)) {
    ASSERT_EQ(WaitForSingleObject(waitOv.hEvent, 5000), WAIT_OBJECT_0);
  }
  EXPECT_EQ(mask, EV_TXEMPTY);
  CloseHandle(waitOv.hEvent);
}

TEST(SerialWrite, PurgeAbortsOutputAndClearsInput) {
  Pty pty;
  Port port(pty);
  std::vector<char> data(256 * 1024, 'x');
  DWORD written = 0;
  ASSERT_FALSE(WriteFile(port.handle, data.data(), static_cast<DWORD>(data.size()), &written, &port.ov));
  ASSERT_TRUE(PurgeComm(port.handle, PURGE_TXABORT | PURGE_TXCLEAR));
  ASSERT_EQ(WaitForSingleObject(port.ov.hEvent, 0), WAIT_OBJECT_0) << "the abort completes the write";
  DWORD transferred = 0;
  EXPECT_FALSE(GetOverlappedResult(port.handle, &port.ov, &transferred, TRUE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ECANCELED));
  EXPECT_LT(transferred, data.size());

  pty.Write("12345");
  AwaitQueued(port.handle, 5);
  EXPECT_EQ(Queued(port.handle), 5U);
  ASSERT_TRUE(PurgeComm(port.handle, PURGE_RXABORT | PURGE_RXCLEAR));
  EXPECT_EQ(Queued(port.handle), 0U);
  EXPECT_FALSE(PurgeComm(port.handle, 0x100));
}

TEST(SerialLifetime, CloseEndsPendingWaitAndWrite) {
  Pty pty;
  const HANDLE h = Open(pty.slave());
  const DCB dcb = ToolDcb();
  SetCommState(h, &dcb);
  SetCommMask(h, EV_RXCHAR);
  auto mask = std::make_unique<DWORD>(0xABCD);
  auto waitOv = std::make_unique<OVERLAPPED>();
  auto writeOv = std::make_unique<OVERLAPPED>();
  waitOv->hEvent = CreateEvent(nullptr, TRUE, FALSE, nullptr);
  writeOv->hEvent = CreateEvent(nullptr, TRUE, FALSE, nullptr);
  auto data = std::make_unique<std::vector<char>>(256 * 1024, 'y');
  ASSERT_FALSE(WaitCommEvent(h, mask.get(), waitOv.get()));
  ASSERT_FALSE(WriteFile(h, data->data(), static_cast<DWORD>(data->size()), nullptr, writeOv.get()));

  std::thread closer([h] { CloseHandle(h); });
  const HANDLE events[] = {waitOv->hEvent, writeOv->hEvent};
  EXPECT_EQ(WaitForMultipleObjects(2, events, TRUE, 5000), WAIT_OBJECT_0);
  closer.join();
  DWORD n = 0;
  EXPECT_FALSE(GetOverlappedResult(h, waitOv.get(), &n, TRUE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ECANCELED));
  EXPECT_FALSE(GetOverlappedResult(h, writeOv.get(), &n, TRUE));
  CloseHandle(waitOv->hEvent);
  CloseHandle(writeOv->hEvent);
  // Released right away: the sanitizer build would see any later write into them.
  data.reset();
  waitOv.reset();
  writeOv.reset();
  mask.reset();
  pty.Write("late bytes");
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(SetCommMask(h, EV_RXCHAR)) << "the handle is gone";
}

TEST(SerialLifetime, VanishedDeviceFailsWaitsAndLaterCalls) {
  Pty pty;
  Port port(pty);
  SetCommMask(port.handle, EV_RXCHAR);
  DWORD mask = 0;
  ASSERT_FALSE(WaitCommEvent(port.handle, &mask, &port.ov));
  pty.CloseMaster();
  ASSERT_EQ(WaitForSingleObject(port.ov.hEvent, 5000), WAIT_OBJECT_0);
  DWORD n = 0;
  EXPECT_FALSE(GetOverlappedResult(port.handle, &port.ov, &n, TRUE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(EIO));
  char byte;
  EXPECT_FALSE(ReadFile(port.handle, &byte, 1, &n, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(EIO));
  EXPECT_FALSE(WaitCommEvent(port.handle, &mask, &port.ov));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(EIO));
}

TEST(SerialLifetime, TimedIdleWaitCostsNoCpu) {
  Pty pty;
  Port port(pty);
  SetCommMask(port.handle, EV_RXCHAR | EV_ERR | EV_TXEMPTY);
  DWORD mask = 0;
  ASSERT_FALSE(WaitCommEvent(port.handle, &mask, &port.ov));
  timespec before{}, after{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &before);
  EXPECT_EQ(WaitForSingleObject(port.ov.hEvent, 2000), WAIT_TIMEOUT);
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &after);
  const double cpuMs = (after.tv_sec - before.tv_sec) * 1e3 + (after.tv_nsec - before.tv_nsec) / 1e6;
  EXPECT_LT(cpuMs, 10.0);
}

TEST(SerialLines, PseudoTerminalHasNoModemLines) {
  Pty pty;
  Port port(pty);
  for (DWORD f : {SETDTR, CLRDTR, SETRTS, CLRRTS, SETBREAK, CLRBREAK, SETXON, SETXOFF, RESETDEV})
    EXPECT_TRUE(EscapeCommFunction(port.handle, f)) << f << ": " << ErrorText(GetLastError());
  EXPECT_FALSE(EscapeCommFunction(port.handle, 99));
  DWORD status = 0xFF;
  EXPECT_TRUE(GetCommModemStatus(port.handle, &status));
  EXPECT_EQ(status, 0U);
  EXPECT_TRUE(SetCommMask(port.handle, EV_CTS | EV_DSR)) << "modem events are accepted, just never come";

  COMMPROP props{};
  ASSERT_TRUE(SetupComm(port.handle, 4096, 2048));
  ASSERT_TRUE(GetCommProperties(port.handle, &props));
  EXPECT_EQ(props.wPacketLength, 64);
  EXPECT_EQ(props.dwCurrentRxQueue, 4096U);

  COMMCONFIG config{};
  DWORD size = sizeof config;
  ASSERT_TRUE(GetDefaultCommConfig(pty.slave().c_str(), &config, &size));
  EXPECT_EQ(size, 52U);
  EXPECT_EQ(config.dcb.ByteSize, 8);
  EXPECT_FALSE(GetDefaultCommConfig("/dev/ttyNoSuchDevice", &config, &size));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

}  // namespace
