// SPDX-License-Identifier: GPL-3.0-or-later
// vexa_cli's commands with the module, on the window's own link engine and serial component.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/common.h"
#include "cli/journal_record.h"
#include "cli/link_session.h"
#include "link/live_values.h"
#include "link/module_commands.h"
#include "platform/kernel.h"
#include "platform/port_wait.h"
#include "platform/ports.h"
#include "platform/serial.h"
#include "settings/settings_file.h"
#include "settings/settings_text.h"
#include "settings/text_number.h"
#include "sim/in_process_line.h"
#include "sim/pty_simulator.h"

namespace {

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

  // A shown value as a JSON number with the digits the window shows; null for one that is none.
  static std::string Number(const std::string& shown) {
    const std::size_t from = shown.find_first_not_of(' ');
    const std::string text = from == std::string::npos ? std::string() : shown.substr(from);
    return DecimalText(text) && text.find_first_not_of("-0123456789.") == std::string::npos ? text : "null";
  }

  static std::string Lamps(const LiveLamp* lamps, int n) {
    std::string s = "[";
    for (int i = 0; i < n; ++i) s += std::string(i ? ", " : "") + (lamps[i].On() ? "true" : "false");
    return s + "]";
  }

  std::string Json(int cycle) const {
    std::string o = "  {\n    \"cycle\": " + std::to_string(cycle) + ",\n    \"version\": \"" + version.text +
                    "\",\n    \"module_lamps\": " + Lamps(module, 6) +
                    ",\n    \"logic_outputs\": " + Lamps(logic, 12) + ",\n    \"channels\": [";
    for (int ch = 0; ch < 4; ++ch)
      o += std::string(ch ? "," : "") + "\n      {\"value\": " + Number(value[ch].text) +
           ", \"current\": " + Number(current[ch].text) + ", \"adc\": " + Number(adc[ch].text) +
           ", \"dac\": " + Number(dac[ch].text) + ", \"lamps\": " + Lamps(chan[ch], 8) + "}";
    return o + "\n    ]\n  }";
  }
};

// The port a command talks to, with the built-in simulator when asked for.
class Target {
 public:
  // kDone, or the exit code of a usage error or of a simulator that cannot start.
  int Open(const Args& args) {
    device_ = args.One("--port");
    if (device_.empty()) return Usage(args.command + " needs --port P");
    trace_ = args.Has("--trace");
#ifndef _WIN32
    // A relative path names a device from here; the serial layer takes bare names as /dev's.
    if (device_.find('/') != std::string::npos && device_.front() != '/')
      device_ = (std::filesystem::current_path() / device_).lexically_normal().string();
#endif
    if (device_ != "sim")
      return args.Has("--wait-port") ? WaitForDevice(WholeOption(args, "--wait-port", 0)) : kDone;
    sim::Options options;
    sim::Faults& f = options.faults;
    f.noModule = args.Has("--sim-no-module");
    f.noAnswer = args.Has("--sim-no-answer");
    if (args.Has("--sim-refuse-read")) f.refuseReadAt = HexWordText(args.One("--sim-refuse-read"));
    if (args.Has("--sim-refuse-write")) f.refuseWriteAt = HexWordText(args.One("--sim-refuse-write"));
    f.delayMs = static_cast<unsigned>(WholeOption(args, "--sim-delay", 0));
    if (args.Has("--sim-fault-rate")) f.faultRate = DecimalText(args.One("--sim-fault-rate")).value_or(0);
    f.seed = static_cast<unsigned>(WholeOption(args, "--sim-seed", f.seed));
    if (args.Has("--sim-hang-up-after"))
      f.hangUpAfter = static_cast<unsigned>(WholeOption(args, "--sim-hang-up-after", 0));
    try {
      // On a pseudo-terminal where the system has them, so that the serial component carries the
      // exchanges as with a real adapter; joined to the link in-process elsewhere (Windows).
      if (sim::PtySimulator::Available()) {
        simulator_ = std::make_unique<sim::PtySimulator>(options);
        device_ = simulator_->DevicePath();
      } else {
        line_ = std::make_unique<sim::InProcessLine>(options);
      }
    } catch (const std::exception& e) {
      return Fail(std::string("the simulator cannot start: ") + e.what());
    }
    return kDone;
  }
  // The port's device may not be there yet: an adapter still to be plugged. kDone once it opens;
  // exit 2 when it never does, 130 or 143 on Ctrl-C or SIGTERM.
  int WaitForDevice(unsigned long long seconds) {
    const bool terminal = platform::StderrIsTerminal();
    std::uint32_t refusal = 0;
    if (terminal && platform::ProbePort(device_) != platform::PortState::Free)
      std::fprintf(stderr, "waiting for %s\u2026", device_.c_str());
    const platform::PortWait waited =
        platform::WaitForPort(device_, static_cast<int>(seconds * 1000), Interrupted, &refusal);
    if (terminal) std::fputs("\r\033[K", stderr);
    if (waited == platform::PortWait::Ready) return kDone;
    if (waited == platform::PortWait::Stopped) return InterruptedExit();
    std::string why =
        "the port " + device_ + " did not appear and open within " + std::to_string(seconds) + " s";
    if (refusal != 0) why += " (" + platform::ErrorText(refusal) + ")";
    const std::string hint = platform::OpenRefusalHint(refusal);
    if (!hint.empty()) why += "\n" + hint;
    Fail(why);
    return kUsageError;
  }

  bool Connect(LinkSession& session) {
    if (trace_) session.Trace(ProgressLine::PrintLine);
    if (line_) return session.Connect(*line_);
    if (session.Connect(device_)) return true;
#ifndef _WIN32
    // A bare name is one of /dev's: say so when the user may have meant a file here.
    const std::string file = platform::DeviceFileName(device_);
    if (!file.empty() && file != device_ && !session.LineOpen()) {
      std::error_code ec;
      const bool here = std::filesystem::exists(std::filesystem::symlink_status(device_, ec));
      session.AddToFailure("(the port " + device_ + " was taken as " + file +
                           (here ? "; ./" + device_ + " is here: to use it, give --port ./" + device_ : "") +
                           ")");
    }
#endif
    return false;
  }

 private:
  std::string device_;
  bool trace_ = false;
  std::unique_ptr<sim::PtySimulator> simulator_;
  std::unique_ptr<sim::InProcessLine> line_;
};

// The end of a command that used the link: disconnect, then the outcome.
int Finish(LinkSession& session, int code, ProgressLine* progress = nullptr) {
  NoteModule(session);
  session.Disconnect();
  if (progress != nullptr) progress->End();
  if (Interrupted()) return InterruptedExit();
  if (code == kDone) return kDone;
  return Fail(session.Failure().empty() ? "the module did not complete the exchange in time"
                                        : session.Failure());
}

// Runs a settings chain to its completion message; the progress counts its blocks after `before`
// of `total`.
bool RunChain(LinkSession& session, int request, int completion, ProgressLine& progress, int before,
              int total) {
  session.ForgetCompletion();
  const int first = session.SettingsFramesSent();
  session.Engine().Request_code = request;
  return session.RunUntil(
      [&] {
        progress.Show(before + std::min(5, session.SettingsFramesSent() - first), total);
        return session.CompletionMessage() == completion;
      },
      10000);
}

// A status cycle tells whether the module reports its outputs blocked by the user.
bool OutputsBlocked(LinkSession& session) {
  const int before = session.StatusCycles();
  session.Engine().Request_code = Req_status;
  return session.RunUntil([&] { return session.StatusCycles() > before; }, 5000) &&
         (session.ModuleStatus() & 0x10) != 0;
}

int PrintedOrFailed() { return AfterOutput(kDone); }

}  // namespace

int ReadModule(const Args& args, TModuleSettings& out) {
  Target target;
  if (const int code = target.Open(args)) return code;
  TModuleSettings record{};
  LinkSession session(record);
  if (!target.Connect(session)) return Finish(session, kFailed);
  ProgressLine progress;
  std::vector<TModuleSettings> reads;
  int chains = args.Has("--once") ? 1 : 2;
  for (int n = 0; n < chains; ++n) {
    if (!RunChain(session, Req_read_param, 1, progress, 5 * n, 5 * chains))
      return Finish(session, kFailed, &progress);
    // The number and year as the module holds them: the window's fields show 0 beyond their digits.
    if (const auto& stored = session.Stored()) {
      record.SysSet.Number = stored->number;
      record.SysSet.Year = stored->year;
    }
    reads.push_back(record);
    if (n == 1 && JudgeReads(reads, 2) == ReadsVerdict::ReadAgain) chains = 3;  // a third read decides
  }
  // The journal names the module's firmware, which a status answer tells.
  if (session.Firmware().empty() && CommandRecord() != nullptr && !Interrupted()) {
    const int cycles = session.StatusCycles();
    session.Engine().Request_code = Req_status;
    session.RunUntil([&] { return session.StatusCycles() > cycles; }, 2000);
  }
  NoteModule(session);
  session.Disconnect();
  progress.End();
  if (Interrupted()) return InterruptedExit();
  if (JudgeReads(reads, args.Has("--once") ? 1 : 2) == ReadsVerdict::Undecided) {
    std::string fields = ReadsDiffer(reads[0], reads[1], reads[2]);
    if (fields.empty()) fields = "\n  (bits that no field shows, such as those of a float that is no number)";
    return Fail(
        "the module's settings read differently three times (a line that changes bytes?); nothing is "
        "taken from them. The fields (first | second | third read):" +
        fields);
  }
  out = reads.back();
  NoteIdentity(out.SysSet);
  return kDone;
}

int CmdPorts() {
  for (const auto& port : platform::EachNameOnce(platform::ListSerialPorts()))
    std::printf("%s\t%s\n", port.name.c_str(), port.description.c_str());
  return PrintedOrFailed();
}

int CmdStatus(const Args& args) {
  Target target;
  if (const int code = target.Open(args)) return code;
  const auto cycles = static_cast<int>(WholeOption(args, "--cycles", 1));
  const bool json = args.Has("--json");
  Display display;
  TModuleSettings record{};
  LinkSession session(record);
  display.Bind(session.Live());
  if (!target.Connect(session)) return Finish(session, kFailed);
  // Each cycle is printed as it comes, so that the ones read before a failure are not lost.
  int code = kDone;
  if (json) std::fputs("[", stdout);
  for (int c = 1; c <= cycles; ++c) {
    session.Engine().Request_code = Req_status;  // no need to wait for the divider
    if (!session.RunUntil([&] { return session.StatusCycles() >= c; }, 5000)) {
      code = kFailed;
      break;
    }
    if (json) {
      std::printf("%s%s", c == 1 ? "\n" : ",\n", display.Json(c).c_str());
    } else {
      display.Print(c);
    }
    if (!OutputWritten()) {  // said already when it was a failure; no reason to go on either way
      session.Disconnect();
      return Interrupted() ? InterruptedExit() : ReaderGone() ? kDone : kFailed;
    }
  }
  if (json) std::fputs(session.StatusCycles() > 0 ? "\n]\n" : "]\n", stdout);
  if (!OutputWritten()) {
    session.Disconnect();
    return Interrupted() ? InterruptedExit() : ReaderGone() ? kDone : kFailed;
  }
  return Finish(session, code);
}

int CmdRead(const Args& args) {
  const std::string out = args.One("-o");
  if (out.empty() && !args.Has("--json")) return Usage("read needs -o FILE.vxa or --json");
  if (out == "-" && args.Has("--json"))
    return Usage("read prints --json on standard output: -o - would mix the two");
  const Output output = OutputFile(out, kSettingsFileExtension);
  if (!out.empty())
    if (const int code = CheckOutput(output, {})) return code;
  TModuleSettings record{};
  if (const int code = ReadModule(args, record)) return code;
  if (journal::Record* r = CommandRecord()) {
    r->settings = journal::AsModuleHolds(record);
    if (!out.empty() && !output.toStdout) r->file = JournalFileName(output.path);
  }
  if (args.Has("--json")) {
    EndCommandRecord(kDone);
    std::fputs(SettingsJson(record).c_str(), stdout);
    if (!OutputWritten() && !ReaderGone()) return kFailed;
  }
  if (out.empty()) return kDone;
  const SettingsImage image = BuildSettingsImage(record);
  return WriteOutput(output, image);
}

namespace {

// A write's blocks in the order they go: the system settings, then the four channels.
std::string BlockName(int block) {
  return block == 1 ? "system settings" : "channel " + std::to_string(block - 1);
}

// After a write that did not complete: which blocks the module acknowledged, and what that means. A
// block sent whose answer did not come (or came cut) may have been taken; a refused one was not.
void TellPartialWrite(int acknowledged, int refused, int sent) {
  const bool underWay = sent > acknowledged + refused;
  if (acknowledged == 0 && !underWay) {
    std::fputs("nothing was written to the module\n", stderr);
    return;
  }
  std::string said = "no block of 5 was acknowledged";
  if (acknowledged > 0) {
    std::string names;
    for (int block = 1; block <= acknowledged; ++block) names += (block > 1 ? ", " : "") + BlockName(block);
    said = (acknowledged == 1 ? "block 1" : "blocks 1\u2013" + std::to_string(acknowledged)) +
           " of 5 written (" + names + ")";
  }
  if (underWay)
    said += "; block " + std::to_string(acknowledged + 1) + " (" + BlockName(acknowledged + 1) +
            ") was under way and may have been written" + (acknowledged > 0 ? " too" : "");
  said += std::string("; the module's working settings ") + (acknowledged > 0 ? "are" : "may be") +
          " partly new: write again or store nothing (its stored settings are as they were)\n";
  std::fputs(said.c_str(), stderr);
}

}  // namespace

int CmdWrite(const Args& args) {
  TModuleSettings record{};
  if (journal::Record* r = CommandRecord())
    r->file = JournalFileName(InputFile(args.positional[0], kSettingsFileExtension));
  if (const int code = OpenOrFail(args.positional[0], record)) return code;
  Target target;
  if (const int code = target.Open(args)) return code;
  LinkSession session(record);
  // Without them, the number and year the module holds go back to it as they are.
  if (args.Has("--number"))
    session.OverrideNumber(static_cast<std::uint16_t>(WholeOption(args, "--number", 0)));
  if (args.Has("--year")) session.OverrideYear(static_cast<std::uint8_t>(WholeOption(args, "--year", 0)));
  if (!target.Connect(session)) return Finish(session, kFailed);
  // The number and year the module reported go back to it: with no checksum on the line, they are
  // taken only when a second report agrees (a third decides once).
  if (!args.Has("--number") || !args.Has("--year")) {
    const auto first = session.Stored();
    if (!session.ReadHeaderAgain()) return Finish(session, kFailed);
    if (const auto second = session.Stored(); second != first) {
      if (!session.ReadHeaderAgain()) return Finish(session, kFailed);
      if (session.Stored() != first && session.Stored() != second) {
        session.Disconnect();
        return Fail(
            "the module's number and year read differently three times (a line that changes bytes?): "
            "nothing written");
      }
    }
  }
  if (!OutputsBlocked(session)) {
    if (!session.Failure().empty() || Interrupted()) return Finish(session, kFailed);
    NoteModule(session);
    session.Disconnect();
    return Fail(kWriteNeedsBlock);
  }
  ProgressLine progress;
  const int firstSent = session.SettingsFramesSent();
  const int firstAnswered = session.SettingsWritesAnswered();
  const int firstRefused = session.SettingsWritesRefused();
  const bool done = RunChain(session, Req_write_param, 2, progress, 0, 5);
  // The block under way ends before the line closes; no further one is sent.
  session.Disconnect();
  progress.End();
  const int sent = std::min(5, session.SettingsFramesSent() - firstSent);
  const int answered = std::min(5, session.SettingsWritesAnswered() - firstAnswered);
  const int refused = session.SettingsWritesRefused() - firstRefused;
  const bool complete = done || session.CompletionMessage() == 2 || answered == 5;
  NoteModule(session);
  if (journal::Record* r = CommandRecord(); r != nullptr && sent > 0) {
    // What went out: the number and year are those the system block carried.
    r->settings = journal::AsModuleHolds(record);
    r->module = record.SysSet.Number;
    r->year = record.SysSet.Year;
  }
  if (Interrupted()) {
    if (complete) {
      std::fputs("the write had completed: the module holds the file's settings\n", stderr);
    } else {
      TellPartialWrite(answered, refused, sent);
    }
    return InterruptedExit();
  }
  if (complete) return kDone;
  const int code = Finish(session, kFailed);
  TellPartialWrite(answered, refused, sent);
  return code;
}

int CmdModuleCommand(const Args& args) {
  Target target;
  if (const int code = target.Open(args)) return code;
  TModuleSettings record{};
  LinkSession session(record);
  if (!target.Connect(session)) return Finish(session, kFailed);
  LinkEngine& engine = session.Engine();
  const std::string& command = args.command;
  if (command == "store") {
    if (!OutputsBlocked(session)) {
      if (!session.Failure().empty() || Interrupted()) return Finish(session, kFailed);
      NoteModule(session);
      session.Disconnect();
      return Fail(kSaveNeedsBlock);
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

int CmdVerify(const Args& args) {
  const auto path = InputFile(args.positional[0], kSettingsFileExtension);
  TModuleSettings file{}, module{};
  if (const int code = OpenOrFail(args.positional[0], file)) return code;
  if (journal::Record* r = CommandRecord()) r->file = JournalFileName(path);
  if (const int code = ReadModule(args, module)) return code;
  const auto differences = CompareSettings(module, file, CompareScope::Written);
  if (journal::Record* r = CommandRecord()) r->differences = static_cast<unsigned>(differences.size());
  EndCommandRecord(differences.empty() ? kDone : kDiffers);
  const unsigned number = module.SysSet.Number;
  if (differences.empty()) {
    std::printf("module %u matches %s\n", number, Shown(path).c_str());
    return PrintedOrFailed();
  }
  std::printf("module %u differs from %s in %zu field%s (module | file):\n", number, Shown(path).c_str(),
              differences.size(), differences.size() == 1 ? "" : "s");
  for (const FieldDifference& d : differences)
    std::printf("  %s: %s | %s\n", d.name.c_str(), d.a.c_str(), d.b.c_str());
  return AfterOutput(kDiffers);
}
