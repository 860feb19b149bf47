// SPDX-License-Identifier: GPL-3.0-or-later
// vexa_cli and vexa_sim as a new user meets them: what they take, what they refuse, what they say
// and what their exit codes tell a script.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "settings/settings_file.h"
#include "sim/pty_simulator.h"
#include "tests/cli/cli_folder.h"
#include "tests/cli/process.h"
#include "vexa_version.h"

namespace fs = std::filesystem;
using cli_test::Background;
using cli_test::Cli;
using cli_test::Has;
using cli_test::Result;
using cli_test::RunOptions;
using cli_test::Sim;
using cli_test::Slurp;

// A simulator that should refuse to start; one that starts anyway is stopped after this.
const RunOptions kRefusal{.deadlineMs = 10000};

namespace {

class CliUse : public cli_test::FolderTest {
 protected:
  // A settings file of a commissioned module, and one that differs from it in a field.
  void TwoFiles() {
    TModuleSettings r{};
    r.SysSet.Number = 1234;
    r.SysSet.RS485_adres = 5;
    for (TChanSet& c : r.ChanSet) c.AdcMax = 1000;
    ASSERT_EQ(SaveSettingsFile(r, Path("a.vxa")), FileOutcome::Done);
    r.ChanSet[1].Point1 = 61.75F;
    ASSERT_EQ(SaveSettingsFile(r, Path("b.vxa")), FileOutcome::Done);
  }
};

TEST_F(CliUse, SimulatorLinkTakesOnlyWhatIsItsOwn) {
  const std::string link = Path("vexa");
  struct Case {
    const char* what;
    std::function<void()> make;
    const char* says;
  };
  const Case cases[] = {
      {"a file", [&] { std::ofstream(link) << "notes"; }, " is a file"},
      {"an empty folder", [&] { fs::create_directory(link); }, " is a folder"},
      {"a link elsewhere", [&] { fs::create_symlink("/etc/hostname", link); },
       " is a symbolic link to /etc/hostname"},
      {"someone's PATH.lock", [&] { std::ofstream(link + ".lock") << "my notes"; },
       ".lock is there and is no lock of vexa_sim"},
  };
  for (const Case& c : cases) {
    fs::remove_all(link);
    c.make();
    const auto before = fs::symlink_status(link).type();
    const Result r = Sim({"--link", link}, kRefusal);
    EXPECT_EQ(r.code, 1) << c.what;
    EXPECT_TRUE(Has(r.err, link + c.says)) << r.err;
    EXPECT_EQ(fs::symlink_status(link).type(), before) << c.what << " is left as it was";
  }
  EXPECT_EQ(Slurp(link + ".lock"), "my notes");
  fs::remove_all(link);
  fs::remove(link + ".lock");

  // A running simulator's link is its own: a second one is refused and does not take it over.
  {
    Background first(VEXA_SIM, {"--link", link});
    const std::string device = first.FirstLine();
    ASSERT_FALSE(device.empty());
    const Result second = Sim({"--link", link}, kRefusal);
    EXPECT_EQ(second.code, 1);
    EXPECT_TRUE(Has(second.err, "is held by a running vexa_sim")) << second.err;
    EXPECT_EQ(fs::read_symlink(link), device);
    EXPECT_EQ(Cli({"status", "--port", link}).code, 0) << "the first one still answers through it";
    EXPECT_EQ(first.Stop(), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(link))) << "removed on exit";
  }
  // What a killed simulator leaves behind is replaced.
  Background killed(VEXA_SIM, {"--link", link});
  ASSERT_FALSE(killed.FirstLine().empty());
  killed.Stop(SIGKILL);
  ASSERT_EQ(fs::symlink_status(link).type(), fs::file_type::symlink);
  Background next(VEXA_SIM, {"--link", link});
  const std::string device = next.FirstLine();
  EXPECT_EQ(fs::read_symlink(link), device);
}

TEST_F(CliUse, NumericOptionsAreReadWholeOrRefused) {
  struct Case {
    bool simulator;  // vexa_sim, else vexa_cli
    std::vector<std::string> args;
    const char* option;
    const char* value;
  };
  const Case cases[] = {
      {false, {"write", "--port", "sim", "f.vxa", "--number", "abc"}, "--number", "abc"},
      {false, {"write", "--port", "sim", "f.vxa", "--number", "12ab"}, "--number", "12ab"},
      {false, {"write", "--port", "sim", "f.vxa", "--number", "10000"}, "--number", "10000"},
      {false, {"write", "--port", "sim", "f.vxa", "--number", "-1"}, "--number", "-1"},
      {false, {"write", "--port", "sim", "f.vxa", "--year", "abc"}, "--year", "abc"},
      {false, {"write", "--port", "sim", "f.vxa", "--year", ""}, "--year", ""},
      {false, {"write", "--port", "sim", "f.vxa", "--year", "0x10"}, "--year", "0x10"},
      {false, {"write", "--port", "sim", "f.vxa", "--year", " 7"}, "--year", " 7"},
      {false, {"status", "--port", "sim", "--cycles", "0"}, "--cycles", "0"},
      {false, {"status", "--port", "sim", "--cycles", "1.5"}, "--cycles", "1.5"},
      {false, {"status", "--port", "sim", "--sim-delay", "-5"}, "--sim-delay", "-5"},
      {false, {"status", "--port", "sim", "--sim-refuse-read", "1C0"}, "--sim-refuse-read", "1C0"},
      {false, {"status", "--port", "sim", "--sim-seed", "12x"}, "--sim-seed", "12x"},
      {false, {"status", "--port", "sim", "--sim-fault-rate", "0,5"}, "--sim-fault-rate", "0,5"},
      {false, {"report", "f.vxa", "-o", "r", "--out-range", "4", "20mA"}, "--out-range", "20mA"},
      {true, {"--delay", "-5"}, "--delay", "-5"},
      {true, {"--turnaround", "1e3"}, "--turnaround", "1e3"},
      {true, {"--seed", "abc"}, "--seed", "abc"},
      {true, {"--refuse-read", "C0"}, "--refuse-read", "C0"},
      {true, {"--cut", "-1"}, "--cut", "-1"},
      {true, {"--corrupt", "2"}, "--corrupt", "2"},
  };
  for (const Case& c : cases) {
    const Result r = c.simulator ? Sim(c.args, kRefusal) : Cli(c.args);
    EXPECT_EQ(r.code, 2) << c.args[0] << " " << c.option << " " << c.value << "\n" << r.err;
    EXPECT_TRUE(Has(r.err, std::string(c.option) + " takes ") &&
                Has(r.err, std::string("not \"") + c.value + "\""))
        << r.err;
  }

  // Read whole: 001234 is 1234, not the 123 of its first five characters.
  sim::PtySimulator simulator;
  ASSERT_EQ(Cli({"read", "--port", simulator.DevicePath(), "-o", Path("m")}).code, 0);
  ASSERT_EQ(Cli({"block", "--port", simulator.DevicePath()}).code, 0);
  const Result written =
      Cli({"write", "--port", simulator.DevicePath(), Path("m.vxa"), "--number", "001234", "--year", "07"});
  ASSERT_EQ(written.code, 0) << written.err;
  const sim::ModuleMemory memory = simulator.Working();
  EXPECT_EQ(memory.sys[0] | memory.sys[1] << 8, 1234);
  EXPECT_EQ(memory.sys[2], 7);

  // The longest delay the simulator takes does not hold up its end while an answer waits for it.
  Background slow(VEXA_SIM, {"--delay", "60000", "--log", Path("slow.log")});
  const std::string device = slow.FirstLine();
  const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::write(fd, "\x10\x28\x30", 3), 3);
  const auto asked = std::chrono::steady_clock::now();
  while (!Has(Slurp(Path("slow.log")), "\"answer\"") &&
         std::chrono::steady_clock::now() - asked < std::chrono::seconds(10))
    std::this_thread::yield();  // the answer is logged when its pause begins
  const auto stopping = std::chrono::steady_clock::now();
  EXPECT_EQ(slow.Stop(), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - stopping, std::chrono::seconds(20)) << "not the 60 s pause";
  ::close(fd);
}

TEST_F(CliUse, ReadTrustsOnlyReadsThatAgree) {
  sim::PtySimulator simulator;
  const std::string port = simulator.DevicePath();
  ASSERT_EQ(Cli({"read", "--port", port, "-o", Path("clean"), "--once"}).code, 0);
  // Settings answers are counted from the connection's header read (0); a read takes five.
  sim::Faults f;
  f.changeSettingsAnswers = {7};  // the second read's channel 1: the third read decides
  simulator.SetFaults(f);
  Result r = Cli({"read", "--port", port, "-o", Path("decided")});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(Slurp(Path("decided.vxa")), Slurp(Path("clean.vxa")));

  f.changeSettingsAnswers = {2, 7, 12};  // each read differently
  simulator.SetFaults(f);
  r = Cli({"read", "--port", port, "-o", Path("never")});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(Has(r.err, "read differently three times")) << r.err;
  EXPECT_TRUE(Has(r.err, "\n  ch1.")) << "the fields that differed: " << r.err;
  EXPECT_FALSE(fs::exists(Path("never.vxa")));
  simulator.SetFaults(f);
  EXPECT_EQ(Cli({"verify", "--port", port, Path("clean.vxa")}).code, 2) << "verify reads the same way";

  f.changeSettingsAnswers = {3};
  simulator.SetFaults(f);
  ASSERT_EQ(Cli({"read", "--port", port, "-o", Path("once"), "--once"}).code, 0);
  EXPECT_EQ(Cli({"diff", Path("clean.vxa"), Path("once.vxa")}).code, 1) << "one read takes what came";

  // The number and year a write gives back are the module's only when two reports agree.
  simulator.SetFaults({});
  ASSERT_EQ(Cli({"block", "--port", port}).code, 0);
  f.changeSettingsAnswers = {0};  // the header read on connecting
  simulator.SetFaults(f);
  r = Cli({"write", "--port", port, Path("clean.vxa")});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(simulator.Working().sys[0] | simulator.Working().sys[1] << 8, 1234);
  f.changeSettingsAnswers = {0, 1};
  simulator.SetFaults(f);
  const std::size_t logged = simulator.Log().size();
  r = Cli({"write", "--port", port, Path("clean.vxa")});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(Has(r.err, "number and year read differently three times")) << r.err;
  const auto log = simulator.Log();
  EXPECT_TRUE(std::none_of(log.begin() + static_cast<std::ptrdiff_t>(logged), log.end(),
                           [](const sim::LogEntry& e) { return e.request && e.bytes[0] == 0x42; }));
}

TEST_F(CliUse, OutputThatCannotBeWrittenIsAFailure) {
  TwoFiles();
  sim::PtySimulator simulator;
  const struct {
    std::vector<std::string> args;
    int code;
  } cases[] = {
      {{"show", Path("a.vxa")}, 1},
      {{"show", Path("a.vxa"), "--json"}, 1},
      {{"read", "--port", simulator.DevicePath(), "--json", "--once"}, 1},
      {{"status", "--port", simulator.DevicePath()}, 1},
      {{"diff", Path("a.vxa"), Path("b.vxa")}, 2},
      {{"--help"}, 1},
  };
  for (const auto& c : cases) {
    const Result r = Cli(c.args, {.stdoutPath = "/dev/full"});
    EXPECT_EQ(r.code, c.code) << c.args[0];
    EXPECT_TRUE(Has(r.err, "the output could not be written: No space left on device"))
        << c.args[0] << ": " << r.err;
  }
  // A reader that has gone, as after "| head -1", wanted no more: no failure and no message, and the
  // polling ends at the first cycle, not a thousand later.
  for (const auto& args :
       {std::vector<std::string>{"status", "--port", simulator.DevicePath(), "--cycles", "1000"},
        std::vector<std::string>{"show", Path("a.vxa")}, std::vector<std::string>{"--help"}}) {
    const Result r = Cli(args, {.stdoutClosed = true});
    EXPECT_EQ(r.code, 0) << args[0];
    EXPECT_FALSE(r.killed);
    EXPECT_EQ(r.err, "") << args[0];
    EXPECT_LT(r.wallMs, 10000);
  }
  EXPECT_EQ(Cli({"diff", Path("a.vxa"), Path("b.vxa")}, {.stdoutClosed = true}).code, 1)
      << "diff's answer stands without its reader";
}

TEST_F(CliUse, FileNamesAreTakenAsGiven) {
  TwoFiles();
  fs::copy_file(Path("a.vxa"), Path("UPPER.VXA"));
  fs::copy_file(Path("a.vxa"), Path("plant"));
  Result r = Cli({"show", Path("UPPER.VXA")});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(Has(r.out, "sys.Number = 1234"));
  EXPECT_EQ(Cli({"show", Path("plant")}).code, 0) << "an existing name without an extension";
  fs::create_directory(Path("a"));
  EXPECT_EQ(Cli({"show", Path("a")}).code, 0) << "a name without an extension that is a folder gets .vxa";
  r = Cli({"show", Path("nope.VXA")});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.err, Path("nope.VXA") + ": Файл не удается открыть. (No such file or directory)\n");
  EXPECT_EQ(Cli({"set", Path("UPPER.VXA"), "sys.RS485_adres=9"}).code, 0);
  EXPECT_TRUE(Has(Cli({"show", Path("UPPER.VXA")}).out, "sys.RS485_adres = 9"));
  EXPECT_FALSE(fs::exists(Path("UPPER.VXA.vxa")));

  EXPECT_EQ(Cli({"build", "-", "-o", Path("built.bin"), "--base", Path("a.vxa")}, {.input = "{}"}).code, 0);
  EXPECT_EQ(fs::file_size(Path("built.bin")), kSettingsFileSize);
  EXPECT_EQ(Cli({"report", Path("a.vxa"), "-o", Path("rep")}).code, 0);
  EXPECT_TRUE(fs::exists(Path("rep.txt")));
  r = Cli({"report", Path("a.vxa"), "-o", Path("no/such/folder/rep.txt")});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.err,
            Path("no/such/folder/rep.txt") + ": Файл не удается создать. (No such file or directory)\n");
}

TEST_F(CliUse, DiffAndVerifyTellDifferentFromTrouble) {
  TwoFiles();
  sim::PtySimulator simulator;
  const std::string port = simulator.DevicePath();
  ASSERT_EQ(Cli({"read", "--port", port, "-o", Path("m"), "--once"}).code, 0);
  sim::PtySimulator absent;
  sim::Faults none;
  none.noModule = true;
  absent.SetFaults(none);
  const struct {
    std::vector<std::string> args;
    int code;
  } cases[] = {
      {{"diff", Path("a.vxa"), Path("a.vxa")}, 0},
      {{"diff", Path("a.vxa"), Path("b.vxa")}, 1},
      {{"diff", Path("a.vxa"), Path("missing.vxa")}, 2},
      {{"diff", Path("a.vxa")}, 2},
      {{"diff", Path("a.vxa"), "--port", port, "--once"}, 1},
      {{"verify", "--port", port, Path("m.vxa"), "--once"}, 0},
      {{"verify", "--port", port, Path("b.vxa"), "--once"}, 1},
      {{"verify", "--port", port, Path("missing.vxa")}, 2},
      {{"verify", "--port", absent.DevicePath(), Path("m.vxa")}, 2},
      {{"verify", "--port", Path("no-such-device"), Path("m.vxa")}, 2},
      {{"verify", Path("m.vxa")}, 2},
  };
  for (const auto& c : cases) {
    const Result r = Cli(c.args);
    std::string line;
    for (const auto& a : c.args) line += a + " ";
    EXPECT_EQ(r.code, c.code) << line << "\n" << r.out << r.err;
  }
}

TEST_F(CliUse, OptionsThatDoNotApplyAreUsageErrors) {
  const struct {
    std::vector<std::string> args;
    int code;
    const char* says;
  } cases[] = {
      {{"status", "--port", "sim", "-o", "x"}, 2, "status does not take -o"},
      {{"read", "--port", "sim", "-o", "x", "--number", "5"}, 2, "read does not take --number"},
      {{"ports", "--json"}, 2, "ports does not take --json"},
      {{"status", "--port", "sim", "extra"}, 2, "not also \"extra\""},
      {{"show", "a.vxa", "b.vxa"}, 2, "show takes one settings file"},
      {{"status", "--port", "/dev/ttyS0", "--sim-delay", "5"}, 2, "--sim-delay applies only to --port sim"},
      {{"status", "--json", "--json", "--port", "sim"}, 2, "--json given twice"},
      {{"frobnicate"}, 2, "unknown command frobnicate"},
      {{}, 2, "no command"},
  };
  for (const auto& c : cases) {
    const Result r = Cli(c.args);
    EXPECT_EQ(r.code, c.code) << c.says;
    EXPECT_TRUE(Has(r.err, c.says)) << r.err;
    EXPECT_EQ(r.out, "");
  }
  for (const char* help : {"--help", "-h", "help"}) {
    const Result r = Cli({help});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out.rfind("usage: vexa_cli", 0), 0U) << help;
  }
  EXPECT_EQ(Cli({"status", "-h"}).code, 0);
  const Result version = Cli({"--version"});
  EXPECT_EQ(version.code, 0);
  EXPECT_EQ(version.out, std::string("vexa_cli ") + VEXA_VERSION + "\n" + kLicenceNotice);
}

TEST_F(CliUse, TimedSignalsEndACommandAtOnceAndWriteNothing) {
  sim::Options slowly;
  slowly.faults.delayMs = 100;  // an exchange takes some 150 ms
  sim::PtySimulator slow(slowly);
  sim::PtySimulator silent;
  sim::Faults quiet;
  quiet.noAnswer = true;
  silent.SetFaults(quiet);
  // Each signal comes when the simulator has seen the request named: the command is then waiting.
  const auto asks = [](sim::PtySimulator& peer, std::uint8_t command, std::uint16_t address) {
    const std::size_t from = peer.Log().size();
    return [&peer, from, command, address] {
      const auto log = peer.Log();
      return std::any_of(log.begin() + static_cast<std::ptrdiff_t>(std::min(from, log.size())), log.end(),
                         [&](const sim::LogEntry& e) {
                           return e.request && e.bytes[0] == command &&
                                  (e.bytes.size() < 4 || (e.bytes[2] << 8 | e.bytes[3]) == address);
                         });
    };
  };
  const struct {
    const char* what;
    sim::PtySimulator& peer;
    int signal;
    std::uint8_t command;  // the request the signal waits for
    std::uint16_t address;
    int code;
  } cases[] = {
      {"Ctrl-C while connecting", slow, SIGINT, 0x10, 0, 130},
      {"SIGTERM while the settings are read", slow, SIGTERM, 0x44, 0x0030, 143},
      {"Ctrl-C while waiting for a module that is silent", silent, SIGINT, 0x10, 0, 130},
  };
  for (const auto& c : cases) {
    const Result r = Cli({"read", "--port", c.peer.DevicePath(), "-o", Path("read")},
                         {.signal = c.signal, .signalWhen = asks(c.peer, c.command, c.address)});
    EXPECT_EQ(r.code, c.code) << c.what << ": " << r.err;
    EXPECT_FALSE(r.killed) << c.what << ": it ends by itself, closing the link";
    EXPECT_TRUE(Has(r.err, "interrupted\n")) << c.what << ": " << r.err;
    EXPECT_LT(r.afterSignalMs, cli_test::kSignalPromptMs) << c.what;
    EXPECT_FALSE(fs::exists(Path("read.vxa"))) << c.what;
  }

  // Stopped in the middle of a write: the block under way ends, none follows, and the message
  // says how far the write came, as the module saw it.
  sim::Options blocked = slowly;
  sim::PtySimulator module(blocked);
  ASSERT_EQ(Cli({"block", "--port", module.DevicePath()}).code, 0);
  ASSERT_EQ(Cli({"read", "--port", module.DevicePath(), "-o", Path("m"), "--once"}).code, 0);
  const std::size_t logged = module.Log().size();
  const Result r = Cli({"write", "--port", module.DevicePath(), Path("m.vxa")},
                       {.signalWhen = asks(module, 0x42, 0x0000)});
  EXPECT_EQ(r.code, 130) << r.err;
  EXPECT_FALSE(r.killed);
  EXPECT_LT(r.afterSignalMs, cli_test::kSignalPromptMs);
  const auto log = module.Log();
  int blocks = 0;
  for (std::size_t i = logged; i < log.size(); ++i)
    if (log[i].request && log[i].bytes[0] == 0x42 && log[i].bytes[2] == 0x00) ++blocks;
  // The blocks acknowledged are said; the last one received may be under way still.
  std::smatch said;
  if (blocks == 5 && Has(r.err, "the write had completed")) return;
  ASSERT_TRUE(std::regex_search(r.err, said,
                                std::regex("(block 1|blocks 1\u2013(\\d)) of 5 written( \\(.*\\))?(; block "
                                           "(\\d) \\(.*\\) was under way)?")))
      << blocks << " blocks reached the module; said: " << r.err;
  const int acknowledged = said[2].matched ? std::stoi(said[2]) : 1;
  if (said[4].matched) {
    EXPECT_EQ(std::stoi(said[5]), blocks) << r.err;
    EXPECT_EQ(acknowledged, blocks - 1) << r.err;
  } else {
    EXPECT_EQ(acknowledged, blocks) << r.err;
  }
}

TEST_F(CliUse, ProgressIsDrawnOnATerminalOnly) {
  const Result terminal = Cli({"read", "--port", "sim", "-o", Path("t")}, {.stderrTerminal = true});
  ASSERT_EQ(terminal.code, 0) << terminal.err;
  EXPECT_EQ(terminal.err.rfind("\rblock 1 of 10", 0), 0U) << terminal.err;
  EXPECT_TRUE(Has(terminal.err, "\rblock 10 of 10")) << terminal.err;
  EXPECT_EQ(std::count(terminal.err.begin(), terminal.err.end(), '\n'), 1) << "drawn again in place";
  const Result pipe = Cli({"read", "--port", "sim", "-o", Path("p")});
  EXPECT_EQ(pipe.code, 0);
  EXPECT_EQ(pipe.err, "");
}

// --lang en words the module's and the link's messages in English, the trace included; Russian is the
// default whatever the locale; anything but ru or en is refused.
TEST_F(CliUse, MessagesInEnglishWithLang) {
  Result r = Cli({"--lang", "en", "status", "--port", "sim", "--sim-no-answer", "--trace"});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(Has(r.err, "  no answer\n")) << r.err;
  EXPECT_TRUE(Has(r.err, "\nNo answer from the Ixor adapter\n")) << r.err;
  r = Cli({"status", "--port", "sim", "--sim-no-answer", "--lang", "ru"});
  EXPECT_EQ(r.err, "Нет ответа от модуля Ixor\n");
  // A dialog's refusal of a value set from the shell, in English as the window words it.
  ASSERT_EQ(SaveSettingsFile(TModuleSettings{}, Path("blank.vxa")), FileOutcome::Done);
  r = Cli({"set", Path("blank.vxa"), "ch1.AdcMin=2000", "--lang=en"});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(Has(r.err, "ch1.AdcMin: Invalid minimum ADC level")) << r.err;
  for (const std::vector<std::string>& wrong :
       {std::vector<std::string>{"status", "--port", "sim", "--lang", "de"},
        {"ports", "--lang", "en", "--lang", "ru"},
        {"ports", "--lang"}}) {
    r = Cli(wrong);
    EXPECT_EQ(r.code, 2) << wrong.back();
    EXPECT_TRUE(Has(r.err, "--lang")) << r.err;
  }
}

TEST_F(CliUse, PortMessagesSayWhatHappened) {
  sim::PtySimulator simulator;
  fs::create_symlink(simulator.DevicePath(), Path("vexa"));
  const std::string relative = fs::relative(Path("vexa"), fs::current_path()).string();
  ASSERT_NE(relative.front(), '/');
  Result r = Cli({"status", "--port", relative});
  EXPECT_EQ(r.code, 0) << relative << ": " << r.err;

  {
    const int held = ::open(simulator.DevicePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
    r = Cli({"status", "--port", simulator.DevicePath()});
    ::close(held);
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(Has(r.err, "\nПорт занят другой программой.\n")) << r.err;
  }

  sim::Faults f;
  f.cutTo = 10;  // the status read's answer is 21 bytes
  simulator.SetFaults(f);
  r = Cli({"status", "--port", simulator.DevicePath()});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.err.rfind("the answer to the read of 01C0 was truncated: 10 of 21 bytes (44 28 01 C0 10", 0),
            0U)
      << r.err;
  // --trace: each exchange as it ends: the set-up's four answered, the cut one, the disconnect.
  r = Cli({"status", "--port", simulator.DevicePath(), "--trace"});
  EXPECT_EQ(r.code, 1);
  const std::regex answered(R"(\d\d:\d\d:\d\d\.\d{3}  [0-9A-F ]+  ->  [0-9A-F ]+  ответ  \d+\.\d мс)");
  const std::regex cutLine(
      R"(\d\d:\d\d:\d\d\.\d{3}  44 28 01 C0 10 00  ->  44 28 01 C0 10( [0-9A-F]{2}){5}  обрезан  \d+\.\d мс)");
  std::istringstream lines(r.err);
  std::vector<std::string> trace;
  for (std::string line; std::getline(lines, line);) trace.push_back(line);
  ASSERT_EQ(trace.size(), 7U) << r.err;
  for (int i : {0, 1, 2, 3, 5}) EXPECT_TRUE(std::regex_match(trace[i], answered)) << trace[i];
  EXPECT_TRUE(std::regex_match(trace[4], cutLine)) << trace[4];
  EXPECT_EQ(trace[6].rfind("the answer to the read of 01C0 was truncated", 0), 0U) << r.err;

  f = {};
  f.corruptProbability = 1;  // every byte changed on the way
  simulator.SetFaults(f);
  r = Cli({"status", "--port", simulator.DevicePath()});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.err, "the answer to set-up step 1 (10 28 30) was corrupt or answered another request: 4A 72\n");
}

TEST_F(CliUse, TextRefusalsSayWhatTheDialogTakes) {
  TwoFiles();
  Result r = Cli({"set", Path("a.vxa"), "ch1.AdcTime.s=2.3", "sys.CAN_Time.s=31", "sys.Time_Start.s=0.3"});
  EXPECT_EQ(r.code, 1);
  for (const char* line : {"ch1.AdcTime.s = 2.3: the dialog takes 0.5 to 35.0 s in steps of 0.5\n",
                           "sys.CAN_Time.s = 31: the dialog takes 0.5 to 30.0 s in steps of 0.5",
                           "sys.Time_Start.s = 0.3: the dialog takes 0.2 to 30.0 s in steps of 0.2\n"})
    EXPECT_TRUE(Has(r.err, line)) << r.err;

  // JSON as other programs write it: exponents read as their digits, shown without them.
  r = Cli({"build", "-", "-o", Path("e"), "--base", Path("a.vxa")},
          {.input = R"({"ch1.Point0": 2e-05, "sys.CAN_adres": 1.2e3, "ch2.PointTime.s": 25E-1})"});
  ASSERT_EQ(r.code, 0) << r.err;
  r = Cli({"show", Path("e.vxa")});
  for (const char* line : {"ch1.Point0 = 0.00002\n", "sys.CAN_adres = 1200\n", "ch2.PointTime.s = 2.5\n"})
    EXPECT_TRUE(Has(r.out, line)) << line;
  const struct {
    const char* json;
    const char* says;
  } refused[] = {
      {R"({"sys.Year": 05})", "line 1, column 14: a number in JSON does not start with 0"},
      {R"({"sys.Year": 5,})", "line 1, column 16: a field's name in double quotes expected"},
      {R"({"sys.Year": .5})", "line 1, column 14: a number, a text in double quotes, true or false expected"},
  };
  for (const auto& c : refused) {
    r = Cli({"build", "-", "-o", Path("bad")}, {.input = c.json});
    EXPECT_EQ(r.code, 1) << c.json;
    EXPECT_TRUE(Has(r.err, c.says)) << r.err;
  }
  EXPECT_FALSE(fs::exists(Path("bad.vxa")));
}

TEST_F(CliUse, SimulatorStateFileIsItsOwnOrRefused) {
  const std::vector<std::uint8_t> good = sim::StateImage(sim::DefaultMemory());
  const auto file = [&](std::vector<std::uint8_t> bytes) {
    std::ofstream(Path("state"), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  };
  const struct {
    const char* what;
    std::function<void()> make;
    const char* says;
  } cases[] = {
      {"cut",
       [&] {
         file({good.begin(), good.begin() + 100});
       },
       "is cut short (100 of 239 bytes)"},
      {"another program's",
       [&] {
         std::vector<std::uint8_t> settings(kSettingsFileSize, 0);
         file(settings);
       },
       "is not a state file of vexa_sim"},
      {"damaged",
       [&] {
         auto bytes = good;
         bytes[50] ^= 1;
         file(bytes);
       },
       "is damaged"},
      {"a folder", [&] { fs::create_directory(Path("state")); }, "is a folder"},
  };
  for (const auto& c : cases) {
    fs::remove_all(Path("state"));
    c.make();
    const std::string before = fs::is_directory(Path("state")) ? "" : Slurp(Path("state"));
    const Result r = Sim({"--state", Path("state")}, kRefusal);
    EXPECT_EQ(r.code, 1) << c.what;
    EXPECT_TRUE(Has(r.err, c.says)) << c.what << ": " << r.err;
    if (!fs::is_directory(Path("state"))) {
      EXPECT_EQ(Slurp(Path("state")), before) << c.what << " kept";
    }
  }
}

TEST_F(CliUse, StatusJsonKeepsTheCyclesReadBeforeAFailure) {
  sim::PtySimulator simulator;
  sim::Faults f;
  f.hangUpAfter = 4 + 5 * 2 + 2;  // the set-up, two cycles, and into the third
  simulator.SetFaults(f);
  const Result r = Cli({"status", "--port", simulator.DevicePath(), "--cycles", "5", "--json"});
  EXPECT_EQ(r.code, 1);
  EXPECT_FALSE(r.err.empty());
  QJsonParseError error{};
  const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(r.out), &error);
  ASSERT_EQ(error.error, QJsonParseError::NoError) << r.out;
  ASSERT_EQ(doc.array().size(), 2);
  EXPECT_EQ(doc.array()[1].toObject()["cycle"].toInt(), 2);
  EXPECT_TRUE(doc.array()[1].toObject()["channels"].toArray()[3].toObject()["current"].isDouble());
}

}  // namespace
