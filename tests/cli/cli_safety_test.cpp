// SPDX-License-Identifier: GPL-3.0-or-later
// vexa_cli and vexa_sim where a batch script can go wrong: only a settings file reaches a module, a
// module keeps its identity, no output destroys an input or a device, inputs end, an interrupted
// command leaves the line clean, and every failure is said.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "settings/crc8.h"
#include "settings/settings_file.h"
#include "sim/pty_simulator.h"
#include "tests/cli/cli_folder.h"
#include "tests/cli/process.h"

namespace fs = std::filesystem;
using cli_test::Background;
using cli_test::Cli;
using cli_test::Has;
using cli_test::Result;
using cli_test::Sim;
using cli_test::Slurp;

namespace {

void Put(const fs::path& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

// Settings writes the simulator received since its log held `from` entries.
int WritesSince(sim::PtySimulator& simulator, std::size_t from) {
  const auto log = simulator.Log();
  int writes = 0;
  for (std::size_t i = from; i < log.size(); ++i)
    if (log[i].request && log[i].bytes.size() > 4 && log[i].bytes[0] == 0x42 && log[i].bytes[2] == 0x00)
      ++writes;
  return writes;
}

class CliSafety : public cli_test::FolderTest {};

TEST_F(CliSafety, NothingButASettingsFileReachesAModule) {
  sim::PtySimulator simulator;
  const std::string port = simulator.DevicePath();
  ASSERT_EQ(Cli({"read", "--port", port, "-o", Path("was"), "--once"}).code, 0);
  ASSERT_EQ(Cli({"block", "--port", port}).code, 0);
  const std::string good = Slurp(Path("was.vxa"));
  ASSERT_EQ(good.size(), kSettingsFileSize);
  // JSON whose first 403 bytes carry a matching CRC: one text in 256 does, so look for one.
  const std::string json = Cli({"show", Path("was.vxa"), "--json"}).out;
  std::string lucky;
  for (int k = 0; k < 4096 && lucky.empty(); ++k) {
    std::string text = json;
    text.insert(2, "\"_" + std::to_string(k) + "\": 0,\n  ");
    if (Crc8Update(0, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), kSettingsFileSize)) == 0)
      lucky = text;
  }
  ASSERT_FALSE(lucky.empty());
  const struct {
    const char* what;
    std::string file;
    std::string says;
  } cases[] = {
      {"JSON with a lucky head", lucky, "размер этого текста в байтах — " + std::to_string(lucky.size())},
      {"a settings file with bytes after it", good + "\x1A\x1A", "размер этого файла в байтах — 405"},
      {"one byte short", good.substr(0, 402), "размер этого файла в байтах — 402"},
      {"empty", "", "размер этого файла в байтах — 0"},
  };
  for (const auto& c : cases) {
    Put(Path("odd.vxa"), c.file);
    const std::size_t logged = simulator.Log().size();
    for (const auto& args : {std::vector<std::string>{"write", "--port", port, Path("odd.vxa")},
                             std::vector<std::string>{"show", Path("odd.vxa")},
                             std::vector<std::string>{"verify", "--port", port, Path("odd.vxa")}}) {
      const Result r = Cli(args);
      EXPECT_EQ(r.code, args[0] == "verify" ? 2 : 1) << c.what << ", " << args[0];
      EXPECT_TRUE(Has(r.err, c.says) && Has(r.err, "ровно 403 байта")) << c.what << ": " << r.err;
      EXPECT_EQ(Has(r.err, "vexa_cli build"), c.file == lucky) << c.what << ": " << r.err;
    }
    EXPECT_EQ(WritesSince(simulator, logged), 0) << c.what;
  }
  const Result zero = Cli({"show", "/dev/zero"});
  EXPECT_EQ(zero.code, 1);
  EXPECT_TRUE(Has(zero.err, "в байтах — более 65536")) << zero.err;
  const Result english = Cli({"show", Path("odd.vxa"), "--lang", "en"});
  EXPECT_TRUE(Has(english.err, "a settings file is exactly 403 bytes")) << english.err;
}

TEST_F(CliSafety, TheModuleGetsItsOwnNumberAndYearBack) {
  // A module whose number and year are beyond the window's four and two digits.
  sim::ModuleMemory own = sim::DefaultMemory();
  own.sys[0] = 12345 & 0xFF;
  own.sys[1] = 12345 >> 8;
  own.sys[2] = 200;
  ASSERT_TRUE(sim::WriteStateFile(Path("state"), own));
  sim::Options options;
  options.stateFile = Path("state");
  sim::PtySimulator simulator(options);
  const std::string port = simulator.DevicePath();

  const Result read = Cli({"read", "--port", port, "-o", Path("m"), "--once"});
  ASSERT_EQ(read.code, 0) << read.err;
  EXPECT_TRUE(Has(read.err, "serial number is 12345") && Has(read.err, "year is 200")) << read.err;
  const std::string file = Slurp(Path("m.vxa"));
  ASSERT_EQ(file.size(), kSettingsFileSize);
  EXPECT_EQ(static_cast<std::uint8_t>(file[348]) | static_cast<std::uint8_t>(file[349]) << 8, 12345);
  EXPECT_EQ(static_cast<std::uint8_t>(file[350]), 200);
  const Result show = Cli({"show", Path("m.vxa")});
  EXPECT_TRUE(Has(show.out, "sys.Number = 12345\n") && Has(show.out, "sys.Year = 200\n")) << show.out;
  EXPECT_TRUE(Has(show.err, "more than the window's four digits show")) << show.err;

  // A file that holds another number: the module's own goes back to it, byte for byte.
  ASSERT_EQ(Cli({"set", Path("m.vxa"), "sys.Number=77", "sys.Year=5", "sys.CAN_adres=4321"}).code, 0);
  ASSERT_EQ(Cli({"block", "--port", port}).code, 0);
  const Result write = Cli({"write", "--port", port, Path("m.vxa")});
  ASSERT_EQ(write.code, 0) << write.err;
  sim::ModuleMemory memory = simulator.Working();
  EXPECT_EQ(memory.sys[0] | memory.sys[1] << 8, 12345);
  EXPECT_EQ(memory.sys[2], 200);
  EXPECT_EQ(memory.sys[14] | memory.sys[15] << 8, 4321) << "the file's settings went in";
  // Given, they replace only what is given.
  ASSERT_EQ(Cli({"write", "--port", port, Path("m.vxa"), "--year", "7"}).code, 0);
  memory = simulator.Working();
  EXPECT_EQ(memory.sys[0] | memory.sys[1] << 8, 12345);
  EXPECT_EQ(memory.sys[2], 7);
  EXPECT_TRUE(Has(Cli({"verify", "--port", port, Path("m.vxa"), "--once"}).out, "module 12345 matches"));
}

TEST_F(CliSafety, AnOutputNeverReplacesAnInputOrAnythingButAFile) {
  TModuleSettings record{};
  record.SysSet.Number = 42;
  ASSERT_EQ(SaveSettingsFile(record, Path("a.vxa")), FileOutcome::Done);
  const std::string settings = Slurp(Path("a.vxa"));
  const std::string json = Cli({"show", Path("a.vxa"), "--json"}).out;
  Put(Path("p.json"), json);
  fs::create_symlink(Path("a.vxa"), Path("alias.vxa"));
  ASSERT_EQ(::mkfifo(Path("pipe.vxa").c_str(), 0644), 0);
  fs::create_symlink(Path("pipe.vxa"), Path("to-pipe.vxa"));
  fs::create_directory(Path("folder"));
  const struct {
    std::vector<std::string> args;
    const char* says;
  } cases[] = {
      {{"report", Path("a.vxa"), "-o", Path("a.vxa")}, "this is the input"},
      {{"report", Path("a.vxa"), "-o", Path("alias.vxa")}, "this is the input"},
      {{"build", Path("p.json"), "-o", Path("p.json")}, "this is the input"},
      {{"build", Path("p.json"), "--base", Path("a"), "-o", Path("alias.vxa")}, "this is the input"},
      {{"build", Path("p.json"), "-o", Path("pipe.vxa")}, "not a regular file"},
      {{"build", Path("p.json"), "-o", Path("to-pipe.vxa")}, "not a regular file"},
      {{"report", Path("a.vxa"), "-o", Path("folder")}, "Is a directory"},
      {{"read", "--port", "sim", "-o", Path("to-pipe")}, "not a regular file"},
  };
  for (const auto& c : cases) {
    const Result r = Cli(c.args, {.deadlineMs = 20000});
    EXPECT_EQ(r.code, 1) << c.args[0] << " -o " << c.args.back() << ": " << r.err;
    EXPECT_TRUE(Has(r.err, c.says)) << r.err;
  }
  EXPECT_EQ(Slurp(Path("a.vxa")), settings);
  EXPECT_EQ(Slurp(Path("p.json")), json);
  EXPECT_TRUE(fs::is_fifo(Path("pipe.vxa")));
  EXPECT_TRUE(fs::is_symlink(Path("to-pipe.vxa")) && fs::is_symlink(Path("alias.vxa")));
  EXPECT_TRUE(fs::is_directory(Path("folder")));
  EXPECT_FALSE(fs::exists(Path("folder.txt"))) << "a name that is there gets no extension";

  // "-" is standard output; a name that is free gets the extension. (A cleared record is no
  // dialog's: built as it is.)
  Result r = Cli({"build", Path("p.json"), "-o", "-", "--as-is"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, settings);
  r = Cli({"report", Path("a.vxa"), "-o", "-"});
  EXPECT_EQ(r.code, 0);
  EXPECT_TRUE(Has(r.out, "0042")) << "the report's number";
  EXPECT_EQ(Cli({"build", Path("p.json"), "-o", Path("new"), "--as-is"}).code, 0);
  EXPECT_EQ(Slurp(Path("new.vxa")), settings);
  EXPECT_EQ(Cli({"read", "--port", "sim", "--json", "-o", "-"}).code, 2);
  // Standard output by another name is written as standard output: what the shell put in its file
  // before stays.
  Put(Path("log.txt"), "before\n");
  r = Cli({"build", Path("p.json"), "-o", "/dev/stdout", "--as-is"},
          {.stdoutPath = Path("log.txt"), .stdoutAppend = true});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(Slurp(Path("log.txt")), "before\n" + settings);

  // Writing through a link to a file keeps the link and replaces the file it names.
  ASSERT_EQ(Cli({"set", Path("alias.vxa"), "sys.Number=43", "--as-is"}).code, 0);
  EXPECT_TRUE(fs::is_symlink(Path("alias.vxa")));
  EXPECT_TRUE(Has(Cli({"show", Path("a.vxa")}).out, "sys.Number = 43"));
}

TEST_F(CliSafety, TimedInputsAreBoundedAndASignalEndsTheirReading) {
  Result r = Cli({"build", "/dev/zero", "-o", Path("z")});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(Has(r.err, "/dev/zero: more than 4194304 bytes")) << r.err;
  r = Cli({"build", "-", "-o", Path("y")}, {.input = std::string(5 * 1024 * 1024, ' ')});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(Has(r.err, "standard input: more than 4194304 bytes")) << r.err;
  EXPECT_FALSE(fs::exists(Path("z.vxa")) || fs::exists(Path("y.vxa")));

  // A pipe that nobody writes, and one whose writer never ends: each command stops at the signal.
  ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0644), 0);
  const struct {
    std::vector<std::string> args;
    bool writer;  // a writer holds the pipe open without writing
    int signal;
  } cases[] = {
      {{"show", Path("fifo")}, false, SIGINT},
      {{"build", Path("fifo"), "-o", Path("f")}, false, SIGTERM},
      {{"build", Path("fifo"), "-o", Path("f")}, true, SIGINT},
      {{"report", Path("fifo"), "-o", Path("f")}, true, SIGTERM},
      {{"diff", Path("fifo"), Path("fifo")}, true, SIGINT},
  };
  for (const auto& c : cases) {
    int writer = -1;
    if (c.writer) writer = ::open(Path("fifo").c_str(), O_RDWR);  // open for both: it never waits
    // Long enough for the program to be waiting on the pipe however busy the machine is.
    r = Cli(c.args, {.signalAfterMs = 1000, .signal = c.signal, .deadlineMs = 10000});
    if (writer >= 0) ::close(writer);
    EXPECT_EQ(r.code, 128 + c.signal) << c.args[0] << ": " << r.err;
    EXPECT_FALSE(r.killed);
    EXPECT_LT(r.afterSignalMs, cli_test::kSignalPromptMs) << c.args[0];
    EXPECT_EQ(r.err, "interrupted\n") << c.args[0];
  }
  EXPECT_FALSE(fs::exists(Path("f.vxa")) || fs::exists(Path("f.txt")));
}

TEST_F(CliSafety, AnInterruptedCommandLeavesNothingOnTheLineForTheNext) {
  // A slow line: a request's answer comes long after the interrupted command has gone.
  sim::Options slow;
  slow.faults.delayMs = 300;
  sim::PtySimulator simulator(slow);
  const std::string port = simulator.DevicePath();
  // Interrupted once the simulator has seen the request: its answer is still to come.
  const auto whenAsked = [&](std::uint8_t kind, std::uint8_t low, int nth) {
    const std::size_t from = simulator.Log().size();
    return [&simulator, from, kind, low, nth] {
      const auto log = simulator.Log();
      int seen = 0;
      for (std::size_t i = from; i < log.size(); ++i)
        if (log[i].request && log[i].bytes[0] == kind && (log[i].bytes.size() < 4 || log[i].bytes[3] == low))
          ++seen;
      return seen >= nth;
    };
  };
  const struct {
    const char* what;
    std::uint8_t kind, low;
    int nth;
  } cases[] = {
      {"during the set-up", 0x40, 0, 1},
      {"during the settings read", 0x44, 0x30, 1},
  };
  for (const auto& c : cases) {
    const Result cut =
        Cli({"read", "--port", port, "-o", Path("x")}, {.signalWhen = whenAsked(c.kind, c.low, c.nth)});
    ASSERT_EQ(cut.code, 130) << c.what << ": " << cut.err;
    const Result next = Cli({"status", "--port", port});
    EXPECT_EQ(next.code, 0) << c.what << ": " << next.err;
  }
}

TEST_F(CliSafety, SimulatorRefusesWhatItCannotKeepAndSaysWhatItCannotWrite) {
  const struct {
    std::vector<std::string> args;
    std::string outputTo;  // stdout into this file
    std::string says;
  } cases[] = {
      {{"--state", Path("no/such/folder/nvm")},
       "",
       "the folder " + Path("no/such/folder") + " does not exist"},
      {{"--state", "/dev/null"}, "", "/dev/null is a device or another special file"},
      {{"--help"}, "/dev/full", "the output could not be written"},
      {{}, "/dev/full", "the device path could not be printed"},
  };
  for (const auto& c : cases) {
    const Result r = Sim(c.args, {.stdoutPath = c.outputTo, .deadlineMs = 10000});
    EXPECT_EQ(r.code, 1) << r.err;
    EXPECT_TRUE(Has(r.err, c.says)) << r.err;
  }
  // A log that cannot be written ends the simulator at the first request, with the reason.
  {
    Background logging(VEXA_SIM, {"--log", "/dev/full"});
    const std::string device = logging.FirstLine();
    ASSERT_FALSE(device.empty());
    Cli({"status", "--port", device}, {.deadlineMs = 10000});
    std::string said;
    EXPECT_EQ(logging.Stop(SIGTERM, &said), 1);
    EXPECT_TRUE(Has(said, "the log /dev/full could not be written: No space left on device")) << said;
  }
  // A PATH.lock it did not make is used, and left as it was found.
  for (const std::string found : {"", "4242\n"}) {
    Put(Path("vexa.lock"), found);
    {
      Background held(VEXA_SIM, {"--link=" + Path("vexa")});
      ASSERT_FALSE(held.FirstLine().empty());
      const Result second = Sim({"--link", Path("vexa")}, {.deadlineMs = 10000});
      EXPECT_EQ(second.code, 1) << "held while it runs";
      EXPECT_TRUE(Has(second.err, "is held by a running vexa_sim (process ") && !Has(second.err, "4242"))
          << "named by the simulator that holds it: " << second.err;
      EXPECT_EQ(held.Stop(), 0);
    }
    EXPECT_EQ(Slurp(Path("vexa.lock")), found);
    EXPECT_FALSE(fs::exists(fs::symlink_status(Path("vexa"))));
  }
}

TEST_F(CliSafety, MessagesSayWhatHappenedAndOptionsTakeBothForms) {
  // A bare port name is one of /dev's; a file of that name here is pointed out.
  sim::PtySimulator simulator;
  const std::string name = "vexa_safety_" + std::to_string(::getpid());
  fs::create_symlink(simulator.DevicePath(), Path(name));
  Result r = Cli({"status", "--port", name}, {.workingDirectory = dir_.string()});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(
      Has(r.err, "taken as /dev/" + name + "; ./" + name + " is here: to use it, give --port ./" + name))
      << r.err;
  EXPECT_EQ(Cli({"status", "--port=./" + name, "--cycles=2"}, {.workingDirectory = dir_.string()}).code, 0);

  // --option=value as --option value, for the options with a value only.
  TModuleSettings record{};
  ASSERT_EQ(SaveSettingsFile(record, Path("a.vxa")), FileOutcome::Done);
  r = Cli({"report", Path("a.vxa"), "-o=x", "--param-range=0.5", "99.5"});
  EXPECT_EQ(r.code, 2) << "-o is short: " << r.err;
  r = Cli({"report", Path("a.vxa"), "-o", Path("r"), "--param-range=0.5", "99.5"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(Has(Slurp(Path("r.txt")), "  0.5 -  99.5"));
  r = Cli({"show", Path("a.vxa"), "--json=yes"});
  EXPECT_EQ(r.code, 2);
  EXPECT_TRUE(Has(r.err, "--json takes no value, not \"yes\"")) << r.err;
  EXPECT_EQ(Cli({"status", "--port=sim", "--sim-delay=5"}).code, 0);

  // A key's control characters are shown escaped, a NUL among them, not cutting the line short.
  r = Cli({"build", "-", "-o", Path("k")}, {.input = R"({"ch1.Poi\u0000nt0": 1})"});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(Has(r.err, "ch1.Poi\\u0000nt0: no such field")) << r.err;

  // A whole field takes 1234.0 as it takes 1.234e3; neither takes a fraction.
  const struct {
    const char* value;
    bool taken;
  } numbers[] = {{"1234", true}, {"1234.0", true}, {"1.234e3", true}, {"1234.5", false}, {"1.2345e3", false}};
  for (const auto& n : numbers) {
    fs::remove(Path("n.vxa"));
    r = Cli({"build", "-", "-o", Path("n")}, {.input = std::string(R"({"sys.Number": )") + n.value + "}"});
    EXPECT_EQ(r.code == 0, n.taken) << n.value << ": " << r.err;
    if (n.taken) {
      EXPECT_TRUE(Has(Cli({"show", Path("n.vxa")}).out, "sys.Number = 1234\n")) << n.value;
    }
  }

  // The trace and the progress line on a terminal: each visible line is one or the other.
  r = Cli({"read", "--port", "sim", "-o", Path("t"), "--trace", "--once"}, {.stderrTerminal = true});
  ASSERT_EQ(r.code, 0) << r.err;
  std::istringstream lines(r.err);
  int traced = 0;
  for (std::string line; std::getline(lines, line);) {
    // What a terminal shows: the text after the last carriage return (the terminal's own at the
    // line's end aside), a wiped line wiped.
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::string shown = line.substr(line.rfind('\r') == std::string::npos ? 0 : line.rfind('\r') + 1);
    if (shown.rfind("\033[K", 0) == 0) shown.erase(0, 3);
    if (shown.empty()) continue;
    const bool progress = std::regex_match(shown, std::regex("block \\d+ of \\d+"));
    const bool trace = std::regex_match(shown, std::regex(R"(\d\d:\d\d:\d\d\.\d{3}  .*)"));
    EXPECT_TRUE(progress != trace) << "[" << shown << "]";
    traced += trace ? 1 : 0;
  }
  EXPECT_GE(traced, 10) << r.err;
}

}  // namespace
