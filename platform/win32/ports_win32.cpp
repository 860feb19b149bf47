// Port discovery on Windows: the names the serial drivers publish in the registry, read only.
#include "platform/ports.h"

#include <windows.h>

#include <algorithm>

namespace platform {

std::vector<SerialPortInfo> ListSerialPorts(const std::filesystem::path&) {
  std::vector<SerialPortInfo> ports;
  HKEY key = nullptr;
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
  // COM2 before COM10.
  std::sort(ports.begin(), ports.end(), [](const SerialPortInfo& a, const SerialPortInfo& b) {
    return a.name.size() != b.name.size() ? a.name.size() < b.name.size() : a.name < b.name;
  });
  return ports;
}

}  // namespace platform
