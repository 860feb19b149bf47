// SPDX-License-Identifier: GPL-3.0-or-later
// Waiting for a port that is not there yet (an adapter still to be plugged) until it can be opened.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace platform {

enum class PortWait { Ready, TimedOut, Stopped };

// The longest between two tries at a port that is awaited, whatever the system tells.
inline constexpr int kPortLookMs = 500;

// Told when the port's device file, or the folder on its way to it, appears or changes in the
// nearest folder there is (/dev for /dev/serial/by-id/... before any USB adapter was plugged); what
// else happens there (/dev is busy) is passed over. Where the system tells nothing (Windows), the
// port is looked at every kPortLookMs.
class PortWatch {
 public:
  explicit PortWatch(std::string name);
  ~PortWatch();
  PortWatch(const PortWatch&) = delete;
  PortWatch& operator=(const PortWatch&) = delete;
  // Readable when the folder changed; -1 where there is none to wait on.
  int Descriptor() const { return fd_; }
  // Takes what it was told and watches anew when a nearer folder appeared; true when any of it was
  // of the port's way.
  bool Drain();
  // Sleeps until the port's way changed or ms passed; a signal ends it early.
  void Wait(int ms);

 private:
  void Arm();
  std::string name_;
  int fd_ = -1;
  int watch_ = -1;
  std::string folder_;
  std::string next_;  // the name in folder_ on the way to the port
};

// Tries the port at once and again whenever its folder changes (Linux: inotify) or at the latest
// every half second, until it opens, timeoutMs passes or stop() holds. lastError: the system's
// code of the last refusal (not there, no permission, busy), for saying why.
PortWait WaitForPort(const std::string& name, int timeoutMs, const std::function<bool()>& stop,
                     std::uint32_t* lastError = nullptr);

}  // namespace platform
