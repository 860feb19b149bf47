// SPDX-License-Identifier: GPL-3.0-or-later
// Win32-shaped kernel services on POSIX: handles, last error, events and waits, locks, ticks, sleep.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "platform/win32_types.h"

namespace platform {

// Per thread, like the system's: set by every call of this layer that fails.
DWORD GetLastError();
void SetLastError(DWORD code);

// The system text of an error code without trailing blanks, control characters or points.
std::string ErrorText(DWORD code);

// Events. Security attributes and names are not supported: pass nullptr for both.
HANDLE CreateEvent(void* attributes, BOOL manualReset, BOOL initialState, const char* name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);

// Waits on events. With waitAll false the lowest signalled index wins.
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds);

// Closes any handle of this layer. Closing a serial device completes its pending operations first.
BOOL CloseHandle(HANDLE handle);

// Re-entrant lock.
struct CRITICAL_SECTION {
  std::recursive_mutex mutex;
};
void InitializeCriticalSection(CRITICAL_SECTION* section);
void DeleteCriticalSection(CRITICAL_SECTION* section);
void EnterCriticalSection(CRITICAL_SECTION* section);
void LeaveCriticalSection(CRITICAL_SECTION* section);

// Milliseconds since an arbitrary start, wrapping at 2^32.
DWORD GetTickCount();
// Elapsed ticks from start to now, correct across one wrap.
constexpr DWORD TickDiff(DWORD now, DWORD start) { return now - start; }
// Moves the tick count so tests can run across the wrap; 0 restores it.
void SetTickCountBiasForTesting(DWORD bias);

void Sleep(DWORD milliseconds);

// The calling thread's system id, for SetThreadPriorityOf.
int CurrentThreadId();
// Sets a thread's priority, 0 (idle) to 6 (time critical); false when the system refuses it (as it
// may for raising one without privileges).
bool SetThreadPriorityOf(int threadId, int priority);

// The size of the first file that a path with the wildcards "*" and "?" names (0 for a folder), or
// -1 when it names none. Brackets and backslashes are parts of names on Linux.
std::int32_t WildcardFileSize(const std::string& pattern);

// The console, for the programs' own text. True when standard error is a terminal (a console).
bool StderrIsTerminal();
// Makes the console show printed UTF-8 as such (Windows; elsewhere it already does).
void ConsoleOutputUtf8();
// A window program's standard output goes to the console it was started from, if any (Windows,
// where such a program has none of its own; elsewhere it already does).
void OutputToParentConsole();

}  // namespace platform
