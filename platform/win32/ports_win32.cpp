// SPDX-License-Identifier: GPL-3.0-or-later
// Port discovery on Windows: the names the BIOS and the serial drivers publish in the registry,
// read only, in the registry's order.
#include "platform/ports.h"

#include <windows.h>

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
  // Ports are not files: "COMn" and device-namespace names are taken as devices, and opening says more.
  const bool com = name.size() > 3 && (name[0] == 'C' || name[0] == 'c') &&
                   (name[1] == 'O' || name[1] == 'o') && (name[2] == 'M' || name[2] == 'm') &&
                   name.find_first_not_of("0123456789", 3) == std::string::npos;
  if (com) return ProbePort(name) == PortState::NotFound ? PathKind::Missing : PathKind::Device;
  if (name.rfind("\\\\.\\", 0) == 0) return PathKind::Device;
  // The name is UTF-8 (what the window gives): the wide call reads any folder's name.
  std::wstring wide(static_cast<std::size_t>(::MultiByteToWideChar(CP_UTF8, 0, name.c_str(), -1, nullptr, 0)),
                    L'\0');
  if (wide.empty()) return PathKind::Missing;
  ::MultiByteToWideChar(CP_UTF8, 0, name.c_str(), -1, wide.data(), static_cast<int>(wide.size()));
  const ::DWORD attributes = ::GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::Missing;
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? PathKind::Folder : PathKind::RegularFile;
}

}  // namespace platform
