// SPDX-License-Identifier: GPL-3.0-or-later
// Test support: the test's own thread plays the GUI thread. Workers hand it steps through the
// synchronous call and wait; the test runs them while it pumps.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

#include "tests/support/patience.h"

namespace testing_support {

class GuiPump {
 public:
  // Blocks the calling worker until the pumping thread has run step.
  void Call(const std::function<void()>& step) {
    Item item{&step, false};
    {
      std::lock_guard lock(mutex_);
      queue_.push_back(&item);
    }
    queued_.notify_one();  // only the pumping thread waits here
    std::unique_lock lock(mutex_);
    done_.wait(lock, [&] { return item.done; });
  }

  // Runs queued steps until done() holds or the time is up; tells which.
  bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds within = kPatience) {
    const auto deadline = std::chrono::steady_clock::now() + within;
    for (;;) {
      RunQueued();
      if (done()) return true;
      std::unique_lock lock(mutex_);
      if (!queue_.empty()) continue;
      // Conditions may also change outside the steps (a byte arrives at the test's peer): look again soon.
      const auto until = std::min(deadline, std::chrono::steady_clock::now() + std::chrono::milliseconds(2));
      queued_.wait_until(lock, until, [&] { return !queue_.empty(); });
      if (queue_.empty() && std::chrono::steady_clock::now() >= deadline) {
        lock.unlock();
        return done();
      }
    }
  }

  void PumpFor(std::chrono::milliseconds span) {
    PumpUntil([] { return false; }, span);
  }

 private:
  // Not a semaphore, nor a lock of the item's own: libstdc++'s semaphore without futexes (Windows)
  // can miss a release, and the item is gone as soon as its worker returns.
  struct Item {
    const std::function<void()>* step;
    bool done = false;
  };

  void RunQueued() {
    for (;;) {
      Item* item;
      {
        std::lock_guard lock(mutex_);
        if (queue_.empty()) return;
        item = queue_.front();
        queue_.pop_front();
      }
      (*item->step)();
      {
        std::lock_guard lock(mutex_);
        item->done = true;
      }
      done_.notify_all();
    }
  }

  std::mutex mutex_;
  std::condition_variable queued_;
  std::condition_variable done_;
  std::deque<Item*> queue_;
};

}  // namespace testing_support
