// SPDX-License-Identifier: GPL-3.0-or-later
// Round trip of one byte through a pseudo-terminal whose peer echoes it: written with WriteChar and
// delivered through OnRxChar on a GUI thread, beside plain termios with poll(), QSerialPort and
// libserialport. Also the CPU an open idle port costs.
#include <benchmark/benchmark.h>
#include <libserialport.h>
#include <poll.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QEventLoop>
#include <QSerialPort>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "comm/SioComm.h"
#include "tests/support/gui_pump.h"
#include "tests/support/pty.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRoundTrips = 5000;

// Echoes every byte that reaches the master side until stopped.
class Echo {
 public:
  explicit Echo(const testing_support::Pty& pty) : pty_(pty), thread_([this] { Run(); }) {}
  ~Echo() {
    stop_ = true;
    thread_.join();
  }

 private:
  void Run() {
    char buffer[256];
    while (!stop_) {
      pollfd p{pty_.master(), POLLIN, 0};
      if (::poll(&p, 1, 50) <= 0) continue;
      const ssize_t n = ::read(pty_.master(), buffer, sizeof buffer);
      if (n > 0) [[maybe_unused]]
        auto w = ::write(pty_.master(), buffer, static_cast<std::size_t>(n));
    }
  }
  const testing_support::Pty& pty_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// Runs roundTrip() kRoundTrips times; each returns true when the byte came back.
template <class RoundTrip>
void Measure(benchmark::State& state, RoundTrip roundTrip) {
  std::vector<double> samples;
  samples.reserve(kRoundTrips);
  for (auto _ : state) {
    const auto start = Clock::now();
    if (!roundTrip()) {
      state.SkipWithError("no echo");
      return;
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    samples.push_back(seconds * 1e6);
    state.SetIterationTime(seconds);
  }
  std::sort(samples.begin(), samples.end());
  state.counters["median_us"] = samples[samples.size() / 2];
  state.counters["p99_us"] = samples[samples.size() * 99 / 100];
}

double ProcessCpuMs() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// mode 0: the default queued writes; 1: direct writes; 2: direct writes with output-empty not
// watched, the fewest hand-offs the component's threads allow.
void SioComm(benchmark::State& state) {
  const auto mode = state.range(0);
  testing_support::Pty pty;
  testing_support::GuiPump pump;
  bool back = false;
  {
    TSioComm comm;
    comm.SetSyncCall([&](const std::function<void()>& step) { pump.Call(step); });
    comm.SetDeviceName(pty.slave());
    comm.SetBaudrate(br19200);
    comm.SetDirectWrite(mode != 0);
    if (mode == 2) comm.SetMonitorEvents(TSioCommEvents{ceError, ceRxChar});
    comm.OnRxChar = [&](TSioCustomComm* sender, int) {
      char ch;
      while (sender->ReadChar(ch)) back = true;
    };
    comm.Open();
    {
      // An open port with no traffic, and nothing else running in the process, once the threads
      // have started.
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      const double before = ProcessCpuMs();
      std::this_thread::sleep_for(std::chrono::seconds(1));
      state.counters["idle_cpu_ms_per_s"] = ProcessCpuMs() - before;
    }
    Echo echo(pty);
    Measure(state, [&] {
      back = false;
      comm.WriteChar('x');
      return pump.PumpUntil([&] { return back; });
    });
    TSioCustomComm::SetClosePause(0);
  }
  pump.PumpUntil([] { return TSioThread::RunningCount() == 0; });
  TSioCustomComm::SetClosePause(300);
}

void PlainTermios(benchmark::State& state) {
  testing_support::Pty pty;
  const int fd = testing_support::OpenRawTerminal(pty.slave(), B19200);
  Echo echo(pty);
  Measure(state, [&] {
    char ch = 'x';
    if (::write(fd, &ch, 1) != 1) return false;
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 5000) != 1) return false;
    return ::read(fd, &ch, 1) == 1;
  });
  ::close(fd);
}

void QtSerialPort(benchmark::State& state) {
  testing_support::Pty pty;
  QSerialPort port;
  port.setPortName(QString::fromStdString(pty.slave()));
  port.setBaudRate(19200);
  if (!port.open(QIODevice::ReadWrite)) {
    state.SkipWithError("QSerialPort cannot open the pseudo-terminal");
    return;
  }
  Echo echo(pty);
  QEventLoop loop;
  QObject::connect(&port, &QSerialPort::readyRead, &loop, &QEventLoop::quit);
  QTimer guard;
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, &loop, [&] { loop.exit(1); });
  Measure(state, [&] {
    port.write("x", 1);
    guard.start(5000);
    const bool ok = loop.exec() == 0;
    port.readAll();
    return ok;
  });
}

void LibSerialPort(benchmark::State& state) {
  testing_support::Pty pty;
  sp_port* port = nullptr;
  if (sp_get_port_by_name(pty.slave().c_str(), &port) != SP_OK ||
      sp_open(port, SP_MODE_READ_WRITE) != SP_OK) {
    state.SkipWithError("libserialport cannot open the pseudo-terminal");
    if (port != nullptr) sp_free_port(port);
    return;
  }
  sp_set_baudrate(port, 19200);
  Echo echo(pty);
  Measure(state, [&] {
    char ch = 'x';
    if (sp_blocking_write(port, &ch, 1, 5000) != 1) return false;
    return sp_blocking_read(port, &ch, 1, 5000) == 1;
  });
  sp_close(port);
  sp_free_port(port);
}

BENCHMARK(SioComm)
    ->DenseRange(0, 2)
    ->ArgName("mode")
    ->Iterations(kRoundTrips)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(PlainTermios)->Iterations(kRoundTrips)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(QtSerialPort)->Iterations(kRoundTrips)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(LibSerialPort)->Iterations(kRoundTrips)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
