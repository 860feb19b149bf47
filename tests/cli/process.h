// SPDX-License-Identifier: GPL-3.0-or-later
// Test support: runs vexa_cli or vexa_sim as a process, as a shell would, and collects what it said.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace cli_test {

struct RunOptions {
  int signalAfterMs = 0;  // a signal to the process after this time, as from Ctrl-C
  int signal = SIGINT;
  std::function<bool()> signalWhen = {};  // or once this holds (looked at every 5 ms)
  std::string stdoutPath = {};            // stdout into this file instead of a pipe
  bool stdoutAppend = false;              // added to the file, as after ">>"
  bool stdoutClosed = false;              // stdout a pipe that no one reads: its reader has gone
  bool stderrTerminal = false;            // stderr on a pseudo-terminal, as in a terminal window
  std::string input = {};                 // stdin
  int deadlineMs = 60000;                 // killed after this, so that a hang fails instead of blocking
  std::string workingDirectory = {};      // the child's, instead of the test's
};

struct Result {
  int code = -1;
  std::string out, err;
  double wallMs = 0, cpuMs = 0;  // of the child, user and system time together
  double afterSignalMs = 0;      // from the signal to the end
  bool killed = false;           // ended by a signal, not by an exit of its own
};

// A signal ends a command within half a second on a machine with room to spare; a test allows a busy
// machine three times that, which still tells it from a command that waits out a time-out or runs on.
inline constexpr double kSignalPromptMs = 1500;

// In the child: becomes the program.
[[noreturn]] inline void Exec(const char* program, const std::vector<std::string>& args) {
  std::vector<char*> argv{const_cast<char*>(program)};
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  execv(program, argv.data());
  _exit(127);
}

inline Result Run(const char* program, const std::vector<std::string>& args, const RunOptions& o = {}) {
  int outPipe[2], errPipe[2], inPipe[2];
  if (pipe(outPipe) != 0 || pipe(errPipe) != 0 || pipe(inPipe) != 0) return {};
  int terminal = -1;
  std::string terminalName;
  if (o.stderrTerminal) {
    terminal = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char name[128];
    if (terminal < 0 || grantpt(terminal) != 0 || unlockpt(terminal) != 0 ||
        ptsname_r(terminal, name, sizeof name) != 0)
      return {};
    terminalName = name;
  }
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = fork();
  if (child == 0) {
    if (o.stdoutClosed) {
      int gone[2];
      if (pipe(gone) == 0) {
        close(gone[0]);
        dup2(gone[1], 1);
      }
    } else if (!o.stdoutPath.empty()) {
      const int fd =
          open(o.stdoutPath.c_str(), O_WRONLY | O_CREAT | (o.stdoutAppend ? O_APPEND : O_TRUNC), 0644);
      dup2(fd, 1);
    } else {
      dup2(outPipe[1], 1);
    }
    if (o.stderrTerminal) {
      dup2(open(terminalName.c_str(), O_RDWR | O_NOCTTY), 2);
    } else {
      dup2(errPipe[1], 2);
    }
    dup2(inPipe[0], 0);
    for (int fd : {outPipe[0], errPipe[0], inPipe[1], outPipe[1], errPipe[1], inPipe[0]}) close(fd);
    if (!o.workingDirectory.empty() && chdir(o.workingDirectory.c_str()) != 0) _exit(126);
    Exec(program, args);
  }
  close(outPipe[1]);
  close(errPipe[1]);
  close(inPipe[0]);
  if (!o.input.empty()) {
    // A child that stops reading (as at its input limit) ends the write with EPIPE, not this process.
    std::signal(SIGPIPE, SIG_IGN);
    for (std::size_t at = 0; at < o.input.size();) {
      const ssize_t n = write(inPipe[1], o.input.data() + at, o.input.size() - at);
      if (n <= 0) break;
      at += static_cast<std::size_t>(n);
    }
  }
  close(inPipe[1]);
  std::chrono::steady_clock::time_point signalled{};
  std::mutex mutex;
  std::condition_variable ended;
  bool over = false;  // set before the child is reaped: its pid is never signalled after that
  std::thread signaller;
  if (o.signalAfterMs > 0 || o.signalWhen) {
    signaller = std::thread([&, child] {
      std::unique_lock lock(mutex);
      const auto at = std::chrono::steady_clock::now() + std::chrono::milliseconds(o.signalAfterMs);
      while (!over && (o.signalWhen ? !o.signalWhen() : std::chrono::steady_clock::now() < at))
        ended.wait_for(lock, std::chrono::milliseconds(5));
      if (over) return;
      signalled = std::chrono::steady_clock::now();
      kill(child, o.signal);
    });
  }
  Result r;
  // All outputs at once: a child that fills one while this waits on another would never end. A
  // terminal's master reads EIO once the child has closed it.
  pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {o.stderrTerminal ? terminal : errPipe[0], POLLIN, 0}};
  if (o.stderrTerminal) close(errPipe[0]);
  std::string* sinks[2] = {&r.out, &r.err};
  char buffer[4096];
  int open = 2;
  const auto deadline = start + std::chrono::milliseconds(o.deadlineMs);
  const auto left = [&] {
    return static_cast<int>(std::max<long long>(
        0, std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
               .count()));
  };
  while (open > 0 && poll(fds, 2, left()) > 0) {
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        sinks[i]->append(buffer, static_cast<std::size_t>(n));
      } else {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
  {
    std::lock_guard lock(mutex);
    over = true;
  }
  ended.notify_all();
  if (signaller.joinable()) signaller.join();
  int status = 0;
  rusage usage{};
  if (open > 0) kill(child, SIGKILL);  // still running at its deadline
  wait4(child, &status, 0, &usage);
  for (const pollfd& p : fds)
    if (p.fd >= 0) close(p.fd);
  const auto end = std::chrono::steady_clock::now();
  r.wallMs = std::chrono::duration<double, std::milli>(end - start).count();
  const auto ms = [](const timeval& t) { return static_cast<double>(t.tv_sec) * 1e3 + t.tv_usec / 1e3; };
  r.cpuMs = ms(usage.ru_utime) + ms(usage.ru_stime);
  if (signalled != std::chrono::steady_clock::time_point{})
    r.afterSignalMs = std::chrono::duration<double, std::milli>(end - signalled).count();
  r.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  r.killed = WIFSIGNALED(status);
  return r;
}

// A program left running, such as a vexa_sim that serves several commands; stopped by a signal.
class Background {
 public:
  Background(const char* program, const std::vector<std::string>& args) {
    int outPipe[2], errPipe[2];
    if (pipe(outPipe) != 0 || pipe(errPipe) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(outPipe[1], 1);
      dup2(errPipe[1], 2);
      for (int fd : {outPipe[0], outPipe[1], errPipe[0], errPipe[1]}) close(fd);
      Exec(program, args);
    }
    close(outPipe[1]);
    close(errPipe[1]);
    out_ = outPipe[0];
    err_ = errPipe[0];
  }
  Background(const Background&) = delete;
  Background& operator=(const Background&) = delete;
  ~Background() { Stop(); }

  // The first line it printed (vexa_sim's device), waiting up to 10 s.
  std::string FirstLine() {
    std::string line;
    char c;
    pollfd p{out_, POLLIN, 0};
    while (poll(&p, 1, 10000) > 0 && read(out_, &c, 1) == 1 && c != '\n') line += c;
    return line;
  }
  // Ends it with a signal; its exit code, and what it said on stderr.
  int Stop(int signal = SIGTERM, std::string* err = nullptr) {
    if (pid_ <= 0) return code_;
    kill(pid_, signal);
    std::string said;
    char buffer[1024];
    pollfd p{err_, POLLIN, 0};
    // One that does not end within 10 s is killed: a hang fails the test rather than holding it.
    for (;;) {
      if (poll(&p, 1, 10000) <= 0) {
        kill(pid_, SIGKILL);
        break;
      }
      const ssize_t n = read(err_, buffer, sizeof buffer);
      if (n <= 0) break;
      said.append(buffer, static_cast<std::size_t>(n));
    }
    int status = 0;
    waitpid(pid_, &status, 0);
    close(out_);
    close(err_);
    pid_ = -1;
    code_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (err != nullptr) *err = said;
    return code_;
  }

 private:
  pid_t pid_ = -1;
  int out_ = -1, err_ = -1, code_ = -1;
};

inline Result Cli(const std::vector<std::string>& args, const RunOptions& o = {}) {
  return Run(VEXA_CLI, args, o);
}
inline Result Sim(const std::vector<std::string>& args, const RunOptions& o = {}) {
  return Run(VEXA_SIM, args, o);
}

}  // namespace cli_test
