// SPDX-License-Identifier: GPL-3.0-or-later
// Events and locks of the serial component, over the platform layer's handles.
#pragma once

#include "platform/kernel.h"

enum TSioEventWaitResult { wrSignaled, wrTimeout, wrAbandoned, wrError };

// Owns one platform handle and remembers the error of its last failed wait.
class TSioHandleObject {
 public:
  TSioHandleObject() = default;
  TSioHandleObject(const TSioHandleObject&) = delete;
  TSioHandleObject& operator=(const TSioHandleObject&) = delete;
  virtual ~TSioHandleObject();
  platform::HANDLE Handle() const { return handle_; }
  platform::DWORD LastError() const { return lastError_; }

 protected:
  platform::HANDLE handle_ = nullptr;
  platform::DWORD lastError_ = 0;
};

class TSioEvent : public TSioHandleObject {
 public:
  // Security attributes and names are not supported by the platform layer: pass nullptr.
  TSioEvent(void* attributes, bool manualReset, bool initialState, const char* name);
  void SetEvent();
  void ResetEvent();
  TSioEventWaitResult WaitFor(platform::DWORD timeout);
};

// Manual reset, initially clear, unnamed: every event of the component is one.
class TSioWaitEvent : public TSioEvent {
 public:
  TSioWaitEvent() : TSioEvent(nullptr, true, false, nullptr) {}
};

// Re-entrant for the thread that holds it.
class TSioCriticalSection {
 public:
  TSioCriticalSection() { platform::InitializeCriticalSection(&section_); }
  ~TSioCriticalSection() { platform::DeleteCriticalSection(&section_); }
  TSioCriticalSection(const TSioCriticalSection&) = delete;
  TSioCriticalSection& operator=(const TSioCriticalSection&) = delete;
  void Enter() { platform::EnterCriticalSection(&section_); }
  void Leave() { platform::LeaveCriticalSection(&section_); }
  void Acquire() { Enter(); }
  void Release() { Leave(); }

 private:
  platform::CRITICAL_SECTION section_;
};

// Holds a lock for a scope, so an exception cannot leave it held.
class TSioLockGuard {
 public:
  explicit TSioLockGuard(TSioCriticalSection& lock) : lock_(lock) { lock_.Enter(); }
  ~TSioLockGuard() { lock_.Leave(); }
  TSioLockGuard(const TSioLockGuard&) = delete;
  TSioLockGuard& operator=(const TSioLockGuard&) = delete;

 private:
  TSioCriticalSection& lock_;
};
