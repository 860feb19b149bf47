// SPDX-License-Identifier: GPL-3.0-or-later
// The serial component's synchronous call on a Qt event loop: a worker queues a step, wakes the
// loop and waits; the loop runs the step and lets the worker go. Built on standard locks rather
// than a blocking queued Qt call, so ThreadSanitizer sees the hand-over. The loop is woken through
// an eventfd on Linux and an event object on Windows.
#pragma once

#include <QObject>

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <semaphore>

class GuiCallQueue : public QObject {
 public:
  GuiCallQueue();
  ~GuiCallQueue() override;

  // Blocks the calling worker until the event loop's thread has run step.
  void Call(const std::function<void()>& step);
  // Runs what is queued now; the event loop calls it when woken.
  void RunQueued();

 private:
  struct Item {
    const std::function<void()>* step;
    std::binary_semaphore done{0};
  };
  class Wake;

  std::unique_ptr<Wake> wake_;
  std::mutex mutex_;
  std::deque<Item*> queue_;
};
