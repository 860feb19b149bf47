// SPDX-License-Identifier: GPL-3.0-or-later
// vexa_sim: an Ixor adapter with a VEXA behind it on a pseudo-terminal, for the tool, its tests and
// training. Prints the device to open on its first line and runs until SIGINT or SIGTERM.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>

#include "settings/text_number.h"
#include "sim/pty_simulator.h"
#include "vexa_version.h"

namespace {

const char* const kHelp = R"(usage: vexa_sim [options]
Simulates an Ixor adapter with a VEXA module behind it, on a pseudo-terminal, for training and
tests. The first line it prints is the device's path: give that path as the port in vexa_setup or
vexa_cli. It runs until SIGINT or SIGTERM.

  --link PATH            also make PATH a symbolic link to the device (removed on exit); PATH.lock
                         beside it keeps a second simulator off the same PATH. Anything at PATH but a
                         link left by a simulator that is gone is refused
  --log FILE             write one JSON line per request and per answer
  --state FILE           keep the module's non-volatile memory in FILE across runs (created at the
                         first store; a file that is not one of vexa_sim's is refused, and so
                         is the headerless form that earlier builds wrote)
  --turnaround MS        pause before each answer (default 2)
faults:
  --no-module            the adapter finds no module (open answered C0)
  --refuse-setup         set-up steps are refused (90)
  --refuse-read ADDR     reads of ADDR (four hex digits, e.g. 01C0) are refused (C4)
  --refuse-write ADDR    writes to ADDR are refused (C2)
  --no-answer            requests get no answer at all
  --delay MS             added before every answer
  --cut N                answers are truncated to N bytes (0 to 255)
  --gap MS               a pause of MS in the middle of every answer
  --corrupt P            each answer byte is corrupted with probability P
  --drop P               each answer byte is dropped with probability P
  --fault-rate P         each answer gets, with probability P, one fault drawn at random: dropped,
                         truncated, a byte changed, delayed past the quiet time, an extra byte, or
                         refused; the counts are printed on exit
  --seed N               seed for --corrupt, --drop and --fault-rate (default 1; 0 to 4294967295)
  --hang-up-after N      the line closes as request N arrives, unanswered (0 to 4294967295)
  --help, -h             this text
  --version              the version
MS are milliseconds from 0 to 60000, P a probability from 0 to 1. Exit codes: 0 stopped by a
signal, 1 could not start (the reason on stderr), 2 usage error.
)";

// What --help and --version print reached their reader; said when it did not.
bool Printed() {
  errno = 0;
  std::cout.flush();
  if (std::cout) return true;
  std::cerr << "vexa_sim: the output could not be written: " << std::strerror(errno != 0 ? errno : EIO)
            << "\n";
  return false;
}

[[noreturn]] void Usage(const std::string& problem) {
  std::cerr << "vexa_sim: " << problem << "\n(vexa_sim --help lists the options)\n";
  std::exit(2);
}

unsigned long long Whole(const std::string& option, const std::string& text, unsigned long long max) {
  const auto value = WholeNumberText(text, max);
  if (!value)
    Usage(option + " takes a whole number from 0 to " + std::to_string(max) + ", not \"" + text + "\"");
  return *value;
}

unsigned Milliseconds(const std::string& option, const std::string& text) {
  return static_cast<unsigned>(Whole(option, text, 60000));
}

std::uint16_t Address(const std::string& option, const std::string& text) {
  const auto value = HexWordText(text);
  if (!value) Usage(option + " takes an address as four hex digits such as 01C0, not \"" + text + "\"");
  return *value;
}

double Probability(const std::string& option, const std::string& text) {
  const auto value = DecimalText(text);
  if (!value || *value < 0 || *value > 1)
    Usage(option + " takes a probability from 0 to 1, not \"" + text + "\"");
  return *value;
}

// PATH as a link to the device while this simulator runs. A lock on PATH.lock tells a running
// simulator's link from one a killed simulator left behind, which may be replaced.
class LinkHold {
 public:
  ~LinkHold() {
    if (lock_ < 0) return;
    if (!device_.empty()) {
      std::error_code ec;
      if (std::filesystem::read_symlink(path_, ec) == device_) std::filesystem::remove(path_, ec);
    }
    // Only a lock file this simulator made goes, while still held: a newcomer checks the file it
    // locked. One that was there before (empty, or another process's number) gets its text back.
    if (made_) {
      ::unlink(lockPath_.c_str());
    } else {
      [[maybe_unused]] const bool restored =
          ::ftruncate(lock_, 0) == 0 && (found_.empty() || ::pwrite(lock_, found_.data(), found_.size(), 0) ==
                                                               static_cast<ssize_t>(found_.size()));
    }
    ::close(lock_);
  }

  // Takes PATH for this simulator; the reason when it may not. Nothing is touched before what is at
  // PATH and at PATH.lock has been found to be the simulator's own.
  std::string Take(const std::string& path) {
    path_ = path;
    lockPath_ = path + ".lock";
    if (std::string refused = WhatIsThere(); !refused.empty()) return refused;
    if (std::string refused = ForeignLock(); !refused.empty()) return refused;
    for (int attempt = 0; attempt < 5 && lock_ < 0; ++attempt) {
      bool made = true;
      int fd = ::open(lockPath_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
      if (fd < 0 && errno == EEXIST) {
        made = false;
        fd = ::open(lockPath_.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0 && errno == ENOENT) continue;  // gone meanwhile: make it
      }
      if (fd < 0) return "cannot create " + lockPath_ + ": " + std::strerror(errno);
      if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        char pid[32] = {};
        [[maybe_unused]] const auto n = ::read(fd, pid, sizeof pid - 1);
        ::close(fd);
        const std::string holder(pid, std::strspn(pid, "0123456789"));
        return path + " is held by a running vexa_sim" + (holder.empty() ? "" : " (process " + holder + ")");
      }
      // The lock file may have been removed by a simulator leaving just before the lock was had.
      struct stat held {
      }, named{};
      if (::fstat(fd, &held) == 0 && ::stat(lockPath_.c_str(), &named) == 0 && held.st_ino == named.st_ino &&
          held.st_dev == named.st_dev) {
        lock_ = fd;
        made_ = made;
      } else {
        ::close(fd);
      }
    }
    if (lock_ < 0) return "cannot lock " + lockPath_;
    // The pid only helps a person; the lock works without it. A file that was there has its text
    // kept, to be put back at exit.
    if (!made_) {
      char text[32] = {};
      found_.assign(text,
                    static_cast<std::size_t>(std::max<ssize_t>(0, ::pread(lock_, text, sizeof text, 0))));
    }
    const std::string pid = std::to_string(::getpid());
    [[maybe_unused]] const bool written =
        ::ftruncate(lock_, 0) == 0 && ::pwrite(lock_, pid.data(), pid.size(), 0) > 0;
    return {};
  }

  // Points PATH at the device, replacing a stale link in one step.
  std::string Link(const std::string& device) {
    if (std::string refused = WhatIsThere(); !refused.empty()) return refused;  // put there meanwhile
    const std::string temporary = path_ + ".new-" + std::to_string(::getpid());
    ::unlink(temporary.c_str());
    if (::symlink(device.c_str(), temporary.c_str()) != 0 ||
        ::rename(temporary.c_str(), path_.c_str()) != 0) {
      const std::string why = std::strerror(errno);
      ::unlink(temporary.c_str());
      return "cannot link " + path_ + ": " + why;
    }
    device_ = device;
    return {};
  }

 private:
  // Empty when PATH is free or a simulator's stale link; else what is there.
  std::string WhatIsThere() const {
    struct stat st {};
    if (::lstat(path_.c_str(), &st) != 0)
      return errno == ENOENT ? std::string() : "cannot look at " + path_ + ": " + std::strerror(errno);
    const std::string keep = "; remove it or give another PATH";
    if (S_ISLNK(st.st_mode)) {
      std::error_code ec;
      const std::string target = std::filesystem::read_symlink(path_, ec).string();
      if (target.starts_with("/dev/pts/")) return {};
      return path_ + " is a symbolic link to " + target + ", not to a simulator's pseudo-terminal" + keep;
    }
    if (S_ISDIR(st.st_mode)) return path_ + " is a folder" + keep;
    if (S_ISREG(st.st_mode)) return path_ + " is a file" + keep;
    return path_ + " is a device or another special file" + keep;
  }

  // Empty when PATH.lock is missing or a simulator's: an empty file or one that holds a pid.
  std::string ForeignLock() const {
    struct stat st {};
    if (::lstat(lockPath_.c_str(), &st) != 0) return {};
    std::ifstream in(lockPath_);
    std::string text;
    std::getline(in, text);
    if (S_ISREG(st.st_mode) && st.st_size <= 20 && text.find_first_not_of("0123456789") == std::string::npos)
      return {};
    return lockPath_ + " is there and is no lock of vexa_sim; remove it or give another PATH";
  }

  std::string path_, lockPath_, device_;
  int lock_ = -1;
  bool made_ = false;  // the lock file is this simulator's own
  std::string found_;  // else the text it held
};

}  // namespace

int main(int argc, char** argv) {
  // A reader that has gone is an output error, said and answered with exit 1.
  std::signal(SIGPIPE, SIG_IGN);
  sim::Options options;
  std::string link, logPath;
  std::set<std::string> given;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::cout << kHelp;
      return Printed() ? 0 : 1;
    }
    if (arg == "--version") {
      std::cout << "vexa_sim " << VEXA_VERSION << "\n" << kLicenceNotice;
      return Printed() ? 0 : 1;
    }
    // --option=value as well as --option value.
    std::optional<std::string> joined;
    if (const std::size_t equals = arg.find('='); arg.starts_with("--") && equals != std::string::npos) {
      joined = arg.substr(equals + 1);
      arg.resize(equals);
    }
    if (!given.insert(arg).second) Usage(arg + " given twice");
    const auto value = [&]() -> std::string {
      if (joined) return *std::exchange(joined, std::nullopt);
      if (i + 1 >= argc) Usage(arg + " needs a value");
      return argv[++i];
    };
    sim::Faults& f = options.faults;
    // A path given empty would quietly turn its option off.
    const auto path = [&] {
      std::string given = value();
      if (given.empty()) Usage(arg + " needs a path, not an empty value");
      return given;
    };
    if (arg == "--link") {
      link = path();
    } else if (arg == "--log") {
      logPath = path();
    } else if (arg == "--state") {
      options.stateFile = path();
    } else if (arg == "--turnaround") {
      options.turnaroundMs = Milliseconds(arg, value());
    } else if (arg == "--no-module") {
      f.noModule = true;
    } else if (arg == "--refuse-setup") {
      f.setupRefused = true;
    } else if (arg == "--refuse-read") {
      f.refuseReadAt = Address(arg, value());
    } else if (arg == "--refuse-write") {
      f.refuseWriteAt = Address(arg, value());
    } else if (arg == "--no-answer") {
      f.noAnswer = true;
    } else if (arg == "--delay") {
      f.delayMs = Milliseconds(arg, value());
    } else if (arg == "--cut") {
      f.cutTo = Whole(arg, value(), 255);
    } else if (arg == "--gap") {
      f.gapMs = Milliseconds(arg, value());
    } else if (arg == "--corrupt") {
      f.corruptProbability = Probability(arg, value());
    } else if (arg == "--drop") {
      f.dropProbability = Probability(arg, value());
    } else if (arg == "--fault-rate") {
      f.faultRate = Probability(arg, value());
    } else if (arg == "--seed") {
      f.seed = static_cast<unsigned>(Whole(arg, value(), UINT_MAX));
    } else if (arg == "--hang-up-after") {
      f.hangUpAfter = static_cast<unsigned>(Whole(arg, value(), UINT_MAX));
    } else {
      Usage(arg.starts_with("-") ? "unknown option " + arg : "no arguments are taken, not \"" + arg + "\"");
    }
    if (joined) Usage(arg + " takes no value, not \"" + *joined + "\"");
  }

  // Signals are taken synchronously below; block them before the simulator's thread starts.
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGINT);
  sigaddset(&stop, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);

  const auto cannot = [](const std::string& why) {
    std::cerr << "vexa_sim: " << why << "\n";
    return 1;
  };
  LinkHold hold;
  if (!link.empty())
    if (const std::string why = hold.Take(link); !why.empty()) return cannot(why);
  std::ofstream log;
  if (!logPath.empty()) {
    log.open(logPath, std::ios::trunc);
    if (!log) return cannot("cannot write " + logPath);
  }
  // A log that cannot be written ends the simulator: a training run or a test that relies on it
  // must not go on without it. The wait below is woken for that. (Declared before the simulator,
  // whose thread may still log while it ends.)
  std::atomic<bool> logFailed{false};
  std::string logError;  // set once, before logFailed
  std::unique_ptr<sim::PtySimulator> simulator;
  try {
    simulator = std::make_unique<sim::PtySimulator>(options);
  } catch (const std::exception& e) {
    return cannot(e.what());
  }
  if (log.is_open()) {
    simulator->SetLogSink([&](const sim::LogEntry& e) {
      if (logFailed) return;
      char time[32];
      std::snprintf(time, sizeof time, "%.3f", e.timeMs);
      errno = 0;
      log << "{\"t_ms\":" << time << ",\"dir\":\"" << (e.request ? "request" : "answer") << "\",\"bytes\":\""
          << sim::Hex(e.bytes) << "\"}\n"
          << std::flush;
      if (log) return;
      logError = std::strerror(errno != 0 ? errno : EIO);
      logFailed = true;
      ::kill(::getpid(), SIGTERM);
    });
  }
  if (!link.empty())
    if (const std::string why = hold.Link(simulator->DevicePath()); !why.empty()) return cannot(why);
  // The device path is what the simulator is for: one that does not reach its reader is a failure.
  errno = 0;
  std::cout << simulator->DevicePath() << std::endl;
  if (!std::cout)
    return cannot(std::string("the device path could not be printed: ") +
                  std::strerror(errno != 0 ? errno : EIO));

  int signal = 0;
  sigwait(&stop, &signal);
  if (logFailed) return cannot("the log " + logPath + " could not be written: " + logError);
  if (options.faults.faultRate > 0) {
    const sim::FaultCounts f = simulator->Injected();
    std::cerr << "vexa_sim: faults injected " << f.Total() << " (dropped " << f.dropped << ", cut " << f.cut
              << ", changed " << f.changed << ", delayed " << f.delayed << ", extra byte " << f.extra
              << ", refused " << f.refused << "; delayed answers run into the next request " << f.overlapped
              << ")\n";
  }
  return 0;
}
