// SPDX-License-Identifier: GPL-3.0-or-later
// The kernel services on Windows: the system's own calls. This layer's headers come first, so that
// windows.h cannot turn their names into macros; the few names it does turn are undone below.
#include "platform/kernel.h"

#include <io.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>

#undef CreateEvent

namespace platform {
namespace {

std::atomic<DWORD> gTickBias{0};

}  // namespace

DWORD GetLastError() { return ::GetLastError(); }
void SetLastError(DWORD code) { ::SetLastError(code); }

// In UTF-8, as every text of the tool: the system's own code page would garble a Russian message.
std::string ErrorText(DWORD code) {
  wchar_t* text = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string result;
  if (length != 0 && text != nullptr) {
    const int bytes =
        ::WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    result.resize(static_cast<std::size_t>(std::max(bytes, 0)));
    ::WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), result.data(), bytes, nullptr, nullptr);
  }
  if (text != nullptr) ::LocalFree(text);
  while (!result.empty() && (static_cast<unsigned char>(result.back()) <= ' ' || result.back() == '.'))
    result.pop_back();
  return result;
}

HANDLE CreateEvent(void* attributes, BOOL manualReset, BOOL initialState, const char* name) {
  return ::CreateEventA(static_cast<SECURITY_ATTRIBUTES*>(attributes), manualReset, initialState, name);
}
BOOL SetEvent(HANDLE event) { return ::SetEvent(event); }
BOOL ResetEvent(HANDLE event) { return ::ResetEvent(event); }

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  return ::WaitForSingleObject(handle, milliseconds);
}

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds) {
  return ::WaitForMultipleObjects(count, handles, waitAll, milliseconds);
}

BOOL CloseHandle(HANDLE handle) { return ::CloseHandle(handle); }

void InitializeCriticalSection(CRITICAL_SECTION*) {}
void DeleteCriticalSection(CRITICAL_SECTION*) {}
void EnterCriticalSection(CRITICAL_SECTION* section) { section->mutex.lock(); }
void LeaveCriticalSection(CRITICAL_SECTION* section) { section->mutex.unlock(); }

DWORD GetTickCount() { return ::GetTickCount() + gTickBias.load(); }
void SetTickCountBiasForTesting(DWORD bias) { gTickBias.store(bias); }

void Sleep(DWORD milliseconds) { ::Sleep(milliseconds); }

int CurrentThreadId() { return static_cast<int>(::GetCurrentThreadId()); }

bool SetThreadPriorityOf(int threadId, int priority) {
  static constexpr int kPriority[] = {THREAD_PRIORITY_IDLE,         THREAD_PRIORITY_LOWEST,
                                      THREAD_PRIORITY_BELOW_NORMAL, THREAD_PRIORITY_NORMAL,
                                      THREAD_PRIORITY_ABOVE_NORMAL, THREAD_PRIORITY_HIGHEST,
                                      THREAD_PRIORITY_TIME_CRITICAL};
  if (priority < 0 || priority > 6) return false;
  const HANDLE thread = ::OpenThread(THREAD_SET_INFORMATION, FALSE, static_cast<DWORD>(threadId));
  if (thread == nullptr) return false;
  const bool done = ::SetThreadPriority(thread, kPriority[priority]) != 0;
  ::CloseHandle(thread);
  return done;
}

std::int32_t WildcardFileSize(const std::string& pattern) {
  WIN32_FIND_DATAA found{};
  const HANDLE search = ::FindFirstFileA(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return -1;
  ::FindClose(search);
  if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return 0;
  return static_cast<std::int32_t>(found.nFileSizeLow);
}

bool StderrIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

void ConsoleOutputUtf8() { ::SetConsoleOutputCP(CP_UTF8); }

void OutputToParentConsole() {
  if (!::AttachConsole(ATTACH_PARENT_PROCESS)) return;
  (void)!std::freopen("CONOUT$", "w", stdout);
  ::SetConsoleOutputCP(CP_UTF8);
}

}  // namespace platform
