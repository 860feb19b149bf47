// SPDX-License-Identifier: GPL-3.0-or-later
// Base classes of the serial component library: settings objects, components, worker threads, and
// the application error handler that exceptions from event handlers go to.
#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <thread>

// Settings object with an update counter: Changed reaches the callback only outside updates.
class TSioPersistent {
 public:
  using TChangeCallback = std::function<void(TSioPersistent* sender)>;
  virtual ~TSioPersistent() = default;

  void BeginUpdate() { ++updateCount_; }
  void EndUpdate() {
    if (updateCount_ > 0) --updateCount_;
    Changed();
  }
  void SetOnChange(TChangeCallback callback) { onChange_ = std::move(callback); }
  std::int32_t UpdateCount() const { return updateCount_; }

 protected:
  void Changed() {
    if (updateCount_ == 0 && onChange_) onChange_(this);
  }

 private:
  std::int32_t updateCount_ = 0;
  TChangeCallback onChange_;
};

// Base of the library's components; the owner object frees them.
class TSioComponent {
 public:
  TSioComponent() = default;
  TSioComponent(const TSioComponent&) = delete;
  TSioComponent& operator=(const TSioComponent&) = delete;
  virtual ~TSioComponent() = default;
};

enum TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

// A worker thread that is created suspended, started once, polls a terminate flag and frees itself
// when Execute returns. Its owner keeps a shared reference only until it signals the thread to stop,
// so a stop signal never reaches a thread that has already freed itself. Priorities map to nice
// values of the thread; raising one needs the right to, and without it the priority is only stored.
class TSioThread : public std::enable_shared_from_this<TSioThread> {
 public:
  TSioThread();
  TSioThread(const TSioThread&) = delete;
  TSioThread& operator=(const TSioThread&) = delete;
  virtual ~TSioThread();

  void Start();
  void Terminate() { terminated_ = true; }
  bool Terminated() const { return terminated_; }
  void SetPriority(TThreadPriority priority);

  // Worker threads of the library that have not ended yet.
  static int RunningCount() { return running_; }

 protected:
  virtual void Execute() = 0;

 private:
  void ApplyPriority();

  std::atomic<bool> terminated_{false};
  std::atomic<int> priority_{tpNormal};
  std::atomic<int> tid_{0};
  static std::atomic<int> running_;
};

// Where exceptions from event handlers go; the default writes them to standard error.
using TSioErrorHandler = std::function<void(std::exception_ptr)>;
void SetSioApplicationErrorHandler(TSioErrorHandler handler);
void HandleSioApplicationException(std::exception_ptr error);

// Runs step, sending an exception it throws to the application error handler.
template <class Step>
void GuardedStep(Step&& step) {
  try {
    step();
  } catch (...) {
    HandleSioApplicationException(std::current_exception());
  }
}
