// SPDX-License-Identifier: GPL-3.0-or-later
// What the port component shares with its event and write threads: the state they outlive a Close
// with, the guard that runs their steps on the GUI thread, and the threads themselves.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "comm/SioComm.h"
#include "comm/Sioutils.h"
#include "platform/kernel.h"
#include "platform/serial.h"

namespace sio_detail {

using namespace platform;  // the threads speak the system's serial interface

// What the component shares with its threads. The threads outlive a Close (they are signalled, not
// awaited), so the locks they use live here, and comm is cleared when the component is destroyed so
// that a step still queued for the GUI thread finds nothing to run on.
struct CommCore {
  TSioCustomComm* comm = nullptr;  // GUI thread only
  unsigned generation = 0;         // one per Open; GUI thread only
  TSioSyncCall sync;
  TSioCriticalSection writeLock;
  TSioCriticalSection globalLock;
  // The opening whose handle is open, 0 while closed. Windows gives a closed handle's value to the
  // next open at once, so a thread of an earlier opening starts nothing on its handle value unless
  // this still names its opening, checked under handleLock, which Close takes before closing.
  TSioCriticalSection handleLock;
  unsigned openGeneration = 0;  // under handleLock
};

extern std::atomic<DWORD> gClosePause;

// Runs step on the GUI thread with the component it belongs to, unless that component is gone or has
// been opened again since the step was made.
void RunOnGui(const std::shared_ptr<CommCore>& core, const TSioSyncCall& sync, unsigned generation,
              const std::function<void(TSioCustomComm*)>& step);

// Runs start, which begins an operation on a worker's handle, only while that handle is still the
// open one; false when its opening has been closed. start must return at once: Close waits for the
// lock before it closes the handle.
template <class Start>
bool IfStillOpen(CommCore& core, unsigned generation, Start&& start) {
  TSioLockGuard lock(core.handleLock);
  if (core.openGeneration != generation) return false;
  start();
  return true;
}

// An overlapped operation's record, with room for what the device writes back.
struct TSioIo {
  OVERLAPPED ov{};
  DWORD mask = 0;
  std::vector<std::uint8_t> data;
};

void AwaitIo(std::unique_ptr<TSioIo>& io);
void EndIo(HANDLE h, std::unique_ptr<TSioIo>& io);
void EndWorkerIo(CommCore& core, unsigned generation, HANDLE h, std::unique_ptr<TSioIo>& io);

// The write queue: bytes held always start at the front of the block.
class TSioCommBuffer {
 public:
  explicit TSioCommBuffer(int size) : data_(static_cast<std::size_t>(std::max(size, 0))) {}
  std::uint8_t* DataPtr() { return data_.data(); }
  int Count() const { return count_; }
  int Size() const { return static_cast<int>(data_.size()); }
  void Clear() { count_ = 0; }
  void Write(const void* data, int count) {
    std::memcpy(data_.data() + count_, data, static_cast<std::size_t>(count));
    count_ += count;
  }
  void Peek(void* data, int count) const { std::memcpy(data, data_.data(), static_cast<std::size_t>(count)); }
  void Read(void* data, int count) {
    Peek(data, count);
    Remove(count);
  }
  void Remove(int count) {
    count = std::min(count, count_.load());
    std::memmove(data_.data(), data_.data() + count, static_cast<std::size_t>(count_ - count));
    count_ -= count;
  }

 private:
  std::vector<std::uint8_t> data_;
  std::atomic<int> count_{0};
};

class TSioCommEventThread : public TSioThread {
 public:
  TSioCommEventThread(std::shared_ptr<CommCore> core, HANDLE handle)
      : core_(std::move(core)), handle_(handle), generation_(core_->generation), sync_(core_->sync) {}

  void StopThread() {
    Terminate();
    waitEvent_.SetEvent();
  }

 protected:
  void Execute() override;

 private:
  std::shared_ptr<CommCore> core_;
  HANDLE handle_;
  unsigned generation_;
  TSioSyncCall sync_;
  TSioWaitEvent waitEvent_;
};

class TSioCommWriteThread : public TSioThread {
 public:
  TSioCommWriteThread(std::shared_ptr<CommCore> core, HANDLE handle, int size)
      : core_(std::move(core)),
        handle_(handle),
        generation_(core_->generation),
        sync_(core_->sync),
        queue_(size) {}

  void StopThread() { stop_.SetEvent(); }

  // Waits up to writeTimeout for room; the room is checked under the lock, since another writer may
  // take it between a look and the write.
  bool WriteData(const void* data, int count, DWORD writeTimeout) {
    if (count <= 0) return false;
    TSioTimeEvent timer;
    InitTimer(timer, writeTimeout);
    for (;;) {
      {
        TSioLockGuard lock(core_->writeLock);
        if (count <= queue_.Size() - queue_.Count()) {
          queue_.Write(data, count);
          dataReady_.SetEvent();
          return true;
        }
      }
      if (TimerExpired(timer)) return false;
      Sleep(1);
    }
  }

  // From a step this thread waits on (OnTxEmpty, the error path) the thread cannot answer the request;
  // it has no write under way there either, so the queue is cleared at once. The lock orders this
  // against the thread entering a step: a request made just before is answered before it blocks.
  void PurgeWrite() {
    {
      TSioLockGuard lock(core_->writeLock);
      if (inStep_) {
        queue_.Clear();
        return;
      }
      purgeDone_.ResetEvent();
      purgeRequest_.SetEvent();
    }
    if (purgeDone_.WaitFor(2000) != wrSignaled) return;
    TSioLockGuard lock(core_->writeLock);
    queue_.Clear();
  }

  // Under the write lock.
  int Used() const { return queue_.Count(); }

 protected:
  void Execute() override;

 private:
  void AnswerPurge() {
    purgeRequest_.ResetEvent();
    purgeDone_.SetEvent();
  }

  void Completion(DWORD written) {
    {
      TSioLockGuard lock(core_->writeLock);
      queue_.Remove(static_cast<int>(written));
      if (queue_.Count() > 0) {
        dataReady_.SetEvent();
        return;
      }
      dataReady_.ResetEvent();
    }
    Step([](TSioCustomComm* comm) { comm->HandleLineEvent(EV_TXEMPTY); });
  }

  void Step(const std::function<void(TSioCustomComm*)>& step) {
    {
      TSioLockGuard lock(core_->writeLock);
      inStep_ = true;
      if (purgeRequest_.WaitFor(0) == wrSignaled) AnswerPurge();
    }
    RunOnGui(core_, sync_, generation_, step);
    TSioLockGuard lock(core_->writeLock);
    inStep_ = false;
  }

  std::shared_ptr<CommCore> core_;
  HANDLE handle_;
  unsigned generation_;
  TSioSyncCall sync_;
  bool inStep_ = false;  // under the write lock
  TSioCommBuffer queue_;
  TSioWaitEvent dataReady_, stop_, purgeRequest_, purgeDone_, ioDone_;
};

}  // namespace sio_detail
