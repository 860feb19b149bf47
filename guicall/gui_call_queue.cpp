#include "guicall/gui_call_queue.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

GuiCallQueue::GuiCallQueue()
    : wakeFd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)), notifier_(wakeFd_, QSocketNotifier::Read) {
  connect(&notifier_, &QSocketNotifier::activated, this, [this] {
    std::uint64_t count;
    [[maybe_unused]] const auto n = ::read(wakeFd_, &count, sizeof count);
    RunQueued();
  });
}

GuiCallQueue::~GuiCallQueue() {
  // Nobody may stay blocked on a queue that is gone; the steps themselves check what they serve.
  RunQueued();
  ::close(wakeFd_);
}

void GuiCallQueue::Call(const std::function<void()>& step) {
  Item item{&step};
  {
    std::lock_guard lock(mutex_);
    queue_.push_back(&item);
  }
  const std::uint64_t one = 1;
  [[maybe_unused]] const auto n = ::write(wakeFd_, &one, sizeof one);
  item.done.acquire();
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
    item->done.release();
  }
}
