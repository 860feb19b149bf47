// SPDX-License-Identifier: GPL-3.0-or-later
// Win32-shaped serial device calls on POSIX termios, for the serial component.
//
// How the Win32 semantics map onto Linux:
// - Names: "COMn" is /dev/ttyS(n-1); a name starting with "/" is used as it is; any other name is
//   looked up under /dev. A missing device fails with code 2, and so does a node with no port behind
//   it (ENXIO, ENODEV, or EIO from a UART whose sysfs type is 0).
// - Opening takes an exclusive flock (which also stops root and cooperating programs) and TIOCEXCL,
//   discards stale bytes and puts the line into raw mode: no echo, no canonical mode, no CR/LF
//   translation, no signals, receiver on, modem control lines ignored (CLOCAL). A device that is not a
//   terminal is refused with ENOTTY.
// - Line settings: any rate the driver takes (standard ones as Bxxx, others through termios2), 5 to 8
//   data bits, parity none/odd/even/mark/space, 1 or 2 stop bits. Refused with EINVAL: 4 data bits,
//   1.5 stop bits, a rate of 0. CTS output flow and RTS handshake both map to CRTSCTS; RTS toggle is
//   the kernel's RS-485 mode (RTS on while sending), and SetCommState fails with the driver's error
//   where the driver has no such mode (ENOTTY on a pseudo-terminal); the mode is switched off again at
//   close. Null stripping drops 0 bytes as they are read, so queue counts and receive events still
//   count them. Accepted and without effect (Linux has no equivalent): DSR output flow, DSR
//   sensitivity, continue-on-Xoff, DTR handshake, error-char replacement, abort-on-error and the
//   Xon/Xoff limits. The EOF and event characters are stored only.
// - ClearCommError's hold flags: the CTS hold is set while CTS flow control (or RTS handshake) is on,
//   CTS is low and output is queued. The DSR and RLSD holds cannot occur (no such flow control), and the Xoff
//   hold and Xoff sent states are kept inside the line discipline, which does not show them: those four flags
//   are always clear.
// - Time-outs are stored; every read returns at once with what is queued, possibly nothing, which is
//   what the component asks for.
// - Device events: EV_RXCHAR when new bytes arrive (bytes left unread do not signal again), EV_ERR and
//   EV_BREAK from the driver's error counters where it has them, EV_TXEMPTY once all written bytes have
//   left the driver, EV_RX80FULL when the input reaches 80 % of the SetupComm size, EV_CTS, EV_DSR,
//   EV_RING and EV_RLSD where the device has modem lines. Pseudo-terminals have none: their modem
//   status reads 0 and the line functions for DTR, RTS and break succeed without effect. EV_RXFLAG,
//   EV_PERR, EV_EVENT1 and EV_EVENT2 are never reported. Nothing polls: a dedicated thread per open
//   device sleeps in epoll (edge-triggered) and, for modem lines, another in TIOCMIWAIT.
// - A device that goes away (hang-up, EIO, a read of 0 bytes) fails pending operations and every later
//   call with EIO. Closing the handle completes pending operations with ECANCELED before it returns,
//   so nothing is written into the caller's memory afterwards.
// - Overlapped operations need an event in OVERLAPPED::hEvent. RESETDEV is accepted and does nothing.
#pragma once

#include <string>
#include <string_view>

#include "platform/win32_types.h"

namespace platform {

// The device file behind a port name; empty when the name cannot name one.
std::string DeviceFileName(std::string_view name);

HANDLE CreateFile(const char* name, DWORD access, DWORD shareMode, void* security, DWORD creation,
                  DWORD flags, HANDLE templateFile);

BOOL SetupComm(HANDLE device, DWORD inQueue, DWORD outQueue);
BOOL GetCommState(HANDLE device, DCB* dcb);
BOOL SetCommState(HANDLE device, const DCB* dcb);
BOOL GetCommTimeouts(HANDLE device, COMMTIMEOUTS* timeouts);
BOOL SetCommTimeouts(HANDLE device, const COMMTIMEOUTS* timeouts);
BOOL GetCommMask(HANDLE device, DWORD* mask);
BOOL SetCommMask(HANDLE device, DWORD mask);
BOOL WaitCommEvent(HANDLE device, DWORD* eventMask, OVERLAPPED* ov);
BOOL ReadFile(HANDLE device, void* buffer, DWORD count, DWORD* read, OVERLAPPED* ov);
BOOL WriteFile(HANDLE device, const void* buffer, DWORD count, DWORD* written, OVERLAPPED* ov);
BOOL GetOverlappedResult(HANDLE device, OVERLAPPED* ov, DWORD* transferred, BOOL wait);
// Cancels the pending operation of ov, or all of the device's when ov is null.
BOOL CancelIoEx(HANDLE device, OVERLAPPED* ov);
BOOL ClearCommError(HANDLE device, DWORD* errors, COMSTAT* status);
BOOL PurgeComm(HANDLE device, DWORD flags);
BOOL EscapeCommFunction(HANDLE device, DWORD function);
BOOL GetCommModemStatus(HANDLE device, DWORD* modemStatus);
// Tests only: a device without modem lines (a pseudo-terminal) reads these TIOCM_* bits as its modem
// status, so that what the lamps show can be followed from the platform up; -1 restores none.
void SetAbsentModemLinesForTesting(int lines);
BOOL GetCommProperties(HANDLE device, COMMPROP* properties);
BOOL GetDefaultCommConfig(const char* name, COMMCONFIG* config, DWORD* size);

}  // namespace platform
