// SPDX-License-Identifier: GPL-3.0-or-later
// The serial component's synchronous call on a Qt event loop: a worker queues a step, wakes the
// loop and waits; the loop runs the step and lets the worker go. Built on standard locks rather
// than a blocking queued Qt call, so ThreadSanitizer sees the hand-over. The loop is woken through
// an eventfd on Linux and an event object on Windows.
#pragma once

#include <QObject>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

class GuiCallQueue : public QObject {
 public:
  GuiCallQueue();
  ~GuiCallQueue() override;

  // Blocks the calling worker until the event loop's thread has run step.
  void Call(const std::function<void()>& step);
  // Runs what is queued now; the event loop calls it when woken.
  void RunQueued();

 private:
  // Done is told through a mutex and a condition: libstdc++'s semaphore without futexes (Windows)
  // can miss its release, and the worker then waits for ever.
  struct Item {
    explicit Item(const std::function<void()>* s) : step(s) {}
    const std::function<void()>* step;
    std::mutex mutex;
    std::condition_variable changed;
    bool done = false;
  };
  class Wake;

  std::unique_ptr<Wake> wake_;
  std::mutex mutex_;
  std::deque<Item*> queue_;
};
