// SPDX-License-Identifier: GPL-3.0-or-later
// Port discovery on Linux: from sysfs and /dev/serial/by-id, without opening any port.
#include "platform/ports.h"

#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <system_error>

#include "platform/kernel.h"
#include "platform/serial.h"

namespace fs = std::filesystem;

namespace platform {
namespace {

std::string ReadAttribute(const fs::path& file) {
  std::ifstream in(file);
  std::string value;
  std::getline(in, value);
  while (!value.empty() && (value.back() == ' ' || value.back() == '\n' || value.back() == '\r'))
    value.pop_back();
  return value;
}

bool StartsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

// Driver, then for USB devices "USB vvvv:pppp", maker, product and serial as far as sysfs tells them.
std::string Describe(const fs::path& ttyEntry) {
  std::error_code ec;
  const fs::path device = ttyEntry / "device";
  std::string text = fs::read_symlink(device / "driver", ec).filename().string();
  fs::path dir = fs::canonical(device, ec);
  for (int up = 0; !ec && up < 6 && !dir.empty() && dir != dir.root_path(); ++up, dir = dir.parent_path()) {
    if (!fs::exists(dir / "idVendor", ec)) continue;
    std::string usb = "USB " + ReadAttribute(dir / "idVendor") + ":" + ReadAttribute(dir / "idProduct");
    for (const char* attribute : {"manufacturer", "product"}) {
      const std::string value = ReadAttribute(dir / attribute);
      if (!value.empty()) usb += " " + value;
    }
    const std::string serial = ReadAttribute(dir / "serial");
    if (!serial.empty()) usb += ", serial " + serial;
    text += text.empty() ? usb : ", " + usb;
    break;
  }
  return text;
}

// Serial core UARTs exist in sysfs whether or not the hardware does; "type" 0 means none answered.
bool UartPresent(const fs::path& ttyEntry) {
  const std::string type = ReadAttribute(ttyEntry / "type");
  return !type.empty() && type != "0";
}

int UartNumber(const std::string& name) {
  try {
    return std::stoi(name.substr(4));
  } catch (...) {
    return -1;
  }
}

}  // namespace

std::vector<SerialPortInfo> ListSerialPorts(const fs::path& root) {
  std::vector<std::pair<int, SerialPortInfo>> uarts;
  std::vector<SerialPortInfo> others;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(root / "sys/class/tty", ec)) {
    const std::string name = entry.path().filename().string();
    if (!fs::exists(entry.path() / "device", ec)) continue;  // virtual terminals and the like
    if (StartsWith(name, "ttyUSB") || StartsWith(name, "ttyACM")) {
      others.push_back({"/dev/" + name, "/dev/" + name, Describe(entry.path())});
    } else if (StartsWith(name, "ttyS") && UartPresent(entry.path())) {
      const int n = UartNumber(name);
      if (n >= 0)
        uarts.push_back({n, {"COM" + std::to_string(n + 1), "/dev/" + name, Describe(entry.path()), true}});
    } else if (UartPresent(entry.path())) {
      others.push_back({"/dev/" + name, "/dev/" + name, Describe(entry.path())});
    }
  }
  // A by-id link names a device listed above: the device is listed once, the link's stable name
  // first in its description. A link to a device sysfs does not know is left out.
  for (const auto& link : fs::directory_iterator(root / "dev/serial/by-id", ec)) {
    const fs::path target = fs::read_symlink(link.path(), ec);
    if (ec) continue;
    const std::string device = "/dev/" + target.filename().string();
    SerialPortInfo* listed = nullptr;
    for (auto& u : uarts)
      if (u.second.path == device) listed = &u.second;
    for (auto& o : others)
      if (o.path == device) listed = &o;
    if (listed == nullptr) {
      const fs::path entry = root / "sys/class/tty" / target.filename();
      if (!fs::exists(entry / "device", ec)) continue;
      others.push_back({device, device, Describe(entry)});
      listed = &others.back();
    }
    const std::string stable = "/dev/serial/by-id/" + link.path().filename().string();
    listed->description = stable + (listed->description.empty() ? "" : ", " + listed->description);
  }
  std::sort(uarts.begin(), uarts.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::sort(others.begin(), others.end(), [](const auto& a, const auto& b) { return a.path < b.path; });
  std::vector<SerialPortInfo> result;
  for (auto& u : uarts) result.push_back(std::move(u.second));
  for (auto& o : others) result.push_back(std::move(o));
  return result;
}

PathKind KindOfPath(const std::string& name) {
  // As CreateFile names it: "COM3" and bare names are /dev's.
  const std::string file = DeviceFileName(name);
  struct stat st {};
  if (file.empty() || ::stat(file.c_str(), &st) != 0) return PathKind::Missing;
  if (S_ISCHR(st.st_mode)) return PathKind::Device;
  if (S_ISREG(st.st_mode)) return PathKind::RegularFile;
  if (S_ISDIR(st.st_mode)) return PathKind::Folder;
  return PathKind::Other;
}

std::string StableDeviceName(const std::string& name, const fs::path& root) {
  const std::string file = DeviceFileName(name);
  if (file.rfind("/dev/", 0) != 0 || file.rfind("/dev/serial/", 0) == 0) return name;
  std::error_code ec;
  for (const auto& link : fs::directory_iterator(root / "dev/serial/by-id", ec))
    if (const fs::path target = fs::read_symlink(link.path(), ec);
        !ec && "/dev/" + target.filename().string() == file)
      return "/dev/serial/by-id/" + link.path().filename().string();
  return name;
}

std::string DeviceBehind(const std::string& stable, const fs::path& root) {
  if (stable.rfind("/dev/serial/by-id/", 0) != 0) return stable;
  std::error_code ec;
  const fs::path target = fs::read_symlink(root / stable.substr(1), ec);
  return ec ? stable : "/dev/" + target.filename().string();
}

}  // namespace platform
