// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "platform/kernel.h"
#include "platform/port_wait.h"
#include "platform/ports.h"
#include "platform/serial.h"
#include "tests/support/pty.h"

namespace fs = std::filesystem;
using namespace platform;

namespace {

void Put(const fs::path& file, const std::string& text) {
  fs::create_directories(file.parent_path());
  std::ofstream(file) << text << "\n";
}

TEST(Ports, DiscoveryReadsSysfs) {
  const fs::path root = fs::temp_directory_path() / ("vexa_sysfs_" + std::to_string(::getpid()));
  fs::remove_all(root);
  const fs::path tty = root / "sys/class/tty";
  const fs::path devices = root / "sys/devices";
  // A UART that answered, one that did not, a virtual terminal, a USB adapter and its by-id link.
  fs::create_directories(devices / "platform/serial8250/tty/ttyS0");
  fs::create_directories(root / "sys/bus/platform/drivers/serial8250");
  fs::create_directories(tty / "ttyS0");
  fs::create_directory_symlink(devices / "platform/serial8250", tty / "ttyS0/device");
  fs::create_directory_symlink(root / "sys/bus/platform/drivers/serial8250",
                               devices / "platform/serial8250/driver");
  Put(tty / "ttyS0/type", "4");
  fs::create_directories(tty / "ttyS1");
  fs::create_directory_symlink(devices / "platform/serial8250", tty / "ttyS1/device");
  Put(tty / "ttyS1/type", "0");
  fs::create_directories(tty / "tty0");
  const fs::path usb = devices / "pci0/usb1/1-2";
  fs::create_directories(usb / "1-2:1.0/ttyUSB0");
  fs::create_directories(root / "sys/bus/usb-serial/drivers/ftdi_sio");
  fs::create_directory_symlink(root / "sys/bus/usb-serial/drivers/ftdi_sio", usb / "1-2:1.0/ttyUSB0/driver");
  Put(usb / "idVendor", "0403");
  Put(usb / "idProduct", "6001");
  Put(usb / "manufacturer", "FTDI");
  Put(usb / "product", "FT232R USB UART");
  Put(usb / "serial", "A1B2C3");
  fs::create_directories(tty / "ttyUSB0");
  fs::create_directory_symlink(usb / "1-2:1.0/ttyUSB0", tty / "ttyUSB0/device");
  fs::create_directories(root / "dev/serial/by-id");
  fs::create_symlink("../../ttyUSB0", root / "dev/serial/by-id/usb-FTDI_FT232R-if00-port0");
  fs::create_symlink("../../ttyUSB9", root / "dev/serial/by-id/usb-gone-if00-port0");  // unplugged

  const auto ports = ListSerialPorts(root);
  // Awaited after a pull under its by-id name, which may come back leading to another ttyUSB.
  const std::string stable = "/dev/serial/by-id/usb-FTDI_FT232R-if00-port0";
  EXPECT_EQ(StableDeviceName("/dev/ttyUSB0", root), stable);
  EXPECT_EQ(StableDeviceName("ttyUSB0", root), stable) << "a bare name is /dev's";
  EXPECT_EQ(StableDeviceName(stable, root), stable);
  EXPECT_EQ(StableDeviceName("/dev/ttyS0", root), "/dev/ttyS0") << "no link: its own name";
  EXPECT_EQ(StableDeviceName("/tmp/sim-port", root), "/tmp/sim-port");
  EXPECT_EQ(DeviceBehind(stable, root), "/dev/ttyUSB0");
  fs::remove(root / "dev/serial/by-id/usb-FTDI_FT232R-if00-port0");
  EXPECT_EQ(DeviceBehind(stable, root), stable) << "unplugged: nothing behind it";
  fs::create_symlink("../../ttyUSB1", root / "dev/serial/by-id/usb-FTDI_FT232R-if00-port0");
  EXPECT_EQ(DeviceBehind(stable, root), "/dev/ttyUSB1");
  fs::remove_all(root);
  ASSERT_EQ(ports.size(), 2U) << "the adapter once, not again through its link";
  EXPECT_EQ(ports[0].name, "COM1");
  EXPECT_EQ(ports[0].path, "/dev/ttyS0");
  EXPECT_EQ(ports[0].description, "serial8250");
  EXPECT_EQ(ports[1].name, "/dev/ttyUSB0");
  EXPECT_EQ(ports[1].description,
            "/dev/serial/by-id/usb-FTDI_FT232R-if00-port0, ftdi_sio, USB 0403:6001 FTDI FT232R USB UART, "
            "serial A1B2C3");
}

TEST(Ports, ProbeTellsFreeBusyAndMissing) {
  testing_support::Pty pty;
  EXPECT_EQ(ProbePort(pty.slave()), PortState::Free);
  const HANDLE h = CreateFile(pty.slave().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OVERLAPPED, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(ProbePort(pty.slave()), PortState::Busy);
  CloseHandle(h);
  EXPECT_EQ(ProbePort(pty.slave()), PortState::Free);
  EXPECT_EQ(ProbePort("/dev/ttyNoSuchDevice"), PortState::NotFound);
  EXPECT_EQ(ProbePort("COM0"), PortState::NotFound);
}

// What a path typed as a port names, as CreateFile would name it: only a device can be a port.
TEST(Ports, TypedPathsAreToldApart) {
  testing_support::Pty pty;
  const fs::path dir = fs::temp_directory_path() / ("vexa_kind_" + std::to_string(::getpid()));
  Put(dir / "plain.txt", "x");
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
  const struct {
    std::string path;
    PathKind kind;
  } cases[] = {
      {pty.slave(), PathKind::Device},
      {"null", PathKind::Device},  // /dev's
      {(dir / "plain.txt").string(), PathKind::RegularFile},
      {dir.string(), PathKind::Folder},
      {(dir / "fifo").string(), PathKind::Other},
      {(dir / "missing").string(), PathKind::Missing},
      {"", PathKind::Missing},
  };
  for (const auto& c : cases) EXPECT_EQ(KindOfPath(c.path), c.kind) << c.path;
  fs::remove_all(dir);
}

// A serial node with no port behind it (here a minor no UART was registered for) is absent, not an
// I/O error. Making the node needs root, which CI has.
TEST(Ports, NodeWithoutAPortIsNotFound) {
  const fs::path node = fs::temp_directory_path() / ("vexa_ttyS_" + std::to_string(::getpid()));
  if (::mknod(node.c_str(), S_IFCHR | 0600, makedev(4, 64 + 250)) != 0) GTEST_SKIP() << "mknod needs root";
  if (const int fd = ::open(node.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK); fd >= 0 || errno == EACCES) {
    if (fd >= 0) ::close(fd);
    fs::remove(node);
    GTEST_SKIP() << "device nodes do not open here (a nodev file system)";
  }
  EXPECT_EQ(ProbePort(node.string()), PortState::NotFound);
  EXPECT_EQ(CreateFile(node.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  fs::remove(node);
}

// Waiting for a port wakes for its own way only: its folder made, then its file, not whatever else
// happens beside them (as in a busy /dev); the device errors that mean it is gone.
TEST(Ports, AnAwaitedPortsWatchWakesForItsOwnWay) {
  const fs::path dir = fs::temp_directory_path() / ("vexa_watch_" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  PortWatch watch((dir / "by-id" / "adapter").string());
  ASSERT_GE(watch.Descriptor(), 0);
  const auto woken = [&] { return watch.Drain(); };
  std::ofstream(dir / "neighbour") << "x";
  EXPECT_FALSE(woken()) << "a neighbour written";
  fs::create_directory(dir / "by-id");
  EXPECT_TRUE(woken()) << "the folder on the way made";
  std::ofstream(dir / "by-id" / "other") << "x";
  EXPECT_FALSE(woken()) << "watched in the nearer folder now";
  fs::create_symlink("/dev/null", dir / "by-id" / "adapter.new");
  EXPECT_FALSE(woken());
  fs::rename(dir / "by-id" / "adapter.new", dir / "by-id" / "adapter");
  EXPECT_TRUE(woken()) << "the port moved into place";
  fs::remove_all(dir);

  for (const std::uint32_t gone : {EIO, ENXIO, ENODEV, ENOENT}) EXPECT_TRUE(DeviceGoneError(gone)) << gone;
  for (const std::uint32_t refused : {EBUSY, EACCES, EINVAL, EAGAIN})
    EXPECT_FALSE(DeviceGoneError(refused)) << refused;
}

}  // namespace
