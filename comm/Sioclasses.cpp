// SPDX-License-Identifier: GPL-3.0-or-later
#include "comm/Sioclasses.h"

#include <cstdio>
#include <mutex>

#include "platform/kernel.h"

std::atomic<int> TSioThread::running_{0};

namespace {

std::mutex gHandlerMutex;
TSioErrorHandler gHandler;

}  // namespace

TSioThread::TSioThread() = default;
TSioThread::~TSioThread() = default;

void TSioThread::Start() {
  ++running_;
  std::thread([self = shared_from_this()]() mutable {
    self->tid_ = platform::CurrentThreadId();
    self->ApplyPriority();
    self->Execute();
    self.reset();  // frees the thread object unless its owner still holds it
    --running_;
  }).detach();
}

void TSioThread::SetPriority(TThreadPriority priority) {
  priority_ = priority;
  ApplyPriority();
}

void TSioThread::ApplyPriority() {
  const int tid = tid_;
  if (tid != 0) platform::SetThreadPriorityOf(tid, priority_);  // may be refused
}

void SetSioApplicationErrorHandler(TSioErrorHandler handler) {
  std::lock_guard lock(gHandlerMutex);
  gHandler = std::move(handler);
}

void HandleSioApplicationException(std::exception_ptr error) {
  TSioErrorHandler handler;
  {
    std::lock_guard lock(gHandlerMutex);
    handler = gHandler;
  }
  if (handler) {
    handler(error);
    return;
  }
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "unknown exception\n");
  }
}
