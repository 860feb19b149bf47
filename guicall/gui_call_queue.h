// The serial component's synchronous call on a Qt event loop: a worker queues a step, wakes the
// loop through an eventfd and waits; the loop runs the step and lets the worker go. Built on
// standard locks rather than a blocking queued Qt call, so ThreadSanitizer sees the hand-over.
#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <deque>
#include <functional>
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

  int wakeFd_;
  QSocketNotifier notifier_;
  std::mutex mutex_;
  std::deque<Item*> queue_;
};
