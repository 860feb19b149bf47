// vexa_sim: an Ixor adapter with a VEXA behind it on a pseudo-terminal, for the tool, its tests and
// training. Prints the device to open on its first line and runs until SIGINT or SIGTERM.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "sim/pty_simulator.h"

namespace {

const char* const kHelp = R"(usage: vexa_sim [options]
Simulates an Ixor adapter with a VEXA module behind it on a pseudo-terminal. The first line printed
is the device to open (as a port name in the tool or vexa_cli). Runs until SIGINT or SIGTERM.

  --link PATH            also make PATH a symbolic link to the device (removed on exit)
  --log FILE             write one JSON line per request and per answer
  --state FILE           keep the module's non-volatile memory in FILE across runs
  --turnaround MS        pause before each answer (default 2)
faults:
  --no-module            the adapter finds no module (open answered C0)
  --refuse-setup         set-up steps are refused (90)
  --refuse-read ADDR     reads of ADDR (hex, e.g. 01C0) are refused (C4)
  --refuse-write ADDR    writes to ADDR are refused (C2)
  --no-answer            requests get no answer at all
  --delay MS             added before every answer
  --cut N                answers are cut to N bytes
  --gap MS               a pause of MS in the middle of every answer
  --corrupt P            each answer byte is corrupted with probability P
  --drop P               each answer byte is dropped with probability P
  --fault-rate P         each answer gets, with probability P, one fault drawn at random: dropped,
                         cut short, a byte changed, delayed past the quiet time, an extra byte, or
                         refused; the counts are printed on exit
  --seed N               seed for --corrupt, --drop and --fault-rate (default 1)
  --hang-up-after N      the line closes after N requests
  --help                 this text
)";

[[noreturn]] void Usage(const std::string& problem) {
  std::cerr << "vexa_sim: " << problem << "\n\n" << kHelp;
  std::exit(2);
}

unsigned long Number(const std::string& option, const char* text, int base = 10) {
  char* end = nullptr;
  errno = 0;
  const unsigned long value = std::strtoul(text, &end, base);
  if (errno != 0 || end == text || *end != '\0') Usage(option + " takes a number, not \"" + text + "\"");
  return value;
}

double Probability(const std::string& option, const char* text) {
  char* end = nullptr;
  const double value = std::strtod(text, &end);
  if (end == text || *end != '\0' || value < 0 || value > 1)
    Usage(option + " takes a probability from 0 to 1");
  return value;
}

}  // namespace

int main(int argc, char** argv) {
  sim::Options options;
  std::string link, logPath;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const auto value = [&]() -> const char* {
      if (i + 1 >= argc) Usage(arg + " needs a value");
      return argv[++i];
    };
    if (arg == "--help" || arg == "-h") {
      std::cout << kHelp;
      return 0;
    } else if (arg == "--link") {
      link = value();
    } else if (arg == "--log") {
      logPath = value();
    } else if (arg == "--state") {
      options.stateFile = value();
    } else if (arg == "--turnaround") {
      options.turnaroundMs = static_cast<unsigned>(Number(arg, value()));
    } else if (arg == "--no-module") {
      options.faults.noModule = true;
    } else if (arg == "--refuse-setup") {
      options.faults.setupRefused = true;
    } else if (arg == "--refuse-read") {
      options.faults.refuseReadAt = static_cast<std::uint16_t>(Number(arg, value(), 16));
    } else if (arg == "--refuse-write") {
      options.faults.refuseWriteAt = static_cast<std::uint16_t>(Number(arg, value(), 16));
    } else if (arg == "--no-answer") {
      options.faults.noAnswer = true;
    } else if (arg == "--delay") {
      options.faults.delayMs = static_cast<unsigned>(Number(arg, value()));
    } else if (arg == "--cut") {
      options.faults.cutTo = Number(arg, value());
    } else if (arg == "--gap") {
      options.faults.gapMs = static_cast<unsigned>(Number(arg, value()));
    } else if (arg == "--corrupt") {
      options.faults.corruptProbability = Probability(arg, value());
    } else if (arg == "--drop") {
      options.faults.dropProbability = Probability(arg, value());
    } else if (arg == "--fault-rate") {
      options.faults.faultRate = Probability(arg, value());
    } else if (arg == "--seed") {
      options.faults.seed = static_cast<unsigned>(Number(arg, value()));
    } else if (arg == "--hang-up-after") {
      options.faults.hangUpAfter = static_cast<unsigned>(Number(arg, value()));
    } else {
      Usage("unknown option " + arg);
    }
  }

  // Signals are taken synchronously below; block them before the simulator's thread starts.
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGINT);
  sigaddset(&stop, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);

  std::ofstream log;
  if (!logPath.empty()) {
    log.open(logPath, std::ios::trunc);
    if (!log) Usage("cannot write " + logPath);
  }
  sim::PtySimulator simulator(options);
  if (log) {
    simulator.SetLogSink([&log](const sim::LogEntry& e) {
      char time[32];
      std::snprintf(time, sizeof time, "%.3f", e.timeMs);
      log << "{\"t_ms\":" << time << ",\"dir\":\"" << (e.request ? "request" : "answer") << "\",\"bytes\":\""
          << sim::Hex(e.bytes) << "\"}\n"
          << std::flush;
    });
  }
  if (!link.empty()) {
    std::error_code ec;
    std::filesystem::remove(link, ec);
    std::filesystem::create_symlink(simulator.DevicePath(), link, ec);
    if (ec) {
      std::cerr << "vexa_sim: cannot link " << link << ": " << ec.message() << "\n";
      return 1;
    }
  }
  std::cout << simulator.DevicePath() << std::endl;

  int signal = 0;
  sigwait(&stop, &signal);
  if (options.faults.faultRate > 0) {
    const sim::FaultCounts f = simulator.Injected();
    std::cerr << "vexa_sim: faults injected " << f.Total() << " (dropped " << f.dropped << ", cut " << f.cut
              << ", changed " << f.changed << ", delayed " << f.delayed << ", extra byte " << f.extra
              << ", refused " << f.refused << ")\n";
  }
  if (!link.empty()) {
    std::error_code ec;
    std::filesystem::remove(link, ec);
  }
  return 0;
}
