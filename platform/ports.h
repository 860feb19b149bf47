// Serial port discovery from sysfs, and the "free / not found / busy" probe of one port.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace platform {

struct SerialPortInfo {
  std::string name;         // what CreateFile takes: "COMn" for a UART, else the device path
  std::string path;         // the device file
  std::string description;  // driver; USB vendor, product and serial where known
};

// UARTs that really exist, /dev/ttyUSB*, /dev/ttyACM* and the links under /dev/serial/by-id, read from
// sysfs without opening any port. root replaces "/" for tests. UARTs first by number, then by path.
std::vector<SerialPortInfo> ListSerialPorts(const std::filesystem::path& root = "/");

// The values are those the serial component's GetPortState returns.
enum class PortState { Busy = 0, Free = 1, NotFound = 2 };

// Opens the port without overlapped I/O and closes it again.
PortState ProbePort(const std::string& name);

}  // namespace platform
