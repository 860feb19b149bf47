// SPDX-License-Identifier: GPL-3.0-or-later
// Test support: a real pseudo-terminal pair whose master side the test drives.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <vector>

namespace testing_support {

class Pty {
 public:
  Pty() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) throw std::runtime_error("no pty");
    char name[128];
    if (ptsname_r(master_, name, sizeof name) != 0) throw std::runtime_error("no pts name");
    slave_ = name;
  }
  Pty(const Pty&) = delete;
  Pty& operator=(const Pty&) = delete;
  ~Pty() { CloseMaster(); }

  int master() const { return master_; }
  const std::string& slave() const { return slave_; }
  void CloseMaster() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }

  void Write(const std::string& bytes) const {
    if (::write(master_, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
      throw std::runtime_error("pty write");
  }

  // Reads until count bytes came or the deadline passed.
  std::string Read(std::size_t count, std::chrono::milliseconds within = std::chrono::seconds(5)) const {
    std::string got;
    const auto deadline = std::chrono::steady_clock::now() + within;
    while (got.size() < count) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) break;
      pollfd p{master_, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
      char buffer[4096];
      const ssize_t n = ::read(master_, buffer, std::min(sizeof buffer, count - got.size()));
      if (n <= 0) break;
      got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
  }

 private:
  int master_ = -1;
  std::string slave_;
};

// Opens a terminal the way a plain client of the line would: raw and non-blocking, at speed when
// one is given. Returns the descriptor, or -1.
inline int OpenRawTerminal(const std::string& path, speed_t speed = 0) {
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return fd;
  termios tio{};
  tcgetattr(fd, &tio);
  cfmakeraw(&tio);
  if (speed != 0) cfsetspeed(&tio, speed);
  tcsetattr(fd, TCSANOW, &tio);
  return fd;
}

}  // namespace testing_support
