// SPDX-License-Identifier: GPL-3.0-or-later
#include "guicall/gui_call_queue.h"

#ifdef Q_OS_WIN
#include <windows.h>
#include <QWinEventNotifier>
#else
#include <sys/eventfd.h>
#include <unistd.h>
#include <QSocketNotifier>

#include <cstdint>
#endif

#ifdef Q_OS_WIN
// An auto-reset event: the notifier's wait takes the signal, and one run serves every step queued.
class GuiCallQueue::Wake {
 public:
  explicit Wake(GuiCallQueue* queue)
      : event_(CreateEventW(nullptr, FALSE, FALSE, nullptr)), notifier_(event_) {
    QObject::connect(&notifier_, &QWinEventNotifier::activated, queue, [queue] { queue->RunQueued(); });
  }
  ~Wake() {
    notifier_.setEnabled(false);
    CloseHandle(event_);
  }
  void Signal() { SetEvent(event_); }

 private:
  HANDLE event_;
  QWinEventNotifier notifier_;
};
#else
class GuiCallQueue::Wake {
 public:
  explicit Wake(GuiCallQueue* queue)
      : fd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)), notifier_(fd_, QSocketNotifier::Read) {
    QObject::connect(&notifier_, &QSocketNotifier::activated, queue, [this, queue] {
      std::uint64_t count;
      [[maybe_unused]] const auto n = ::read(fd_, &count, sizeof count);
      queue->RunQueued();
    });
  }
  ~Wake() {
    notifier_.setEnabled(false);
    ::close(fd_);
  }
  void Signal() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto n = ::write(fd_, &one, sizeof one);
  }

 private:
  int fd_;
  QSocketNotifier notifier_;
};
#endif

GuiCallQueue::GuiCallQueue() : wake_(std::make_unique<Wake>(this)) {}

GuiCallQueue::~GuiCallQueue() {
  // Nobody may stay blocked on a queue that is gone; the steps themselves check what they serve.
  RunQueued();
}

void GuiCallQueue::Call(const std::function<void()>& step) {
  Item item{&step, false};
  {
    std::lock_guard lock(mutex_);
    queue_.push_back(&item);
  }
  wake_->Signal();
  std::unique_lock lock(mutex_);
  done_.wait(lock, [&] { return item.done; });
}

void GuiCallQueue::RunQueued() {
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
    done_.notify_all();  // the item may be gone now: only the queue's own objects are touched
  }
}
