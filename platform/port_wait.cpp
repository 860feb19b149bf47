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
void PortWatch::Drain() {}
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
  for (std::filesystem::path folder = std::filesystem::path(DeviceFileName(name_)).parent_path();
       !folder.empty(); folder = folder.parent_path()) {
    if (std::filesystem::is_directory(folder, ec)) {
      if (folder.string() == folder_) return;
      if (watch_ >= 0) inotify_rm_watch(fd_, watch_);
      watch_ = inotify_add_watch(fd_, folder.c_str(), IN_CREATE | IN_ATTRIB | IN_MOVED_TO | IN_CLOSE_WRITE);
      folder_ = folder.string();
      return;
    }
    if (folder == folder.parent_path()) return;
  }
}

void PortWatch::Drain() {
  if (fd_ < 0) return;
  char events[4096];
  while (::read(fd_, events, sizeof events) > 0) {
  }
  Arm();
}

void PortWatch::Wait(int ms) {
  if (fd_ < 0) {
    ::usleep(static_cast<useconds_t>(ms) * 1000);
    return;
  }
  pollfd p{fd_, POLLIN, 0};
  if (::poll(&p, 1, ms) > 0) Drain();
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
