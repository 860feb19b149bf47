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
  // Done is told through the queue's own lock and a condition that outlive every call: libstdc++'s
  // semaphore without futexes (Windows) can miss its release, and an item's own lock could still
  // be in use by the GUI thread as the worker that owns it returns.
  struct Item {
    const std::function<void()>* step;
    bool done = false;
  };
  class Wake;

  std::unique_ptr<Wake> wake_;
  std::mutex mutex_;
  std::condition_variable done_;
  std::deque<Item*> queue_;
};
