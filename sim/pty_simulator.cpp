// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/pty_simulator.h"

#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <system_error>

namespace sim {

double PtySimulator::NowMs() const {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start_).count();
}

FaultCounts PtySimulator::Injected() {
  std::lock_guard lock(mutex_);
  return adapter_.Injected();
}

ModuleMemory PtySimulator::Working() {
  std::lock_guard lock(mutex_);
  return module_.Working();
}

ModuleMemory PtySimulator::Stored() {
  std::lock_guard lock(mutex_);
  return module_.Stored();
}

std::vector<LogEntry> PtySimulator::Log() {
  std::lock_guard lock(mutex_);
  return log_;
}

void PtySimulator::SetFaults(const Faults& faults) {
  std::lock_guard lock(mutex_);
  adapter_.SetFaults(faults);
}

void PtySimulator::SetLogSink(std::function<void(const LogEntry&)> sink) {
  std::lock_guard lock(mutex_);
  sink_ = std::move(sink);
}

void PtySimulator::PinAdc(int ch, std::optional<double> adc) {
  std::lock_guard lock(mutex_);
  module_.PinAdc(ch, adc);
}

void PtySimulator::Record(bool request, const std::vector<std::uint8_t>& bytes) {
  LogEntry entry{NowMs(), request, bytes};
  if (sink_) sink_(entry);
  if (options_.keepLog) log_.push_back(std::move(entry));
}

#ifdef _WIN32

// Windows has no pseudo-terminals: there the tool talks to real ports only.
PtySimulator::PtySimulator(Options options) : options_(std::move(options)), module_(0), adapter_(module_) {
  throw std::runtime_error("no pseudo-terminals on Windows");
}

PtySimulator::~PtySimulator() = default;

bool PtySimulator::Available() { return false; }

#else

bool PtySimulator::Available() { return true; }

namespace {

// Sleeps until when; false as soon as stopFd is signalled, so that no pause of an answer, however
// long it was asked to be, holds up the simulator's end.
bool SleepUntil(const timespec& when, int stopFd) {
  for (;;) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const long long ns =
        (static_cast<long long>(when.tv_sec) - now.tv_sec) * 1000000000LL + (when.tv_nsec - now.tv_nsec);
    if (ns <= 0) return true;
    const timespec left{static_cast<time_t>(ns / 1000000000LL), static_cast<long>(ns % 1000000000LL)};
    pollfd stop{stopFd, POLLIN, 0};
    if (ppoll(&stop, 1, &left, nullptr) > 0) return false;
  }
}

bool NotAfter(const timespec& a, const timespec& b) {
  return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec <= b.tv_nsec);
}

timespec Add(timespec t, double ms) {
  const auto ns = static_cast<long long>(ms * 1e6);
  t.tv_sec += static_cast<time_t>(ns / 1000000000LL);
  t.tv_nsec += static_cast<long>(ns % 1000000000LL);
  if (t.tv_nsec >= 1000000000L) {
    t.tv_nsec -= 1000000000L;
    ++t.tv_sec;
  }
  return t;
}

}  // namespace

PtySimulator::PtySimulator(Options options)
    : options_(std::move(options)), start_(std::chrono::steady_clock::now()), module_(0), adapter_(module_) {
  if (options_.stateFile)
    if (const std::string why = module_.UseStateFile(*options_.stateFile); !why.empty())
      throw std::runtime_error(why);
  // The destructor does not run for a constructor that throws: close what was opened before it.
  const auto fail = [this](const char* what) {
    const std::string text = std::string(what) + ": " + std::strerror(errno);
    for (int fd : {master_, keepAlive_, stopFd_})
      if (fd >= 0) ::close(fd);
    throw std::runtime_error(text);
  };
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) fail("no pseudo-terminal");
  char name[128];
  if (ptsname_r(master_, name, sizeof name) != 0) fail("no pseudo-terminal name");
  slavePath_ = name;
  // Raw from the start: a tool that opens the line sees no echo and no translation.
  termios tio{};
  tcgetattr(master_, &tio);
  cfmakeraw(&tio);
  cfsetspeed(&tio, B19200);
  tcsetattr(master_, TCSANOW, &tio);
  keepAlive_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (keepAlive_ < 0) fail("cannot open the pseudo-terminal");
  stopFd_ = eventfd(0, EFD_CLOEXEC);
  if (stopFd_ < 0) fail("no event descriptor");  // without it the thread could never be stopped
  adapter_.SetFaults(options_.faults);
  try {
    thread_ = std::thread([this] { Run(); });
  } catch (const std::system_error&) {
    fail("no thread");
  }
}

PtySimulator::~PtySimulator() {
  const std::uint64_t one = 1;
  [[maybe_unused]] const auto n = ::write(stopFd_, &one, sizeof one);
  thread_.join();
  if (master_ >= 0) ::close(master_);
  if (keepAlive_ >= 0) ::close(keepAlive_);
  ::close(stopFd_);
}

void PtySimulator::Run() {
  std::vector<std::uint8_t> buffer(512);
  for (;;) {
    pollfd fds[2] = {{stopFd_, POLLIN, 0}, {master_, POLLIN, 0}};
    const int ready = ::poll(fds, hungUp_ ? 1 : 2, static_cast<int>(Adapter::kQuietMs));
    if (ready < 0 && errno != EINTR) return;
    if (fds[0].revents != 0) return;
    std::vector<Exchange> exchanges;
    if (!hungUp_ && (fds[1].revents & POLLIN)) {
      const ssize_t n = ::read(master_, buffer.data(), buffer.size());
      if (n > 0) {
        const std::vector<std::uint8_t> bytes(buffer.begin(), buffer.begin() + n);
        std::lock_guard lock(mutex_);
        exchanges = adapter_.Receive(bytes, NowMs());
        for (const Exchange& e : exchanges) Record(true, e.request);
      }
    } else if (!hungUp_ && (fds[1].revents & (POLLHUP | POLLERR))) {
      // No tool has the line open (the keep-alive makes this rare): do not spin on it.
      ::poll(nullptr, 0, 10);
    }
    bool hangUp;
    {
      std::lock_guard lock(mutex_);
      adapter_.Quiet(NowMs());
      hangUp = adapter_.HangUpDue();
    }
    // The cable is pulled as the request that makes the hang-up due arrives: it gets no answer, so
    // the tool meets the pull in the middle of that exchange, whatever the scheduling.
    for (const Exchange& e : exchanges)
      if (e.answer && !hangUp) {
        Send(*e.answer);
        // Bytes waiting now came while the answer was being sent: the tool asked before its end.
        pollfd pending{master_, POLLIN, 0};
        if (master_ >= 0 && ::poll(&pending, 1, 0) > 0 && (pending.revents & POLLIN)) {
          std::lock_guard lock(mutex_);
          adapter_.CountOverlap();
        }
      }

    if (hangUp && !hungUp_) {
      hungUp_ = true;
      ::close(master_);  // the line is gone for the tool: its reads fail, its waits end
      master_ = -1;
      ::close(keepAlive_);
      keepAlive_ = -1;
    }
  }
}

// One burst after the turnaround: bytes on a fixed time grid, so there are no gaps inside it. The
// bytes whose time has come go out in one write: a simulator woken late (a busy machine) catches up
// at once, as a line's bytes would all have arrived by then, instead of leaving gaps of its own.
void PtySimulator::Send(const Answer& answer) {
  {
    std::lock_guard lock(mutex_);
    Record(false, answer.bytes);
  }
  const std::size_t size = answer.bytes.size();
  const std::size_t gapAfter = answer.gapMs > 0 ? answer.gapAfter : 0;
  timespec next{};
  clock_gettime(CLOCK_MONOTONIC, &next);
  next = Add(next, options_.turnaroundMs + answer.delayMs);
  for (std::size_t i = 0; i < size;) {
    if (!SleepUntil(next, stopFd_)) return;
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    std::size_t end = i + 1;
    for (timespec due = Add(next, options_.byteMs); end < size && end != gapAfter && NotAfter(due, now);
         due = Add(due, options_.byteMs))
      ++end;
    const auto count = static_cast<ssize_t>(end - i);
    if (master_ < 0 || ::write(master_, &answer.bytes[i], static_cast<std::size_t>(count)) != count) return;
    next = Add(next, options_.byteMs * static_cast<double>(end - i));
    if (end == gapAfter) next = Add(next, answer.gapMs);
    i = end;
  }
}

#endif  // _WIN32

}  // namespace sim
