// SPDX-License-Identifier: GPL-3.0-or-later
// Serial port discovery from sysfs, and the "free / not found / busy" probe of one port.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace platform {

struct SerialPortInfo {
  std::string name;  // what CreateFile takes: "COMn" for a UART, else the device path
  std::string path;  // the device file
  std::string
      description;  // stable /dev/serial/by-id name, driver, USB vendor, product and serial where known
  // Listed from the machine's own serial ports (Linux: the UARTs; Windows: the BIOS's key), whose
  // names are taken as they come; names from elsewhere are listed once.
  bool uart = false;
};

// UARTs that really exist, /dev/ttyUSB* and /dev/ttyACM*, each once (a /dev/serial/by-id link adds its
// name to its device's description), read from sysfs without opening any port. root replaces "/" for tests.
// UARTs first by number, then by path.
std::vector<SerialPortInfo> ListSerialPorts(const std::filesystem::path& root = "/");

// Why the system refused to open a port, from the code it gave.
enum class OpenRefusal { Other, Busy, NoPermission };
OpenRefusal ClassifyOpenError(std::uint32_t code);
// What the user can do about a refusal, as the window and vexa_cli say it; empty for Other.
std::string OpenRefusalHint(OpenRefusal refusal);
// The same for the system's code of a refused open.
inline std::string OpenRefusalHint(std::uint32_t code) { return OpenRefusalHint(ClassifyOpenError(code)); }

// Whether a port's failure says that its device went away (an adapter unplugged, a line hung up)
// rather than that it refused a request.
bool DeviceGoneError(std::uint32_t code);

// The name under which a device comes back once it is plugged again: for a USB adapter its
// /dev/serial/by-id link (it may return as another ttyUSB), else the name itself. And the device
// such a name leads to now. root replaces "/" for tests.
std::string StableDeviceName(const std::string& name, const std::filesystem::path& root = "/");
std::string DeviceBehind(const std::string& stable, const std::filesystem::path& root = "/");

// ports without the repeats of a name (the first kept), for a list a person reads.
std::vector<SerialPortInfo> EachNameOnce(std::vector<SerialPortInfo> ports);

// The values are those the serial component's GetPortState returns.
enum class PortState { Busy = 0, Free = 1, NotFound = 2 };

// What a path typed as a port names: only a device can be one.
enum class PathKind { Device, Missing, RegularFile, Folder, Other };
PathKind KindOfPath(const std::string& name);

// Opens the port without overlapped I/O and closes it again.
PortState ProbePort(const std::string& name);

}  // namespace platform
