// SPDX-License-Identifier: GPL-3.0-or-later
// The Win32-shaped records, constants and error codes that the serial component is written against.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace platform {

using DWORD = std::uint32_t;
using WORD = std::uint16_t;
using BYTE = std::uint8_t;
using BOOL = int;
using HANDLE = void*;
using ULONG_PTR = std::uintptr_t;

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;
inline const HANDLE INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(~std::uintptr_t{0});
constexpr DWORD INFINITE = 0xFFFFFFFF;
constexpr DWORD MAXDWORD = 0xFFFFFFFF;

// Error codes. Apart from these, GetLastError() holds the errno of the failed call.
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;  // also ENOENT
constexpr DWORD ERROR_IO_PENDING = 997;
constexpr DWORD ERROR_IO_INCOMPLETE = 996;  // GetOverlappedResult without waiting, still running

// Waits.
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_ABANDONED_0 = 0x80;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;

// CreateFile.
constexpr DWORD GENERIC_READ = 0x80000000;
constexpr DWORD GENERIC_WRITE = 0x40000000;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD FILE_FLAG_OVERLAPPED = 0x40000000;

// Comm events (event mask bits).
constexpr DWORD EV_RXCHAR = 0x0001;
constexpr DWORD EV_RXFLAG = 0x0002;
constexpr DWORD EV_TXEMPTY = 0x0004;
constexpr DWORD EV_CTS = 0x0008;
constexpr DWORD EV_DSR = 0x0010;
constexpr DWORD EV_RLSD = 0x0020;
constexpr DWORD EV_BREAK = 0x0040;
constexpr DWORD EV_ERR = 0x0080;
constexpr DWORD EV_RING = 0x0100;
constexpr DWORD EV_PERR = 0x0200;
constexpr DWORD EV_RX80FULL = 0x0400;
constexpr DWORD EV_EVENT1 = 0x0800;
constexpr DWORD EV_EVENT2 = 0x1000;

// Line errors reported by ClearCommError.
constexpr DWORD CE_RXOVER = 0x0001;
constexpr DWORD CE_OVERRUN = 0x0002;
constexpr DWORD CE_RXPARITY = 0x0004;
constexpr DWORD CE_FRAME = 0x0008;
constexpr DWORD CE_BREAK = 0x0010;

// PurgeComm flags.
constexpr DWORD PURGE_TXABORT = 0x0001;
constexpr DWORD PURGE_RXABORT = 0x0002;
constexpr DWORD PURGE_TXCLEAR = 0x0004;
constexpr DWORD PURGE_RXCLEAR = 0x0008;

// EscapeCommFunction functions.
constexpr DWORD SETXOFF = 1;
constexpr DWORD SETXON = 2;
constexpr DWORD SETRTS = 3;
constexpr DWORD CLRRTS = 4;
constexpr DWORD SETDTR = 5;
constexpr DWORD CLRDTR = 6;
constexpr DWORD RESETDEV = 7;
constexpr DWORD SETBREAK = 8;
constexpr DWORD CLRBREAK = 9;

// GetCommModemStatus bits.
constexpr DWORD MS_CTS_ON = 0x0010;
constexpr DWORD MS_DSR_ON = 0x0020;
constexpr DWORD MS_RING_ON = 0x0040;
constexpr DWORD MS_RLSD_ON = 0x0080;

// DCB flag word bits.
constexpr DWORD DCB_BINARY = 0x0001;
constexpr DWORD DCB_PARITY = 0x0002;
constexpr DWORD DCB_OUTX_CTS_FLOW = 0x0004;
constexpr DWORD DCB_OUTX_DSR_FLOW = 0x0008;
constexpr DWORD DCB_DTR_CONTROL_MASK = 0x0030;
constexpr DWORD DCB_DTR_CONTROL_ENABLE = 0x0010;
constexpr DWORD DCB_DTR_CONTROL_HANDSHAKE = 0x0020;
constexpr DWORD DCB_DSR_SENSITIVITY = 0x0040;
constexpr DWORD DCB_TX_CONTINUE_ON_XOFF = 0x0080;
constexpr DWORD DCB_OUTX = 0x0100;
constexpr DWORD DCB_INX = 0x0200;
constexpr DWORD DCB_ERROR_CHAR = 0x0400;
constexpr DWORD DCB_NULL = 0x0800;
constexpr DWORD DCB_RTS_CONTROL_MASK = 0x3000;
constexpr DWORD DCB_RTS_CONTROL_ENABLE = 0x1000;
constexpr DWORD DCB_RTS_CONTROL_HANDSHAKE = 0x2000;
constexpr DWORD DCB_RTS_CONTROL_TOGGLE = 0x3000;
constexpr DWORD DCB_ABORT_ON_ERROR = 0x4000;

constexpr BYTE NOPARITY = 0, ODDPARITY = 1, EVENPARITY = 2, MARKPARITY = 3, SPACEPARITY = 4;
constexpr BYTE ONESTOPBIT = 0, ONE5STOPBITS = 1, TWOSTOPBITS = 2;

// Device control record; the Win32 bit fields are one flag word here (DCB_* bits).
struct DCB {
  DWORD DCBlength;
  DWORD BaudRate;
  DWORD Flags;
  WORD wReserved;
  WORD XonLim;
  WORD XoffLim;
  BYTE ByteSize;
  BYTE Parity;
  BYTE StopBits;
  char XonChar;
  char XoffChar;
  char ErrorChar;
  char EofChar;
  char EvtChar;
  WORD wReserved1;
};
static_assert(sizeof(DCB) == 28);

struct COMMTIMEOUTS {
  DWORD ReadIntervalTimeout;
  DWORD ReadTotalTimeoutMultiplier;
  DWORD ReadTotalTimeoutConstant;
  DWORD WriteTotalTimeoutMultiplier;
  DWORD WriteTotalTimeoutConstant;
};

// Status of ClearCommError: Flags holds the hold bits (0 CTS, 1 DSR, 2 RLSD, 3 Xoff hold, 4 Xoff sent,
// 5 EOF, 6 Tx immediate). Linux tells only the CTS hold; see serial.h.
constexpr DWORD COMSTAT_CTS_HOLD = 0x01;
struct COMSTAT {
  DWORD Flags;
  DWORD cbInQue;
  DWORD cbOutQue;
};

struct COMMPROP {
  WORD wPacketLength;
  WORD wPacketVersion;
  DWORD dwServiceMask;
  DWORD dwReserved1;
  DWORD dwMaxTxQueue;
  DWORD dwMaxRxQueue;
  DWORD dwMaxBaud;
  DWORD dwProvSubType;
  DWORD dwProvCapabilities;
  DWORD dwSettableParams;
  DWORD dwSettableBaud;
  WORD wSettableData;
  WORD wSettableStopParity;
  DWORD dwCurrentTxQueue;
  DWORD dwCurrentRxQueue;
  DWORD dwProvSpec1;
  DWORD dwProvSpec2;
  char16_t wcProvChar[1];
};
static_assert(sizeof(COMMPROP) == 64);

struct COMMCONFIG {
  DWORD dwSize;
  WORD wVersion;
  WORD wReserved;
  DCB dcb;
  DWORD dwProviderSubType;
  DWORD dwProviderOffset;
  DWORD dwProviderSize;
  char16_t wcProviderData[1];
};
static_assert(sizeof(COMMCONFIG) == 52);

// Internal holds the status of the operation (STATUS_PENDING while it runs, 0 on success, else the
// error code); InternalHigh the bytes transferred.
struct OVERLAPPED {
  ULONG_PTR Internal;
  ULONG_PTR InternalHigh;
  DWORD Offset;
  DWORD OffsetHigh;
  HANDLE hEvent;
};
constexpr ULONG_PTR STATUS_PENDING = 0x103;

// Whether the device has written the outcome of ov's operation; unlike GetOverlappedResult it needs
// no handle, so it may be asked after the handle has been closed.
inline bool IoCompleted(const OVERLAPPED* ov) {
  return std::atomic_ref<ULONG_PTR>(const_cast<OVERLAPPED*>(ov)->Internal).load(std::memory_order_acquire) !=
         STATUS_PENDING;
}

}  // namespace platform
