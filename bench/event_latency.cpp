// SPDX-License-Identifier: GPL-3.0-or-later
// Latency from a byte written into a pseudo-terminal master to the end of a wait for it on the slave:
// a pending device-event wait of the platform layer against a plain poll() on the same kind of line.
// As in use, the waiter is asleep when the byte comes: a second thread writes it once the waiter has
// announced itself and had 200 us to fall asleep.
#include <benchmark/benchmark.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <semaphore>
#include <thread>
#include <vector>

#include "platform/kernel.h"
#include "platform/serial.h"
#include "tests/support/pty.h"

namespace {

using Clock = std::chrono::steady_clock;

// Runs waitOnce (which must block until a byte is there, then consume it) once per iteration while
// another thread writes the byte; records the time from the write to the end of the wait.
template <class Prepare, class Wait>
void Measure(benchmark::State& state, const testing_support::Pty& pty, Prepare prepare, Wait waitOnce) {
  std::binary_semaphore ready(0), done(0);
  std::atomic<bool> stop{false};
  Clock::time_point written;
  std::thread writer([&] {
    for (;;) {
      ready.acquire();
      if (stop) return;
      std::this_thread::sleep_for(std::chrono::microseconds(200));
      written = Clock::now();
      pty.Write("x");
      done.acquire();
    }
  });
  std::vector<double> samples;
  for (auto _ : state) {
    prepare();
    ready.release();
    waitOnce();
    const auto end = Clock::now();
    const double seconds = std::chrono::duration<double>(end - written).count();
    done.release();
    samples.push_back(seconds * 1e6);
    state.SetIterationTime(seconds);
  }
  stop = true;
  ready.release();
  writer.join();
  std::sort(samples.begin(), samples.end());
  state.counters["median_us"] = samples[samples.size() / 2];
  state.counters["p99_us"] = samples[samples.size() * 99 / 100];
}

void DeviceEventWait(benchmark::State& state) {
  using namespace platform;
  testing_support::Pty pty;
  const HANDLE h = CreateFile(pty.slave().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OVERLAPPED, nullptr);
  SetCommMask(h, EV_RXCHAR);
  OVERLAPPED ov{};
  ov.hEvent = CreateEvent(nullptr, TRUE, FALSE, nullptr);
  DWORD mask = 0;
  Measure(
      state, pty,
      [&] {
        if (WaitCommEvent(h, &mask, &ov)) state.SkipWithError("event without a byte");
      },
      [&] {
        WaitForSingleObject(ov.hEvent, INFINITE);
        char byte;
        DWORD got = 0;
        ReadFile(h, &byte, 1, &got, nullptr);
      });
  CloseHandle(ov.hEvent);
  CloseHandle(h);
}

void PlainPoll(benchmark::State& state) {
  testing_support::Pty pty;
  const int fd = testing_support::OpenRawTerminal(pty.slave());
  Measure(
      state, pty, [] {},
      [&] {
        pollfd p{fd, POLLIN, 0};
        ::poll(&p, 1, -1);
        char byte;
        [[maybe_unused]] const auto n = ::read(fd, &byte, 1);
      });
  ::close(fd);
}

BENCHMARK(DeviceEventWait)->Iterations(10000)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(PlainPoll)->Iterations(10000)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
