// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/port_wait.h"

#include <algorithm>
#include <chrono>
#include <filesystem>

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

namespace {

constexpr int kLookMs = 500;  // the longest between two tries, whatever the system tells

#ifndef _WIN32
// Told of what happens in the folders the device file would appear in: the nearest one there is
// (/dev for /dev/serial/by-id/... before any USB adapter was plugged) and its own once it is there.
class FolderWatch {
 public:
  explicit FolderWatch(const std::string& name) : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    if (fd_ < 0) return;
    std::error_code ec;
    for (std::filesystem::path folder = std::filesystem::path(DeviceFileName(name)).parent_path();
         !folder.empty(); folder = folder.parent_path()) {
      if (std::filesystem::is_directory(folder, ec)) {
        inotify_add_watch(fd_, folder.c_str(), IN_CREATE | IN_ATTRIB | IN_MOVED_TO | IN_CLOSE_WRITE);
        break;
      }
      if (folder == folder.parent_path()) break;
    }
  }
  ~FolderWatch() {
    if (fd_ >= 0) ::close(fd_);
  }
  FolderWatch(const FolderWatch&) = delete;
  FolderWatch& operator=(const FolderWatch&) = delete;
  // Sleeps until something changed or ms passed; a signal ends it early.
  void Wait(int ms) {
    if (fd_ < 0) {
      ::usleep(static_cast<useconds_t>(ms) * 1000);
      return;
    }
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, ms) > 0) {
      char events[4096];
      while (::read(fd_, events, sizeof events) > 0) {
      }
    }
  }

 private:
  int fd_;
};
#endif

}  // namespace

PortWait WaitForPort(const std::string& name, int timeoutMs, const std::function<bool()>& stop,
                     std::uint32_t* lastError) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
#ifndef _WIN32
  // Made before the first try, so that a device that appears between the try and the wait wakes it.
  FolderWatch watch(name);
#endif
  for (;;) {
    if (stop && stop()) return PortWait::Stopped;
    if (ProbePort(name) == PortState::Free) return PortWait::Ready;
    if (lastError != nullptr) *lastError = GetLastError();
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return PortWait::TimedOut;
    const int ms = static_cast<int>(std::min<long long>(left.count(), kLookMs));
#ifdef _WIN32
    // Windows names a plugged adapter's port in its COM list; a half-second look is all it costs.
    ::Sleep(static_cast<DWORD>(ms));
#else
    watch.Wait(ms);
#endif
  }
}

}  // namespace platform
