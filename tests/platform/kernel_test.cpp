// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "platform/kernel.h"

using namespace platform;

namespace {

TEST(Events, ManualResetWaitsAndPrecedence) {
  const HANDLE a = CreateEvent(nullptr, TRUE, FALSE, nullptr);
  const HANDLE b = CreateEvent(nullptr, TRUE, FALSE, nullptr);
  const HANDLE both[] = {a, b};
  EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 0), WAIT_TIMEOUT);

  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(WaitForSingleObject(a, 30), WAIT_TIMEOUT);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));

  SetEvent(b);
  EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, INFINITE), WAIT_OBJECT_0 + 1);
  SetEvent(a);
  EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, INFINITE), WAIT_OBJECT_0) << "lowest index wins";
  EXPECT_EQ(WaitForSingleObject(a, 0), WAIT_OBJECT_0) << "manual reset stays set";
  EXPECT_EQ(WaitForMultipleObjects(2, both, TRUE, 0), WAIT_OBJECT_0);
  ResetEvent(a);
  EXPECT_EQ(WaitForMultipleObjects(2, both, TRUE, 0), WAIT_TIMEOUT);

  // A wait on another thread ends when the event is set.
  std::thread setter([a] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    SetEvent(a);
  });
  EXPECT_EQ(WaitForSingleObject(a, 5000), WAIT_OBJECT_0);
  setter.join();

  EXPECT_TRUE(CloseHandle(a));
  EXPECT_TRUE(CloseHandle(b));
  EXPECT_FALSE(CloseHandle(a)) << "a closed handle is invalid";
  EXPECT_EQ(WaitForSingleObject(a, 0), WAIT_FAILED);
}

TEST(Events, AutoResetReleasesOneWait) {
  const HANDLE e = CreateEvent(nullptr, FALSE, TRUE, nullptr);
  EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_TIMEOUT);
  CloseHandle(e);
}

TEST(CriticalSection, IsReentrant) {
  CRITICAL_SECTION section;
  InitializeCriticalSection(&section);
  EnterCriticalSection(&section);
  EnterCriticalSection(&section);
  LeaveCriticalSection(&section);
  bool entered = false;
  std::thread other([&] {
    EnterCriticalSection(&section);
    entered = true;
    LeaveCriticalSection(&section);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(entered) << "still held once";
  LeaveCriticalSection(&section);
  other.join();
  EXPECT_TRUE(entered);
  DeleteCriticalSection(&section);
}

TEST(TickCount, TimedWrapsAndDiffsAcrossTheWrap) {
  EXPECT_EQ(TickDiff(5, 0xFFFFFFF0U), 0x15U);
  EXPECT_EQ(TickDiff(100, 40), 60U);

  DWORD before = 0;
  for (int i = 0; i < 10 && before < 0xFFFFFF00U; ++i) {  // a stall may carry the count past the wrap
    SetTickCountBiasForTesting(0xFFFFFFFFU - GetTickCount() - 10);  // 10 ms before the wrap
    before = GetTickCount();
  }
  Sleep(30);
  const DWORD after = GetTickCount();
  SetTickCountBiasForTesting(0);
  EXPECT_LT(after, before) << "the count wrapped";
#ifdef _WIN32
  constexpr DWORD kResolution = 16;  // the system's tick moves in steps of up to 15.6 ms
#else
  constexpr DWORD kResolution = 0;
#endif
  EXPECT_GE(TickDiff(after, before), 30U - kResolution);
  EXPECT_LT(TickDiff(after, before), 2000U);
}

TEST(LastError, IsPerThreadAndHasText) {
  SetLastError(2);
  std::thread([] {
    EXPECT_EQ(GetLastError(), 0U);
    SetLastError(5);
  }).join();
#ifndef _WIN32
  // On Windows, joining the thread is itself a system call that may leave its own code.
  EXPECT_EQ(GetLastError(), 2U);
#endif
#ifdef _WIN32
  // The system's own texts, which differ between Windows versions (and Wine): only their form.
  for (const DWORD code : {DWORD{2}, ERROR_IO_PENDING}) {
    const std::string text = ErrorText(code);
    EXPECT_FALSE(text.empty()) << code;
    EXPECT_NE(text.back(), '.') << text;
    EXPECT_GT(static_cast<unsigned char>(text.back()), ' ') << text;
  }
#else
  EXPECT_EQ(ErrorText(2), "No such file or directory");
  EXPECT_EQ(ErrorText(ERROR_IO_PENDING), "Overlapped I/O operation is in progress");
#endif
}

}  // namespace
