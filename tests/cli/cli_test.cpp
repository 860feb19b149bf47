// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <locale.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <array>
#include <bit>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "cli/link_session.h"
#include "settings/settings_file.h"
#include "settings/settings_text.h"
#include "sim/in_process_line.h"
#include "sim/pty_simulator.h"
#include "tests/cli/cli_folder.h"
#include "tests/cli/process.h"

namespace fs = std::filesystem;

namespace {

using cli_test::Cli;
using cli_test::Result;
using cli_test::Slurp;

class CliTest : public cli_test::FolderTest {};

bool WroteAnything(sim::PtySimulator& simulator) {
  for (const auto& e : simulator.Log())
    if (e.request && !e.bytes.empty() && e.bytes[0] == 0x42) return true;
  return false;
}

TEST_F(CliTest, TimedStatusJsonHoldsWhatTheSimulatorServed) {
  sim::PtySimulator simulator;
  simulator.PinAdc(0, 500.0);
  const Result r = Cli({"status", "--port", simulator.DevicePath(), "--json", "--cycles", "2"});
  ASSERT_EQ(r.code, 0) << r.err;
  // Waiting for the module is sleeping, not spinning (a spin took 95 % of a core).
  EXPECT_LT(r.cpuMs, 0.5 * r.wallMs) << r.cpuMs << " ms of CPU in " << r.wallMs << " ms";
  QJsonParseError error{};
  const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(r.out), &error);
  ASSERT_EQ(error.error, QJsonParseError::NoError) << r.out;
  ASSERT_EQ(doc.array().size(), 2);
  const QJsonObject cycle = doc.array()[1].toObject();
  EXPECT_EQ(cycle["version"].toString(), "01.23");
  EXPECT_EQ(cycle["cycle"].toInt(), 2);
  const QJsonObject ch1 = cycle["channels"].toArray()[0].toObject();
  EXPECT_EQ(ch1["value"].toDouble(), 49.999) << "B = 0.1 reaches the module as 0.0999984741";
  EXPECT_NE(r.out.find("\"value\": 49.999,"), std::string::npos) << "the digits the window shows";
  EXPECT_EQ(ch1["adc"].toInt(), 500);
  EXPECT_EQ(ch1["dac"].toInt(), 2000);
  EXPECT_TRUE(ch1["lamps"].toArray()[4].toBool()) << "set-point 1 (40) is exceeded";
  EXPECT_TRUE(cycle["logic_outputs"].toArray()[0].toBool());

  const Result text = Cli({"status", "--port", simulator.DevicePath()});
  ASSERT_EQ(text.code, 0);
  EXPECT_NE(text.out.find("channel 1  value  49.999"), std::string::npos) << text.out;
}

TEST_F(CliTest, ReadFromOneModuleAndWriteIntoAnother) {
  // The first module starts from settings of its own, kept in a state file.
  sim::ModuleMemory own = sim::DefaultMemory();
  own.chan[2][0] = 7;      // averaging depth
  own.chan[1][42] = 0x21;  // output zero
  own.sys[40] = 0x35;      // a logic assignment
  const std::string state = Path("first.state");
  ASSERT_TRUE(sim::WriteStateFile(state, own));
  sim::Options options;
  options.stateFile = state;
  sim::PtySimulator first(options);
  sim::PtySimulator second;
  ASSERT_NE(first.Working(), second.Working());

  const Result read = Cli({"read", "--port", first.DevicePath(), "-o", Path("plant")});
  ASSERT_EQ(read.code, 0) << read.err;
  EXPECT_EQ(fs::file_size(Path("plant.vxa")), kSettingsFileSize);

  const Result refused = Cli({"write", "--port", second.DevicePath(), Path("plant.vxa")});
  EXPECT_EQ(refused.code, 1);
  EXPECT_NE(refused.err.find("При загрузке параметров логические выходы должны быть заблокированы!"),
            std::string::npos);
  EXPECT_FALSE(WroteAnything(second)) << "nothing written while the outputs are free";

  ASSERT_EQ(Cli({"block", "--port", second.DevicePath()}).code, 0);
  const Result write = Cli({"write", "--port", second.DevicePath(), Path("plant.vxa")});
  ASSERT_EQ(write.code, 0) << write.err;
  EXPECT_EQ(first.Working(), second.Working());

  // The store needs the outputs blocked as well; after it the stored settings are the working ones.
  ASSERT_EQ(Cli({"store", "--port", second.DevicePath()}).code, 0);
  EXPECT_EQ(second.Stored(), second.Working());
  ASSERT_EQ(Cli({"unblock", "--port", second.DevicePath()}).code, 0);
  const Result store = Cli({"store", "--port", second.DevicePath()});
  EXPECT_EQ(store.code, 1);
  EXPECT_NE(store.err.find("При записи параметров логические выходы должны быть заблокированы!"),
            std::string::npos);
  EXPECT_EQ(Cli({"reset", "--port", second.DevicePath()}).code, 0);

  // Offline: the report and the field listing of the file read. The ranges read with a point under
  // a Russian locale too, and only whole numbers.
  const locale_t russian = newlocale(LC_ALL_MASK, "ru_RU.UTF-8", locale_t{});
  ASSERT_NE(russian, locale_t{}) << "scripts/setup generates the ru_RU.UTF-8 locale";
  freelocale(russian);
  setenv("LC_ALL", "ru_RU.UTF-8", 1);
  const Result report =
      Cli({"report", Path("plant.vxa"), "-o", Path("plant"), "--param-range", "0.5", "99.5"});
  const Result junk = Cli({"report", Path("plant.vxa"), "-o", Path("junk"), "--out-range", "4", "20mA"});
  unsetenv("LC_ALL");
  ASSERT_EQ(report.code, 0) << report.err;
  std::ifstream text(Path("plant.txt"), std::ios::binary);
  const std::string written((std::istreambuf_iterator<char>(text)), std::istreambuf_iterator<char>());
  EXPECT_NE(written.find("  0.5 -  99.5"), std::string::npos);
  EXPECT_EQ(junk.code, 2);
  const Result show = Cli({"show", Path("plant.vxa"), "--json"});
  ASSERT_EQ(show.code, 0);
  const QJsonObject fields = QJsonDocument::fromJson(QByteArray::fromStdString(show.out)).object();
  EXPECT_EQ(fields["ch3.Aprox.depth"].toInt(), 8);
  EXPECT_EQ(fields["sys.Number"].toInt(), 1234);
}

// Replaces the value of one "name": value line of a settings text.
std::string WithValue(std::string json, const std::string& name, const std::string& value) {
  const std::size_t at = json.find("\"" + name + "\": ");
  if (at == std::string::npos) return json;
  const std::size_t from = at + name.size() + 4;
  return json.replace(from, json.find_first_of(",\n", from) - from, value);
}

TEST_F(CliTest, SettingsAsTextFromReadToVerify) {
  sim::PtySimulator simulator;
  const std::string port = simulator.DevicePath();
  Result r = Cli({"read", "--port", port, "--json"});
  ASSERT_EQ(r.code, 0) << r.err;
  std::string json = WithValue(WithValue(r.out, "ch2.Point1", "61.75"), "sys.CAN_adres", "4321");
  std::ofstream(Path("plant.json")) << json;
  std::ofstream(Path("bad.json")) << WithValue(WithValue(json, "sys.RS485_adres", "0"), "ch1.AdcMin", "2000");

  // A value the dialogs refuse: their messages with the fields' names, and no file.
  r = Cli({"build", Path("bad.json"), "-o", Path("bad.vxa")});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("sys.RS485_adres = 0: the dialog takes 1 to 247"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("ch1.AdcMin: Неверное значение минимального уровня АЦП"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(Path("bad.vxa")));
  ASSERT_EQ(Cli({"build", Path("plant.json"), "-o", Path("plant")}).code, 0);

  // A partial text over a base, compared with the base.
  std::ofstream(Path("part.json")) << R"({"ch1.Point0": 12.5})";
  ASSERT_EQ(Cli({"build", Path("part.json"), "--base", Path("plant.vxa"), "-o", Path("part.vxa")}).code, 0);
  r = Cli({"diff", Path("plant.vxa"), Path("part.vxa")});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out, "ch1.Point0: 40 | 12.5\n");

  // Into the module, stored, and verified.
  ASSERT_EQ(Cli({"block", "--port", port}).code, 0);
  ASSERT_EQ(Cli({"write", "--port", port, Path("plant.vxa")}).code, 0);
  ASSERT_EQ(Cli({"store", "--port", port}).code, 0);
  r = Cli({"verify", "--port", port, Path("plant.vxa")});
  EXPECT_EQ(r.code, 0) << r.out << r.err;
  EXPECT_EQ(r.out, "module 1234 matches " + Path("plant.vxa") + "\n");

  // The module holds 24 bits of each float: a file that differs below them still matches, one bit
  // above them does not.
  TModuleSettings file{};
  ASSERT_EQ(OpenSettingsFile(Path("plant.vxa"), file), FileOutcome::Done);
  const auto module = std::bit_cast<std::uint32_t>(+file.ChanSet[1].Point1) & 0xFFFFFF00U;
  const auto setPoint1 = [&](std::uint32_t bits) {
    return Cli({"set", Path("plant.vxa"), "ch2.Point1=" + ShortestFloatText(std::bit_cast<float>(bits))})
        .code;
  };
  ASSERT_EQ(setPoint1(module | 0x9D), 0);
  EXPECT_EQ(Cli({"verify", "--port", port, Path("plant.vxa")}).code, 0);
  r = Cli({"diff", "--port", port, Path("plant.vxa")});
  EXPECT_EQ(r.code, 0) << r.out;
  ASSERT_EQ(setPoint1(module + 0x100), 0);
  r = Cli({"verify", "--port", port, Path("plant.vxa")});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out.rfind("module 1234 differs from " + Path("plant.vxa") +
                            " in 1 field (module | file):\n  ch2.Point1: 61.75 | 61.75",
                        0),
            0U)
      << r.out;
  r = Cli({"diff", Path("plant.vxa"), "--port", port});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out.rfind("ch2.Point1: 61.75", 0), 0U) << r.out;

  // set is all or nothing.
  const std::string before = Slurp(Path("plant.vxa"));
  r = Cli({"set", Path("plant.vxa"), "ch3.Point0=5", "ch1.AdcMax=20000"});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("nothing written"), std::string::npos);
  EXPECT_EQ(Slurp(Path("plant.vxa")), before);
  EXPECT_EQ(Cli({"set", Path("plant.vxa"), "ch1.AdcMax=20000", "--as-is"}).code, 0);
  EXPECT_EQ(Cli({"diff", Path("plant.vxa")}).code, 2);
}

TEST_F(CliTest, LinkFailuresEndWithTheProgramsMessages) {
  sim::PtySimulator simulator;
  sim::Faults f;
  f.noModule = true;
  simulator.SetFaults(f);
  Result r = Cli({"status", "--port", simulator.DevicePath()});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("Модуль VEXA не обнаружен."), std::string::npos) << r.err;

  f = {};
  f.noAnswer = true;
  simulator.SetFaults(f);
  r = Cli({"status", "--port", simulator.DevicePath()});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("Нет ответа от модуля Ixor"), std::string::npos) << r.err;

  // A write refused at its third block: the system block and channel 1 are already in the module.
  simulator.SetFaults({});
  ASSERT_EQ(Cli({"read", "--port", simulator.DevicePath(), "-o", Path("m")}).code, 0);
  TModuleSettings changed{};
  ASSERT_EQ(OpenSettingsFile(Path("m.vxa"), changed), FileOutcome::Done);
  changed.SysSet.CAN_adres = 4321;
  changed.ChanSet[0].AdcMin = 77;
  changed.ChanSet[1].AdcMin = 88;
  ASSERT_EQ(SaveSettingsFile(changed, Path("m.vxa")), FileOutcome::Done);
  ASSERT_EQ(Cli({"block", "--port", simulator.DevicePath()}).code, 0);
  f = {};
  f.refuseWriteAt = 0x0030;
  simulator.SetFaults(f);
  r = Cli({"write", "--port", simulator.DevicePath(), Path("m.vxa")});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(
      r.err,
      "the module refused the write to 0030\nblocks 1\u20132 of 5 written (system settings, channel 1); the "
      "module's working settings are partly new: write again or store nothing (its stored settings are as "
      "they were)\n");
  const sim::ModuleMemory memory = simulator.Working();
  EXPECT_EQ(memory.sys[14] | memory.sys[15] << 8, 4321);
  EXPECT_EQ(memory.chan[0][38], 77);
  EXPECT_NE(memory.chan[1][38], 88);

  // A store the module refuses: a failure with the refused address, not a silent success.
  f = {};
  f.refuseWriteAt = 0xFFE2;
  simulator.SetFaults(f);
  r = Cli({"store", "--port", simulator.DevicePath()});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.err, "the module refused the write to FFE2\n");

  // The cable pulled in the middle of a write: what happened and how far the write came, exit 1, no
  // hang.
  std::size_t requests = 0;
  for (const auto& e : simulator.Log()) requests += e.request ? 1 : 0;
  const std::size_t logged = simulator.Log().size();
  f = {};
  // The set-up and its repeat for the number and year (4 requests each), the status cycle that
  // checks the block (5), then two blocks.
  f.hangUpAfter = static_cast<unsigned>(requests + 15);
  simulator.SetFaults(f);
  r = Cli({"write", "--port", simulator.DevicePath(), Path("m.vxa")});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 2) << r.err;
  EXPECT_NE(r.err.find("\nblock 1 of 5 written (system settings); block 2 (channel 1) was under way"),
            std::string::npos)
      << r.err;
  EXPECT_TRUE(simulator.HungUp());
  const auto written = simulator.Log();
  bool systemBlockSent = false;
  for (std::size_t i = logged; i < written.size(); ++i)
    systemBlockSent = systemBlockSent || (written[i].request && written[i].bytes.size() > 4 &&
                                          written[i].bytes[0] == 0x42 && written[i].bytes[3] == 0xC0);
  EXPECT_TRUE(systemBlockSent) << "the line is cut during the write";

  // The built-in simulator's random faults: a rate of 1 spoils every answer; a rate above 1 is a
  // usage error.
  r = Cli({"status", "--port", "sim", "--sim-fault-rate", "1", "--sim-seed", "5"});
  EXPECT_EQ(r.code, 1) << r.err;
  r = Cli({"status", "--port", "sim", "--sim-fault-rate", "1.5"});
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("--sim-fault-rate takes a probability"), std::string::npos) << r.err;

  // A damaged file: the program's message, and nothing is sent.
  std::vector<char> bytes(kSettingsFileSize, 0);
  bytes[10] = 1;
  std::ofstream(Path("bad.vxa"), std::ios::binary)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  sim::PtySimulator untouched;
  r = Cli({"write", "--port", untouched.DevicePath(), Path("bad.vxa")});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("Файл поврежден, загрузка данных не выполнена."), std::string::npos);
  EXPECT_TRUE(untouched.Log().empty());

  // Ctrl-C while it runs (once it polls): set-up step 1 goes out, the port is closed, exit 130.
  sim::PtySimulator watched;
  const auto polling = [&watched] {
    const auto log = watched.Log();
    return std::any_of(log.begin(), log.end(), [](const sim::LogEntry& e) {
      return e.request && e.bytes[0] == 0x44 && e.bytes[2] == 0x01;
    });
  };
  r = Cli({"status", "--port", watched.DevicePath(), "--cycles", "1000"}, {.signalWhen = polling});
  EXPECT_EQ(r.code, 130) << r.err;
  const auto log = watched.Log();
  ASSERT_FALSE(log.empty());
  std::vector<std::uint8_t> lastRequest;
  for (const auto& e : log)
    if (e.request) lastRequest = e.bytes;
  EXPECT_EQ(lastRequest, (std::vector<std::uint8_t>{0x10, 0x28, 0x30}));

  EXPECT_EQ(Cli({"status"}).code, 2);
  EXPECT_EQ(Cli({"frobnicate"}).code, 2);
}

// Where there are no pseudo-terminals (Windows) --port sim joins the link to the simulator in-process;
// the same session here, without a port.
TEST(InProcessSimulator, ServesTheLinkWithoutAPort) {
  static int argc = 1;
  static char name[] = "cli_tests";
  static char* argv[] = {name, nullptr};
  static QCoreApplication app(argc, argv);  // the session's timers and event loop
  sim::InProcessLine line;
  TModuleSettings record{};
  LinkSession session(record);
  ASSERT_TRUE(session.Connect(line)) << session.Failure();
  ASSERT_TRUE(session.Stored().has_value());
  EXPECT_EQ(session.Stored()->number, 1234);
  session.Engine().Request_code = Req_read_param;
  ASSERT_TRUE(session.RunUntil([&] { return session.CompletionMessage() == 1; }, 5000)) << session.Failure();
  EXPECT_EQ(+record.ChanSet[0].Point0, 40.0F);
  session.Engine().Request_code = Req_status;
  ASSERT_TRUE(session.RunUntil([&] { return session.StatusCycles() >= 1; }, 5000)) << session.Failure();
  session.Disconnect();
  EXPECT_FALSE(session.LineOpen());
  ASSERT_FALSE(line.Log().empty());
  EXPECT_EQ(line.Log()[line.Log().size() - 2].bytes, (std::vector<std::uint8_t>{0x10, 0x28, 0x30}))
      << "the disconnect went out and was answered";
}

}  // namespace
