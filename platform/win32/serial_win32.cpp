// SPDX-License-Identifier: GPL-3.0-or-later
// The serial device calls on Windows: the system's own, with this layer's records passed as the
// system's (the layouts are the same, checked below) and "COMn" opened as \\.\COMn, so that ports
// above COM9 open too.
#include "platform/kernel.h"
#include "platform/serial.h"

#include <windows.h>

#include <cstddef>

#undef CreateFile
#undef GetDefaultCommConfig

namespace platform {
namespace {

static_assert(sizeof(platform::DCB) == sizeof(::DCB));
static_assert(offsetof(platform::DCB, BaudRate) == offsetof(::DCB, BaudRate));
static_assert(offsetof(platform::DCB, wReserved) == offsetof(::DCB, wReserved));
static_assert(offsetof(platform::DCB, EvtChar) == offsetof(::DCB, EvtChar));
static_assert(sizeof(platform::COMMTIMEOUTS) == sizeof(::COMMTIMEOUTS));
static_assert(sizeof(platform::COMSTAT) == sizeof(::COMSTAT));
static_assert(offsetof(platform::COMSTAT, cbInQue) == offsetof(::COMSTAT, cbInQue));
static_assert(sizeof(platform::COMMPROP) == sizeof(::COMMPROP));
static_assert(sizeof(platform::COMMCONFIG) == sizeof(::COMMCONFIG));
static_assert(offsetof(platform::COMMCONFIG, dcb) == offsetof(::COMMCONFIG, dcb));
static_assert(sizeof(platform::OVERLAPPED) == sizeof(::OVERLAPPED));
static_assert(offsetof(platform::OVERLAPPED, hEvent) == offsetof(::OVERLAPPED, hEvent));

template <class To, class From>
To* As(From* record) {
  return reinterpret_cast<To*>(record);
}

// A DWORD result of the system's width copied out into ours.
class Out {
 public:
  explicit Out(platform::DWORD* target) : target_(target) {}
  ~Out() {
    if (target_ != nullptr) *target_ = static_cast<platform::DWORD>(value_);
  }
  Out(const Out&) = delete;
  Out& operator=(const Out&) = delete;
  ::DWORD* get() { return target_ != nullptr ? &value_ : nullptr; }

 private:
  platform::DWORD* target_;
  ::DWORD value_ = 0;
};

}  // namespace

// "COMn" in any case, as Windows takes it.
std::string DeviceFileName(std::string_view name) {
  const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
  const bool com = name.size() > 3 && upper(name[0]) == 'C' && upper(name[1]) == 'O' &&
                   upper(name[2]) == 'M' && name.find_first_not_of("0123456789", 3) == std::string_view::npos;
  return com ? "\\\\.\\" + std::string(name) : std::string(name);
}

// A port opens with an empty input queue, as on Linux: bytes that arrived after the last close (an
// answer to the last request of a program that closed the port meanwhile) are not this opening's.
// Drivers of real ports mostly start empty anyway; a pseudo-terminal under Wine does not.
HANDLE CreateFile(const char* name, DWORD access, DWORD shareMode, void* security, DWORD creation,
                  DWORD flags, HANDLE templateFile) {
  const HANDLE h = ::CreateFileA(DeviceFileName(name).c_str(), access, shareMode,
                                 static_cast<SECURITY_ATTRIBUTES*>(security), creation, flags, templateFile);
  const ::DWORD error = ::GetLastError();
  if (h != INVALID_HANDLE_VALUE && ::GetFileType(h) == FILE_TYPE_CHAR)
    ::PurgeComm(h, PURGE_RXCLEAR);  // not a port: refused, and nothing to clear
  ::SetLastError(error);
  return h;
}

BOOL SetupComm(HANDLE device, DWORD inQueue, DWORD outQueue) {
  return ::SetupComm(device, inQueue, outQueue);
}
BOOL GetCommState(HANDLE device, DCB* dcb) { return ::GetCommState(device, As<::DCB>(dcb)); }
BOOL SetCommState(HANDLE device, const DCB* dcb) {
  ::DCB copy = *reinterpret_cast<const ::DCB*>(dcb);
  return ::SetCommState(device, &copy);
}
BOOL GetCommTimeouts(HANDLE device, COMMTIMEOUTS* timeouts) {
  return ::GetCommTimeouts(device, As<::COMMTIMEOUTS>(timeouts));
}
BOOL SetCommTimeouts(HANDLE device, const COMMTIMEOUTS* timeouts) {
  ::COMMTIMEOUTS copy = *reinterpret_cast<const ::COMMTIMEOUTS*>(timeouts);
  return ::SetCommTimeouts(device, &copy);
}
BOOL GetCommMask(HANDLE device, DWORD* mask) {
  Out out(mask);
  return ::GetCommMask(device, out.get());
}
BOOL SetCommMask(HANDLE device, DWORD mask) { return ::SetCommMask(device, mask); }

// The system writes the event mask when the wait completes, possibly after this call returned:
// it must get the caller's own DWORD, which has the system's size.
static_assert(sizeof(platform::DWORD) == sizeof(::DWORD));

BOOL WaitCommEvent(HANDLE device, DWORD* eventMask, OVERLAPPED* ov) {
  return ::WaitCommEvent(device, reinterpret_cast<::DWORD*>(eventMask), As<::OVERLAPPED>(ov));
}
BOOL ReadFile(HANDLE device, void* buffer, DWORD count, DWORD* read, OVERLAPPED* ov) {
  return ::ReadFile(device, buffer, count, reinterpret_cast<::DWORD*>(read), As<::OVERLAPPED>(ov));
}
BOOL WriteFile(HANDLE device, const void* buffer, DWORD count, DWORD* written, OVERLAPPED* ov) {
  return ::WriteFile(device, buffer, count, reinterpret_cast<::DWORD*>(written), As<::OVERLAPPED>(ov));
}
BOOL GetOverlappedResult(HANDLE device, OVERLAPPED* ov, DWORD* transferred, BOOL wait) {
  Out out(transferred);
  return ::GetOverlappedResult(device, As<::OVERLAPPED>(ov), out.get(), wait);
}
BOOL CancelIoEx(HANDLE device, OVERLAPPED* ov) { return ::CancelIoEx(device, As<::OVERLAPPED>(ov)); }
BOOL ClearCommError(HANDLE device, DWORD* errors, COMSTAT* status) {
  Out out(errors);
  return ::ClearCommError(device, out.get(), As<::COMSTAT>(status));
}
BOOL PurgeComm(HANDLE device, DWORD flags) { return ::PurgeComm(device, flags); }
BOOL EscapeCommFunction(HANDLE device, DWORD function) { return ::EscapeCommFunction(device, function); }
BOOL GetCommModemStatus(HANDLE device, DWORD* modemStatus) {
  Out out(modemStatus);
  return ::GetCommModemStatus(device, out.get());
}
BOOL GetCommProperties(HANDLE device, COMMPROP* properties) {
  return ::GetCommProperties(device, As<::COMMPROP>(properties));
}
BOOL GetDefaultCommConfig(const char* name, COMMCONFIG* config, DWORD* size) {
  ::DWORD systemSize = size != nullptr ? *size : 0;
  const BOOL done = ::GetDefaultCommConfigA(name, As<::COMMCONFIG>(config), &systemSize);
  if (size != nullptr) *size = static_cast<DWORD>(systemSize);
  return done;
}

}  // namespace platform
