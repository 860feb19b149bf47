// vexa_cli: the tool's jobs from a shell, with the window's own link engine, serial component,
// settings file and report writer on QtCore's event loop.
#include <unistd.h>
#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/link_session.h"
#include "link/live_values.h"
#include "platform/ports.h"
#include "settings/c_format.h"
#include "settings/settings_file.h"
#include "settings/system_rules.h"
#include "settings/text_number.h"
#include "settings/text_report.h"
#include "sim/pty_simulator.h"

namespace {

const char* const kUsage = R"(usage: vexa_cli COMMAND [options]

commands:
  ports                                   list the serial ports with their descriptions
  status --port P [--cycles N] [--json]   print the live state after each status cycle (default 1)
  read --port P -o FILE.vxa               read the module's settings into a settings file
  write --port P FILE.vxa [--number N] [--year YY]
                                          write a settings file into the module (outputs blocked)
  store --port P                          store the working settings in non-volatile memory
  block --port P | unblock --port P       block or release the logic outputs
  reset --port P                          reset the module
  report FILE.vxa -o OUT.txt [--param-range LO HI] [--out-range LO HI]
                                          write the text report of a settings file
  show FILE.vxa [--json]                  every field of a settings file

--port takes a device path, a COMn name or "sim" (a built-in simulator; for demonstrations its
faults: --sim-no-module, --sim-no-answer, --sim-refuse-read ADDR, --sim-refuse-write ADDR,
--sim-delay MS, --sim-hang-up-after N, --sim-fault-rate P with --sim-seed N; ADDR in hex).
Exit codes: 0 done, 1 failed (the reason on stderr), 2 usage, 130 interrupted.
)";

constexpr int kDone = 0, kFailed = 1, kUsageError = 2, kInterrupted = 130;

struct Args {
  std::string command;
  std::vector<std::string> positional;
  std::map<std::string, std::vector<std::string>> options;

  bool Has(const std::string& name) const { return options.count(name) != 0; }
  std::string One(const std::string& name) const {
    return Has(name) ? options.at(name).at(0) : std::string();
  }
};

// Options and how many values each takes.
const std::map<std::string, int> kOptions = {
    {"--port", 1},
    {"--cycles", 1},
    {"--json", 0},
    {"-o", 1},
    {"--number", 1},
    {"--year", 1},
    {"--param-range", 2},
    {"--out-range", 2},
    {"--sim-no-module", 0},
    {"--sim-no-answer", 0},
    {"--sim-refuse-read", 1},
    {"--sim-refuse-write", 1},
    {"--sim-delay", 1},
    {"--sim-hang-up-after", 1},
    {"--sim-fault-rate", 1},
    {"--sim-seed", 1},
    {"--help", 0},
};

std::optional<Args> Parse(int argc, char** argv, std::string& problem) {
  Args args;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const auto option = kOptions.find(arg);
    if (option != kOptions.end()) {
      auto& values = args.options[arg];
      for (int k = 0; k < option->second; ++k) {
        if (++i >= argc) {
          problem = arg + " needs " + std::to_string(option->second) + " value(s)";
          return std::nullopt;
        }
        values.push_back(argv[i]);
      }
    } else if (arg.size() > 1 && arg[0] == '-') {
      problem = "unknown option " + arg;
      return std::nullopt;
    } else if (args.command.empty()) {
      args.command = arg;
    } else {
      args.positional.push_back(arg);
    }
  }
  return args;
}

int Usage(const std::string& problem) {
  std::cerr << "vexa_cli: " << problem << "\n\n" << kUsage;
  return kUsageError;
}

int Fail(const std::string& text) {
  std::cerr << text << "\n";
  return kFailed;
}

// The live values as the window would show them, kept for printing.
struct Display : LiveValues {
  void Bind(LiveStatus& live) { live.Init_views(Binding()); }

  static std::string Bits(const LiveLamp* lamps, int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += lamps[i].On() ? '1' : '0';
    return s;
  }

  void Print(int cycle) const {
    std::printf("cycle %d  version %s  module lamps %s  logic outputs %s\n", cycle, version.text.c_str(),
                Bits(module, 6).c_str(), Bits(logic, 12).c_str());
    for (int ch = 0; ch < 4; ++ch)
      std::printf("  channel %d  value %s  current %s  adc %s  dac %s  lamps %s\n", ch + 1,
                  value[ch].text.c_str(), current[ch].text.c_str(), adc[ch].text.c_str(),
                  dac[ch].text.c_str(), Bits(chan[ch], 8).c_str());
  }

  QJsonObject Json() const {
    QJsonObject o;
    o["version"] = QString::fromStdString(version.text);
    QJsonArray logicArray, moduleArray, channels;
    for (const LiveLamp& l : logic) logicArray.append(l.On());
    for (const LiveLamp& l : module) moduleArray.append(l.On());
    for (int ch = 0; ch < 4; ++ch) {
      QJsonObject c;
      c["value"] = QString::fromStdString(value[ch].text);
      c["current"] = QString::fromStdString(current[ch].text);
      c["adc"] = QString::fromStdString(adc[ch].text);
      c["dac"] = QString::fromStdString(dac[ch].text);
      QJsonArray lamps;
      for (const LiveLamp& l : chan[ch]) lamps.append(l.On());
      c["lamps"] = lamps;
      channels.append(c);
    }
    o["logic_outputs"] = logicArray;
    o["module_lamps"] = moduleArray;
    o["channels"] = channels;
    return o;
  }
};

// The port a command talks to, with the built-in simulator when asked for.
class Target {
 public:
  bool Open(const Args& args, std::string& problem) {
    device_ = args.One("--port");
    if (device_.empty()) {
      problem = "--port is required";
      return false;
    }
    if (device_ != "sim") return true;
    sim::Options options;
    options.faults.noModule = args.Has("--sim-no-module");
    options.faults.noAnswer = args.Has("--sim-no-answer");
    if (args.Has("--sim-refuse-read"))
      options.faults.refuseReadAt =
          static_cast<std::uint16_t>(std::strtoul(args.One("--sim-refuse-read").c_str(), nullptr, 16));
    if (args.Has("--sim-refuse-write"))
      options.faults.refuseWriteAt =
          static_cast<std::uint16_t>(std::strtoul(args.One("--sim-refuse-write").c_str(), nullptr, 16));
    if (args.Has("--sim-delay"))
      options.faults.delayMs = static_cast<unsigned>(std::atoi(args.One("--sim-delay").c_str()));
    if (args.Has("--sim-fault-rate")) {
      const std::string text = args.One("--sim-fault-rate");
      char* end = nullptr;
      const double rate = std::strtod(text.c_str(), &end);
      if (end == text.c_str() || *end != '\0' || !(rate >= 0 && rate <= 1)) {
        problem = "--sim-fault-rate takes a probability from 0 to 1";
        return false;
      }
      options.faults.faultRate = rate;
    }
    if (args.Has("--sim-seed"))
      options.faults.seed = static_cast<unsigned>(std::strtoul(args.One("--sim-seed").c_str(), nullptr, 10));
    if (args.Has("--sim-hang-up-after"))
      options.faults.hangUpAfter = static_cast<unsigned>(std::atoi(args.One("--sim-hang-up-after").c_str()));
    try {
      simulator_ = std::make_unique<sim::PtySimulator>(options);
    } catch (const std::exception& e) {
      startFailure_ = std::string("the simulator cannot start: ") + e.what();
    }
    if (simulator_) device_ = simulator_->DevicePath();
    return true;
  }
  const std::string& Device() const { return device_; }
  // Why the built-in simulator did not start; empty when it did or was not asked for.
  const std::string& StartFailure() const { return startFailure_; }

 private:
  std::string device_;
  std::unique_ptr<sim::PtySimulator> simulator_;
  std::string startFailure_;
};

// Shows "block k of 5" on a terminal while a chain runs.
void Progress(LinkSession& session, int firstFrame, int blocks) {
  if (!isatty(2)) return;
  const int k = std::min(blocks, session.FramesSent() - firstFrame);
  std::fprintf(stderr, "\rblock %d of %d", k, blocks);
  if (k == blocks) std::fprintf(stderr, "\n");
}

// The end of a command that used the link: disconnect, then the outcome.
int Finish(LinkSession& session, int code) {
  const bool interrupted = session.Interrupted();
  session.Disconnect();
  if (interrupted) {
    std::cerr << "interrupted\n";
    return kInterrupted;
  }
  if (code != kDone && !session.Failure().empty()) std::cerr << session.Failure() << "\n";
  return code;
}

int ConnectOrFail(LinkSession& session, const Target& target) {
  if (session.Connect(target.Device())) return kDone;
  return Finish(session, kFailed);
}

int CmdPorts() {
  for (const auto& port : platform::ListSerialPorts())
    std::printf("%s\t%s\n", port.name.c_str(), port.description.c_str());
  return kDone;
}

int CmdStatus(const Args& args, Target& target) {
  const int cycles = args.Has("--cycles") ? std::atoi(args.One("--cycles").c_str()) : 1;
  if (cycles < 1) return Usage("--cycles takes a positive number");
  Display display;
  LinkSession session(ModuleSettings);
  display.Bind(session.Live());
  if (const int code = ConnectOrFail(session, target)) return code;
  QJsonArray all;
  for (int c = 1; c <= cycles; ++c) {
    const int want = c;
    session.Engine().Request_code = Req_status;  // no need to wait for the divider
    if (!session.RunUntil([&] { return session.StatusCycles() >= want; }, 5000))
      return Finish(session, kFailed);
    if (args.Has("--json")) {
      all.append(display.Json());
    } else {
      display.Print(c);
    }
  }
  if (args.Has("--json")) std::printf("%s\n", QJsonDocument(all).toJson(QJsonDocument::Indented).constData());
  return Finish(session, kDone);
}

int RunChain(LinkSession& session, int request, int completion) {
  const int first = session.FramesSent();
  session.Engine().Request_code = request;
  const bool ok = session.RunUntil(
      [&] {
        Progress(session, first, 5);
        return session.CompletionMessage() == completion;
      },
      10000);
  return ok ? kDone : kFailed;
}

int CmdRead(const Args& args, Target& target) {
  const std::string out = args.One("-o");
  if (out.empty()) return Usage("read needs -o FILE.vxa");
  LinkSession session(ModuleSettings);
  if (const int code = ConnectOrFail(session, target)) return code;
  if (RunChain(session, Req_read_param, 1) != kDone) return Finish(session, kFailed);
  const int code = Finish(session, kDone);
  if (code != kDone) return code;
  const FileOutcome outcome = SaveSettingsFile(ModuleSettings, WithExtension(out, kSettingsFileExtension));
  return outcome == FileOutcome::Done ? kDone : Fail(std::string(FileOutcomeText(outcome)));
}

// A status cycle tells whether the module reports its outputs blocked by the user.
bool OutputsBlocked(LinkSession& session) {
  const int before = session.StatusCycles();
  session.Engine().Request_code = Req_status;
  return session.RunUntil([&] { return session.StatusCycles() > before; }, 5000) &&
         (session.ModuleStatus() & 0x10) != 0;
}

int CmdWrite(const Args& args, Target& target) {
  if (args.positional.size() != 1) return Usage("write needs one settings file");
  const FileOutcome opened =
      OpenSettingsFile(WithExtension(args.positional[0], kSettingsFileExtension), ModuleSettings);
  if (opened != FileOutcome::Done) return Fail(std::string(FileOutcomeText(opened)));
  LinkSession session(ModuleSettings);
  // Without them, the number and year the module reported on connecting go back to it.
  if (args.Has("--number")) {
    const double number = TextToNumber(args.One("--number"), 5);
    if (number < 0 || number > 9999 || number != static_cast<int>(number))
      return Usage("--number takes 0 to 9999");
    session.OverrideNumber(CFormat("%4u", static_cast<unsigned>(number)));
  }
  if (args.Has("--year")) {
    const double year = TextToNumber(args.One("--year"), 3);
    if (year < 0 || year > 99 || year != static_cast<int>(year)) return Usage("--year takes 0 to 99");
    session.OverrideYear(CFormat("%2u", static_cast<unsigned>(year)));
  }
  if (const int code = ConnectOrFail(session, target)) return code;
  if (!OutputsBlocked(session)) {
    if (!session.Failure().empty()) return Finish(session, kFailed);
    session.Disconnect();
    return Fail("При загрузке параметров логические выходы должны быть заблокированы!");
  }
  return Finish(session, RunChain(session, Req_write_param, 2));
}

int CmdCommand(const std::string& command, Target& target) {
  LinkSession session(ModuleSettings);
  if (const int code = ConnectOrFail(session, target)) return code;
  LinkEngine& engine = session.Engine();
  if (command == "store") {
    if (!OutputsBlocked(session)) {
      if (!session.Failure().empty()) return Finish(session, kFailed);
      session.Disconnect();
      return Fail("При записи параметров логические выходы должны быть заблокированы!");
    }
    const int sent = session.FramesSent();
    engine.Request_code = Req_save_eeprom;
    const bool ok = session.RunUntil(
        [&] { return session.FramesSent() > sent && !engine.Wait_reply && engine.Request_code == 0; }, 5000);
    return Finish(session, ok ? kDone : kFailed);
  }
  if (command == "block" || command == "unblock") {
    const bool block = command == "block";
    engine.Request_code = block ? Req_block : Req_unblock;
    // Done when a status answer after the command reports the new state.
    const int cycles = session.StatusCycles();
    const bool ok = session.RunUntil(
        [&] { return session.StatusCycles() > cycles && ((session.ModuleStatus() & 0x10) != 0) == block; },
        5000);
    return Finish(session, ok ? kDone : kFailed);
  }
  // reset
  const int cycles = session.StatusCycles();
  engine.Request_code = Req_reset;
  const bool ok = session.RunUntil([&] { return session.StatusCycles() > cycles; }, 5000);
  return Finish(session, ok ? kDone : kFailed);
}

// A whole text as a number with a point, whatever the locale says.
std::optional<float> Number(const std::string& text) {
  float value = 0;
  const char* const end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc{} || stop != end || !std::isfinite(value)) return std::nullopt;
  return value;
}

std::optional<std::pair<float, float>> Range(const Args& args, const std::string& name) {
  if (!args.Has(name)) return std::pair<float, float>{0.0F, 0.0F};
  const auto& v = args.options.at(name);
  const auto lo = Number(v[0]), hi = Number(v[1]);
  if (!lo || !hi) return std::nullopt;
  return std::pair{*lo, *hi};
}

int CmdReport(const Args& args) {
  if (args.positional.size() != 1 || args.One("-o").empty())
    return Usage("report needs FILE.vxa and -o OUT.txt");
  const auto param = Range(args, "--param-range");
  const auto out = Range(args, "--out-range");
  if (!param || !out) return Usage("ranges take two numbers");
  const FileOutcome opened =
      OpenSettingsFile(WithExtension(args.positional[0], kSettingsFileExtension), ModuleSettings);
  if (opened != FileOutcome::Done) return Fail(std::string(FileOutcomeText(opened)));
  const ReportRanges ranges{param->first, param->second, out->first, out->second};
  const FileOutcome written =
      WriteTextReport(ModuleSettings, ranges, WithExtension(args.One("-o"), kReportExtension));
  return written == FileOutcome::Done ? kDone : Fail(std::string(FileOutcomeText(written)));
}

int CmdShow(const Args& args) {
  if (args.positional.size() != 1) return Usage("show needs one settings file");
  const FileOutcome opened =
      OpenSettingsFile(WithExtension(args.positional[0], kSettingsFileExtension), ModuleSettings);
  if (opened != FileOutcome::Done) return Fail(std::string(FileOutcomeText(opened)));
  const TModuleSettings& r = ModuleSettings;
  static const char* const kFormats[] = {"#.###", "##.##", "###.#", "####"};
  static const int kRs485[] = {4800, 9600, 19200, 38400, 57600, 115200};
  static const int kCan[] = {1000, 500, 250, 200, 125, 100, 40};
  QJsonObject root;
  QJsonArray channels;
  for (int ch = 0; ch < 4; ++ch) {
    const TChanSet& c = r.ChanSet[ch];
    QJsonObject o;
    o["format"] = kFormats[c.Format & 3];
    o["averaging_depth"] = c.Aprox + 1;
    o["sensor_failure_reaction_s"] = (c.AdcTime + 1) * 0.5;
    o["setpoint_reaction_s"] = (c.PointTime + 1) * 0.5;
    QJsonArray points;
    const float p[4] = {c.Point0, c.Point1, c.Point2, c.Point3};
    for (int k = 0; k < 4; ++k)
      points.append(
          QJsonObject{{"value", static_cast<double>(p[k])}, {"inverted", ((c.Format >> (4 + k)) & 1) != 0}});
    o["setpoints"] = points;
    o["setpoint_hysteresis"] = static_cast<double>(c.PointHist);
    o["sensor_current_coefficient"] = static_cast<double>(c.ParamCurr_B);
    o["parameter_a"] = static_cast<double>(c.ParamCoff_A);
    o["parameter_b"] = static_cast<double>(c.ParamCoff_B);
    o["output_a"] = static_cast<double>(c.OutCoff_A);
    o["output_b"] = static_cast<double>(c.OutCoff_B);
    o["output_max_ma"] = static_cast<double>(c.OutCurrMax);
    o["adc_min"] = c.AdcMin;
    o["adc_max"] = c.AdcMax;
    o["adc_hysteresis"] = c.AdcHist;
    o["output_zero"] = c.OutZero;
    o["sensor_test_hysteresis_ma"] = static_cast<double>(r.ChanAux[ch].SensTestHist);
    channels.append(o);
  }
  const TSysSet& s = r.SysSet;
  QJsonObject sys;
  sys["number"] = s.Number;
  sys["year"] = s.Year;
  sys["rs485_enabled"] = s.RS485_En != 0;
  sys["rs485_settings_allowed"] = s.RS485_WrLock == 0;
  sys["rs485_speed_bps"] = s.RS485_speed < 6 ? QJsonValue(kRs485[s.RS485_speed]) : QJsonValue("unknown");
  sys["rs485_address"] = s.RS485_adres;
  sys["can_enabled"] = s.CAN_En != 0;
  sys["can_speed_kbps"] = s.CAN_Speed < 7 ? QJsonValue(kCan[s.CAN_Speed]) : QJsonValue("unknown");
  sys["can_address"] = s.CAN_adres;
  sys["can_presence"] = s.Pres != 0;
  sys["can_period_s"] = (s.CAN_Time + 1) * 0.5;
  sys["can_channels"] = QJsonArray{s.CAN_0 != 0, s.CAN_1 != 0, s.CAN_2 != 0, s.CAN_3 != 0};
  sys["output_block_after_reset_s"] = (s.Time_Start + 1) * 0.2;
  sys["setpoint_display_s"] = (s.Time_Point + 1) * 0.2;
  // Logic outputs per event: channel events first, then the module's; 0 = none.
  QJsonArray logic;
  for (int group = 0; group < 5; ++group) {
    QJsonArray events;
    for (int e = 0; e < 8; ++e) {
      const int n = LogicNibble(s, 8 * group + e);
      events.append(n <= kLogicOutputs ? n : 0);
    }
    logic.append(events);
  }
  sys["logic_outputs_by_event"] = logic;
  QJsonArray tenu;
  for (int i = 0; i < 15; ++i) tenu.append(s.LedTenu[i]);
  sys["tenu_led_event_bits"] = tenu;
  root["channels"] = channels;
  root["system"] = sys;
  const QJsonDocument doc(root);
  if (args.Has("--json")) {
    std::printf("%s", doc.toJson(QJsonDocument::Indented).constData());
  } else {
    // The same content as readable lines: one "path = value" a field.
    const std::function<void(const QString&, const QJsonValue&)> walk = [&](const QString& path,
                                                                            const QJsonValue& v) {
      if (v.isObject()) {
        const QJsonObject o = v.toObject();
        for (auto it = o.begin(); it != o.end(); ++it)
          walk(path.isEmpty() ? it.key() : path + "." + it.key(), it.value());
      } else if (v.isArray()) {
        const QJsonArray a = v.toArray();
        for (int i = 0; i < a.size(); ++i) walk(path + "[" + QString::number(i + 1) + "]", a[i]);
      } else {
        const QString text = v.isBool()     ? (v.toBool() ? "yes" : "no")
                             : v.isString() ? v.toString()
                                            : QString::number(v.toDouble());
        std::printf("%s = %s\n", path.toUtf8().constData(), text.toUtf8().constData());
      }
    };
    walk(QString(), root);
  }
  return kDone;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  std::string problem;
  const auto args = Parse(argc, argv, problem);
  if (!args) return Usage(problem);
  if (args->Has("--help") || args->command == "help") {
    std::cout << kUsage;
    return kDone;
  }
  if (args->command.empty()) return Usage("no command");
  LinkSession::InstallInterruptHandler();

  const std::string& c = args->command;
  if (c == "ports") return CmdPorts();
  if (c == "report") return CmdReport(*args);
  if (c == "show") return CmdShow(*args);
  const bool linkCommand = c == "status" || c == "read" || c == "write" || c == "store" || c == "block" ||
                           c == "unblock" || c == "reset";
  if (!linkCommand) return Usage("unknown command " + c);
  Target target;
  if (!target.Open(*args, problem)) return Usage(problem);
  if (!target.StartFailure().empty()) return Fail(target.StartFailure());
  if (c == "status") return CmdStatus(*args, target);
  if (c == "read") return CmdRead(*args, target);
  if (c == "write") return CmdWrite(*args, target);
  return CmdCommand(c, target);
}
