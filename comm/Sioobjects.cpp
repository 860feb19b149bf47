// SPDX-License-Identifier: GPL-3.0-or-later
#include "comm/Sioobjects.h"

TSioHandleObject::~TSioHandleObject() {
  if (handle_ != nullptr) platform::CloseHandle(handle_);
}

TSioEvent::TSioEvent(void* attributes, bool manualReset, bool initialState, const char* name) {
  handle_ = platform::CreateEvent(attributes, manualReset ? platform::TRUE : platform::FALSE,
                                  initialState ? platform::TRUE : platform::FALSE, name);
}

void TSioEvent::SetEvent() { platform::SetEvent(handle_); }
void TSioEvent::ResetEvent() { platform::ResetEvent(handle_); }

TSioEventWaitResult TSioEvent::WaitFor(platform::DWORD timeout) {
  switch (platform::WaitForSingleObject(handle_, timeout)) {
    case platform::WAIT_OBJECT_0:
      return wrSignaled;
    case platform::WAIT_TIMEOUT:
      return wrTimeout;
    case platform::WAIT_ABANDONED_0:
      return wrAbandoned;
    case platform::WAIT_FAILED:
      lastError_ = platform::GetLastError();
      return wrError;
    default:
      return wrError;
  }
}
