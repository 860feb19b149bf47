// vexa_cli: the tool's jobs from a shell, with the window's own link engine, serial component,
// settings file and report writer on QtCore's event loop.
#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/link_session.h"
#include "link/live_values.h"
#include "platform/kernel.h"
#include "platform/ports.h"
#include "settings/c_format.h"
#include "settings/settings_file.h"
#include "settings/settings_text.h"
#include "settings/system_rules.h"
#include "settings/text_number.h"
#include "settings/text_report.h"
#include "sim/pty_simulator.h"

namespace {

const char* const kUsage = R"(usage: vexa_cli COMMAND [options]

commands:
  ports                                   list the serial ports with their descriptions
  status --port P [--cycles N] [--json]   print the live state after each status cycle (default 1)
  read --port P [-o FILE.vxa] [--json]    read the module's settings into a settings file, or print
                                          them as JSON (the form build reads)
  write --port P FILE.vxa [--number N] [--year YY]
                                          write a settings file into the module (outputs blocked)
  store --port P                          store the working settings in non-volatile memory
  block --port P | unblock --port P       block or release the logic outputs
  reset --port P                          reset the module
  report FILE.vxa -o OUT.txt [--param-range LO HI] [--out-range LO HI]
                                          write the text report of a settings file
  show FILE.vxa [--json]                  every field of a settings file, one "name = value" a line
                                          (the form set takes), or as JSON (the form build reads)
  build FILE.json -o FILE.vxa [--base B.vxa] [--as-is]
                                          a settings file from JSON ("-" reads stdin); fields left
                                          out keep the values of B.vxa, else 0
  set FILE.vxa FIELD=VALUE... [--as-is]   change fields of a settings file in place, all or none
  diff A B                                the fields that differ, "name: A | B"; A and B are files
                                          or --port P (floats then as a module holds them, 24 bits)
  verify --port P FILE.vxa                does the module hold what the file says? (what a write
                                          sends, the number and year aside)

Fields are named as show prints them: ch1.Point0, ch2.AdcTime (code) or ch2.AdcTime.s
(seconds), sys.RS485_speed or sys.RS485_speed.bps, sys.Logic.ch1.ev4 (output 0..11),
sys.LedTenu.sys.Al (events 0..7 as eight 0s and 1s), aux1.Reserved0 (hex). A field given in both
forms must agree in both: to change one, delete the other. build and set pass each value through
the rule of the dialog that edits it, with the dialog's checks across a channel's fields, and
refuse, with the dialog's message, a value the dialog would refuse or store differently;
--as-is stores every value as it stands.

--port takes a device path, a COMn name or "sim" (a built-in simulator; for demonstrations its
faults: --sim-no-module, --sim-no-answer, --sim-refuse-read ADDR, --sim-refuse-write ADDR,
--sim-delay MS, --sim-hang-up-after N, --sim-fault-rate P with --sim-seed N; ADDR in hex).
Exit codes: 0 done (diff, verify: equal), 1 failed (the reason on stderr; diff, verify: not
equal), 2 usage, 130 interrupted.

A batch of modules alike, here against a simulated module (vexa_sim --link /tmp/vexa &):
  vexa_cli read --port /tmp/vexa --json > plant.json   # edit it, keep it under version control
  vexa_cli build plant.json -o plant.vxa
  vexa_cli block --port /tmp/vexa && vexa_cli write --port /tmp/vexa plant.vxa
  vexa_cli store --port /tmp/vexa && vexa_cli verify --port /tmp/vexa plant.vxa
)";

constexpr int kDone = 0, kFailed = 1, kUsageError = 2, kInterrupted = 130;

struct Args {
  std::string command;
  std::vector<std::string> positional;
  std::map<std::string, std::vector<std::string>> options;
  std::size_t portPosition = 0;  // how many positional arguments came before --port

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
    {"--base", 1},
    {"--as-is", 0},
    {"--help", 0},
};

std::optional<Args> Parse(int argc, char** argv, std::string& problem) {
  Args args;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const auto option = kOptions.find(arg);
    if (option != kOptions.end()) {
      if (args.Has(arg)) {
        problem = arg + " given twice";
        return std::nullopt;
      }
      if (arg == "--port") args.portPosition = args.positional.size();
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
  if (!platform::StderrIsTerminal()) return;
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
  for (const auto& port : platform::EachNameOnce(platform::ListSerialPorts()))
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

// The module's settings into ModuleSettings.
int ReadModule(Target& target) {
  LinkSession session(ModuleSettings);
  if (const int code = ConnectOrFail(session, target)) return code;
  if (RunChain(session, Req_read_param, 1) != kDone) return Finish(session, kFailed);
  return Finish(session, kDone);
}

int CmdRead(const Args& args, Target& target) {
  const std::string out = args.One("-o");
  if (out.empty() && !args.Has("--json")) return Usage("read needs -o FILE.vxa or --json");
  if (const int code = ReadModule(target)) return code;
  if (args.Has("--json")) std::fputs(SettingsJson(ModuleSettings).c_str(), stdout);
  if (out.empty()) return kDone;
  const FileOutcome outcome =
      SaveSettingsFile(ModuleSettings, PathWithExtension(out, kSettingsFileExtension));
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
      OpenSettingsFile(PathWithExtension(args.positional[0], kSettingsFileExtension), ModuleSettings);
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
      OpenSettingsFile(PathWithExtension(args.positional[0], kSettingsFileExtension), ModuleSettings);
  if (opened != FileOutcome::Done) return Fail(std::string(FileOutcomeText(opened)));
  const ReportRanges ranges{param->first, param->second, out->first, out->second};
  const FileOutcome written =
      WriteTextReport(ModuleSettings, ranges, PathWithExtension(args.One("-o"), kReportExtension));
  return written == FileOutcome::Done ? kDone : Fail(std::string(FileOutcomeText(written)));
}

// A settings file into record; the file name rule as in the window.
int OpenOrFail(const std::string& name, TModuleSettings& record) {
  const FileOutcome opened = OpenSettingsFile(PathWithExtension(name, kSettingsFileExtension), record);
  return opened == FileOutcome::Done ? kDone : Fail(name + ": " + std::string(FileOutcomeText(opened)));
}

int CmdShow(const Args& args) {
  if (args.positional.size() != 1) return Usage("show needs one settings file");
  TModuleSettings record{};
  if (const int code = OpenOrFail(args.positional[0], record)) return code;
  std::fputs((args.Has("--json") ? SettingsJson(record) : SettingsLines(record)).c_str(), stdout);
  return kDone;
}

// Refused values, one a line, then the verdict: nothing was written.
int Refused(const std::string& source, const std::vector<TextProblem>& problems) {
  for (const TextProblem& p : problems) std::cerr << source << ": " << p.where << ": " << p.message << "\n";
  std::cerr << "nothing written\n";
  return kFailed;
}

TextRules RulesOf(const Args& args) { return args.Has("--as-is") ? TextRules::AsIs : TextRules::Dialogs; }

int CmdBuild(const Args& args) {
  if (args.positional.size() != 1 || args.One("-o").empty())
    return Usage("build needs FILE.json and -o FILE.vxa");
  const std::string& source = args.positional[0];
  std::string text;
  if (source == "-") {
    text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
  } else {
    std::ifstream in(PathFromUtf8(source), std::ios::binary);
    if (!in) return Fail(source + ": cannot be read");
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  TModuleSettings record{};
  if (args.Has("--base"))
    if (const int code = OpenOrFail(args.One("--base"), record)) return code;
  std::vector<TextProblem> problems;
  const std::vector<FieldValue> values = ParseSettingsJson(text, problems);
  if (problems.empty()) problems = ApplyFields(values, record, RulesOf(args));
  if (!problems.empty()) return Refused(source, problems);
  const FileOutcome saved =
      SaveSettingsFile(record, PathWithExtension(args.One("-o"), kSettingsFileExtension));
  return saved == FileOutcome::Done ? kDone : Fail(std::string(FileOutcomeText(saved)));
}

int CmdSet(const Args& args) {
  if (args.positional.size() < 2) return Usage("set needs FILE.vxa and at least one FIELD=VALUE");
  const std::string path = WithExtension(args.positional[0], kSettingsFileExtension);
  TModuleSettings record{};
  if (const int code = OpenOrFail(path, record)) return code;
  std::vector<FieldValue> values;
  std::vector<TextProblem> problems;
  for (std::size_t i = 1; i < args.positional.size(); ++i) {
    TextProblem problem;
    if (const auto v = ParseAssignment(args.positional[i], problem)) {
      values.push_back(*v);
    } else {
      problems.push_back(problem);
    }
  }
  if (problems.empty()) problems = ApplyFields(values, record, RulesOf(args));
  if (!problems.empty()) return Refused(path, problems);
  // The file is replaced as a whole, so a failed write leaves the old one.
  const FileOutcome saved = SaveSettingsFile(record, PathFromUtf8(path));
  return saved == FileOutcome::Done ? kDone : Fail(std::string(FileOutcomeText(saved)));
}

void PrintDifferences(const std::vector<FieldDifference>& differences, const char* indent) {
  for (const FieldDifference& d : differences)
    std::printf("%s%s: %s | %s\n", indent, d.name.c_str(), d.a.c_str(), d.b.c_str());
}

int CmdDiff(const Args& args, Target* target) {
  const bool module = target != nullptr;
  if (args.positional.size() != (module ? 1U : 2U))
    return Usage("diff needs two settings files, or one and --port P");
  TModuleSettings a{}, b{};
  if (module) {
    // The module is A when --port comes first.
    TModuleSettings& file = args.portPosition == 0 ? b : a;
    if (const int code = OpenOrFail(args.positional[0], file)) return code;
    if (const int code = ReadModule(*target)) return code;
    (args.portPosition == 0 ? a : b) = ModuleSettings;
  } else {
    if (const int code = OpenOrFail(args.positional[0], a)) return code;
    if (const int code = OpenOrFail(args.positional[1], b)) return code;
  }
  const auto differences = CompareSettings(a, b, module ? CompareScope::Module : CompareScope::File);
  PrintDifferences(differences, "");
  return differences.empty() ? kDone : kFailed;
}

int CmdVerify(const Args& args, Target& target) {
  if (args.positional.size() != 1) return Usage("verify needs --port P and one settings file");
  const std::string path = WithExtension(args.positional[0], kSettingsFileExtension);
  TModuleSettings file{};
  if (const int code = OpenOrFail(path, file)) return code;
  if (const int code = ReadModule(target)) return code;
  const auto differences = CompareSettings(ModuleSettings, file, CompareScope::Written);
  const unsigned number = ModuleSettings.SysSet.Number;
  if (differences.empty()) {
    std::printf("module %u matches %s\n", number, path.c_str());
    return kDone;
  }
  std::printf("module %u differs from %s in %zu field%s (module | file):\n", number, path.c_str(),
              differences.size(), differences.size() == 1 ? "" : "s");
  PrintDifferences(differences, "  ");
  return kFailed;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
#ifdef _WIN32
  // Windows passes argv in the ANSI code page: the arguments are taken again, as UTF-8.
  std::vector<std::string> utf8Args;
  for (const QString& arg : QCoreApplication::arguments()) utf8Args.push_back(arg.toStdString());
  std::vector<char*> utf8Argv;
  for (std::string& arg : utf8Args) utf8Argv.push_back(arg.data());
  argc = static_cast<int>(utf8Argv.size());
  argv = utf8Argv.data();
#endif
  platform::ConsoleOutputUtf8();
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
  if (c == "build") return CmdBuild(*args);
  if (c == "set") return CmdSet(*args);
  if (c == "diff" && !args->Has("--port")) return CmdDiff(*args, nullptr);
  const bool linkCommand = c == "status" || c == "read" || c == "write" || c == "store" || c == "block" ||
                           c == "unblock" || c == "reset" || c == "diff" || c == "verify";
  if (!linkCommand) return Usage("unknown command " + c);
  Target target;
  if (!target.Open(*args, problem)) return Usage(problem);
  if (!target.StartFailure().empty()) return Fail(target.StartFailure());
  if (c == "status") return CmdStatus(*args, target);
  if (c == "read") return CmdRead(*args, target);
  if (c == "write") return CmdWrite(*args, target);
  if (c == "diff") return CmdDiff(*args, &target);
  if (c == "verify") return CmdVerify(*args, target);
  return CmdCommand(c, target);
}
