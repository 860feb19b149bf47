// SPDX-License-Identifier: GPL-3.0-or-later
// Internal: the handle table behind HANDLE values, shared by the kernel and serial parts of this layer.
#pragma once

#include <memory>

#include "platform/win32_types.h"

namespace platform::detail {

class KernelObject {
 public:
  virtual ~KernelObject() = default;
  // Runs once, when the last handle is closed; the object may live on while a call still uses it.
  virtual void Close() {}
};

HANDLE RegisterObject(std::shared_ptr<KernelObject> object);
std::shared_ptr<KernelObject> LookupObject(HANDLE handle);

template <class T>
std::shared_ptr<T> Lookup(HANDLE handle) {
  return std::dynamic_pointer_cast<T>(LookupObject(handle));
}

// Something whose progress sets events: a thread waiting on such an event can poll what WaitPoll
// names and call ServiceFromWaiter itself when it fires, instead of waiting for another thread to
// pass the news on.
class IoSource {
 public:
  virtual ~IoSource() = default;
  virtual void WaitPoll(int* fd, short* events) = 0;
  virtual void ServiceFromWaiter(int fd, short revents) = 0;
  // Bracket a waiter's sleep on what WaitPoll named (fd), so the source may leave the servicing to
  // it meanwhile and know when nobody polls its descriptors any more.
  virtual void BeginWait() = 0;
  virtual void EndWait(int fd) = 0;
};

// Marks event as driven by source (null clears it).
void SetEventSource(HANDLE event, std::shared_ptr<IoSource> source);

// Sets the last error and returns FALSE, for the common failure path.
BOOL Fail(DWORD code);

// Completes an overlapped operation: result fields first, then the status, then the event.
void CompleteOverlapped(OVERLAPPED* ov, DWORD status, DWORD bytes);
ULONG_PTR OverlappedStatus(const OVERLAPPED* ov);

}  // namespace platform::detail
