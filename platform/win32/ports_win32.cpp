// SPDX-License-Identifier: GPL-3.0-or-later
// Port discovery on Windows: the names the BIOS and the serial drivers publish in the registry,
// read only, in the registry's order.
#include "platform/ports.h"
#include "platform/serial.h"

#include <windows.h>

#include <filesystem>
#include <string>

namespace platform {
namespace {

// The text of a string value, or empty.
std::string StringValue(HKEY key, const char* value) {
  char text[256];
  ::DWORD length = sizeof text;
  ::DWORD type = 0;
  if (::RegQueryValueExA(key, value, nullptr, &type, reinterpret_cast<BYTE*>(text), &length) !=
          ERROR_SUCCESS ||
      type != REG_SZ)
    return {};
  return std::string(text, strnlen(text, length));
}

}  // namespace

std::vector<SerialPortInfo> ListSerialPorts(const std::filesystem::path&) {
  std::vector<SerialPortInfo> ports;
  const char* const bios = "Enum\\BIOS\\*PNP0501";
  HKEY key = nullptr;
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, bios, 0, KEY_READ, &key) == ERROR_SUCCESS) {
    for (::DWORD i = 0;; ++i) {
      char sub[256];
      ::DWORD subLength = sizeof sub;
      const LONG result = ::RegEnumKeyExA(key, i, sub, &subLength, nullptr, nullptr, nullptr, nullptr);
      if (result == ERROR_NO_MORE_ITEMS) break;
      if (result != ERROR_SUCCESS) continue;
      HKEY port = nullptr;
      if (::RegOpenKeyExA(key, sub, 0, KEY_READ, &port) != ERROR_SUCCESS) continue;
      const std::string name = StringValue(port, "PortName");
      ::RegCloseKey(port);
      if (!name.empty()) ports.push_back({name, "\\\\.\\" + name, std::string(bios) + "\\" + sub, true});
    }
    ::RegCloseKey(key);
  }
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
      ERROR_SUCCESS)
    return ports;
  for (::DWORD i = 0;; ++i) {
    char device[256];
    char name[256];
    ::DWORD deviceLength = sizeof device;
    ::DWORD nameLength = sizeof name;
    ::DWORD type = 0;
    const LONG result = ::RegEnumValueA(key, i, device, &deviceLength, nullptr, &type,
                                        reinterpret_cast<BYTE*>(name), &nameLength);
    if (result == ERROR_NO_MORE_ITEMS) break;
    if (result != ERROR_SUCCESS || type != REG_SZ || nameLength == 0) continue;
    const std::string port(name, strnlen(name, nameLength));
    ports.push_back({port, "\\\\.\\" + port, std::string(device, deviceLength)});
  }
  ::RegCloseKey(key);
  return ports;
}

PathKind KindOfPath(const std::string& name) {
  // Ports are not files: a name CreateFile opens in the device namespace is a device; a COM name
  // made so ("COM7") is probed for whether it exists.
  if (const std::string device = DeviceFileName(name); device.rfind("\\\\.\\", 0) == 0)
    return device != name && ProbePort(name) == PortState::NotFound ? PathKind::Missing : PathKind::Device;
  // The name is UTF-8 (what the window gives): read through the wide API, any folder's name works.
  const std::filesystem::path file(std::u8string(name.begin(), name.end()));
  const ::DWORD attributes = ::GetFileAttributesW(file.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::Missing;
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? PathKind::Folder : PathKind::RegularFile;
}

// A COM name is the port's own: an adapter plugged again gets it back.
std::string StableDeviceName(const std::string& name, const std::filesystem::path&) { return name; }
std::string DeviceBehind(const std::string& stable, const std::filesystem::path&) { return stable; }

}  // namespace platform
