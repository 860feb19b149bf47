#include "platform/ports.h"

#include "platform/kernel.h"
#include "platform/serial.h"

namespace platform {

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
