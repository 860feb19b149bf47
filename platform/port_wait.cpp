// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/port_wait.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <utility>

#include "platform/kernel.h"
#include "platform/ports.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include "platform/serial.h"
#endif

namespace platform {

#ifdef _WIN32
PortWatch::PortWatch(std::string name) : name_(std::move(name)) {}
PortWatch::~PortWatch() = default;
void PortWatch::Arm() {}
bool PortWatch::Drain() { return false; }
// Windows names a plugged adapter's port in its COM list; a half-second look is all it costs.
void PortWatch::Wait(int ms) { ::Sleep(static_cast<DWORD>(ms)); }
#else
PortWatch::PortWatch(std::string name)
    : name_(std::move(name)), fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
  Arm();
}

PortWatch::~PortWatch() {
  if (fd_ >= 0) ::close(fd_);
}

void PortWatch::Arm() {
  if (fd_ < 0) return;
  std::error_code ec;
  const std::filesystem::path file = DeviceFileName(name_);
  for (std::filesystem::path way = file; way.has_parent_path() && way != way.parent_path();
       way = way.parent_path()) {
    const std::filesystem::path folder = way.parent_path();
    if (!std::filesystem::is_directory(folder, ec)) continue;
    next_ = way.filename().string();
    if (folder.string() == folder_) return;
    if (watch_ >= 0) inotify_rm_watch(fd_, watch_);
    // Made, moved in, or its permissions changed (udev sets them after it makes the node).
    watch_ = inotify_add_watch(fd_, folder.c_str(), IN_CREATE | IN_MOVED_TO | IN_ATTRIB);
    folder_ = folder.string();
    return;
  }
}

bool PortWatch::Drain() {
  if (fd_ < 0) return false;
  bool ours = false;
  alignas(inotify_event) char events[4096];
  for (ssize_t n; (n = ::read(fd_, events, sizeof events)) > 0;)
    for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
      const auto* event = reinterpret_cast<const inotify_event*>(events + at);
      ours = ours || (event->len > 0 && next_ == event->name) || (event->mask & IN_Q_OVERFLOW) != 0;
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
  Arm();
  return ours;
}

void PortWatch::Wait(int ms) {
  if (fd_ < 0) {
    ::usleep(static_cast<useconds_t>(ms) * 1000);
    return;
  }
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now())
            .count();
    pollfd p{fd_, POLLIN, 0};
    if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0 || Drain()) return;
  }
}
#endif

PortWait WaitForPort(const std::string& name, int timeoutMs, const std::function<bool()>& stop,
                     std::uint32_t* lastError) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  // Made before the first try, so that a device that appears between the try and the wait wakes it.
  PortWatch watch(name);
  for (;;) {
    if (stop && stop()) return PortWait::Stopped;
    if (ProbePort(name) == PortState::Free) return PortWait::Ready;
    if (lastError != nullptr) *lastError = GetLastError();
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return PortWait::TimedOut;
    watch.Wait(static_cast<int>(std::min<long long>(left.count(), kPortLookMs)));
  }
}

}  // namespace platform
