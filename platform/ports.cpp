// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ports.h"

#include <algorithm>

#include "platform/kernel.h"
#include "platform/serial.h"

// After this layer's headers, so that it cannot turn their names into macros.
#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#endif

// The window translates these where it shows them; this layer stands below the one that names the
// marker (settings/user_text.h), so it is spelled out here for lupdate.
#define VEXA_TR_NOOP(context, text) text

namespace platform {

std::vector<SerialPortInfo> EachNameOnce(std::vector<SerialPortInfo> ports) {
  std::vector<SerialPortInfo> once;
  for (SerialPortInfo& port : ports)
    if (std::none_of(once.begin(), once.end(), [&](const SerialPortInfo& p) { return p.name == port.name; }))
      once.push_back(std::move(port));
  return once;
}

OpenRefusal ClassifyOpenError(std::uint32_t code) {
#ifdef _WIN32
  // Windows refuses a port that another program holds as "access denied".
  if (code == ERROR_ACCESS_DENIED || code == ERROR_SHARING_VIOLATION) return OpenRefusal::Busy;
#else
  if (code == EBUSY) return OpenRefusal::Busy;
  if (code == EACCES || code == EPERM) return OpenRefusal::NoPermission;
#endif
  return OpenRefusal::Other;
}

bool DeviceGoneError(std::uint32_t code) {
#ifdef _WIN32
  // A USB adapter pulled fails its handle's calls with any of these, depending on its driver.
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_ACCESS_DENIED:
    case ERROR_NOT_READY:  // Wine's, for a line that hung up
    case ERROR_INVALID_HANDLE:
    case ERROR_BAD_COMMAND:
    case ERROR_GEN_FAILURE:
    case ERROR_OPERATION_ABORTED:
    case ERROR_DEV_NOT_EXIST:
    case 433:  // ERROR_NO_SUCH_DEVICE, which mingw's headers leave out
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEVICE_REMOVED:
      return true;
    default:
      return false;
  }
#else
  return code == EIO || code == ENXIO || code == ENODEV || code == ENOENT;
#endif
}

std::string OpenRefusalHint(OpenRefusal refusal) {
  switch (refusal) {
    case OpenRefusal::Busy:
      return VEXA_TR_NOOP("Messages", "Порт занят другой программой.");
    case OpenRefusal::NoPermission:
      return VEXA_TR_NOOP("Messages",
                          "Нет прав на доступ к порту: добавьте пользователя в группу владельца устройства "
                          "(обычно dialout) и войдите в систему заново.");
    case OpenRefusal::Other:
      break;
  }
  return {};
}

PortState ProbePort(const std::string& name) {
  const HANDLE h =
      CreateFile(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h != INVALID_HANDLE_VALUE) {
    CloseHandle(h);
    return PortState::Free;
  }
  return GetLastError() == ERROR_FILE_NOT_FOUND ? PortState::NotFound : PortState::Busy;
}

}  // namespace platform
