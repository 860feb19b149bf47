// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/arguments.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <set>

#include "settings/text_number.h"

const char* const kUsage = R"(usage: vexa_cli COMMAND [options]
       vexa_cli --help | -h | --version
Sets up a VEXA measurement module from the command line, through an Ixor serial adapter: reads,
writes, stores and checks its settings, and makes, edits and compares settings files.

commands:
  ports                                   list the serial ports with their descriptions
  status --port P [--cycles N] [--json]   print the live state after each status cycle (default 1)
  read --port P [-o FILE.vxa] [--json] [--once]
                                          read the module's settings into a settings file, or print
                                          them as JSON (the form build reads); the settings are read
                                          twice and must agree (--once: read once)
  write --port P FILE.vxa [--number N] [--year YY]
                                          write a settings file into the module (outputs blocked);
                                          the module keeps its own number and year, as stored,
                                          unless given (the number 0 to 9999, the year 0 to 99)
  store --port P                          store the working settings in non-volatile memory
  block --port P | unblock --port P       block or release the logic outputs
  reset --port P                          reset the module
  report FILE.vxa -o OUT.txt [--param-range LO HI] [--out-range LO HI]
                                          write the text report of a settings file
  show FILE.vxa [--json]                  every field of a settings file as "name = value" lines
                                          (the form set takes), or as JSON (the form build reads)
  build FILE.json -o FILE.vxa [--base B.vxa] [--as-is]
                                          a settings file from JSON ("-" reads stdin); fields left
                                          out keep the values of B.vxa, else 0
  set FILE.vxa FIELD=VALUE... [--as-is]   change fields of a settings file in place, all or none
  diff A B [--once]                       the fields that differ, "name: A | B"; A and B are files
                                          or --port P (floats then as a module holds them, 24 bits)
  verify --port P FILE.vxa [--once]       does the module hold what the file says? (what a write
                                          sends, the number and year aside, floats as the dialogs
                                          show them)
  journal [--module N] [--since YYYY-MM-DD] [--json]
                                          the commissioning journal, newest first: every read,
                                          write, store, verify, comparison and block or unblock
                                          of either program, a write with what it changed

Fields are named as show prints them: ch1.Point0, ch2.AdcTime (code) or ch2.AdcTime.s
(seconds), sys.RS485_speed or sys.RS485_speed.bps, sys.Logic.ch1.ev4 (output 0..11),
sys.LedTenu.sys.Al (events 0..7 as eight 0s and 1s), aux1.Reserved0 (hex). A field given in both
forms must agree in both: to change one, delete the other. build and set pass each value through
the rule of the dialog that edits it, with the dialog's checks across a channel's fields, and
refuse, with the dialog's message, a value the dialog would refuse or store differently;
--as-is stores every value as it stands.

Settings files are exactly 403 bytes, the settings and their CRC-8: any other file is refused
with its size, settings text too (build makes a settings file of it). Inputs over 4 MB are refused.

Files: a file to read is used as given when it exists; otherwise a name without an extension gets
".vxa", so "plant" is plant.vxa. An output (-o) "-" is standard output; a name without an extension
gets ".vxa" (".txt" for the report) unless something of that name exists. An output must be a
regular file or a link to one, and none of the command's inputs: a folder, a device, a pipe or an
input is refused and nothing is written. Files are replaced whole: a failed write leaves the old
file. Messages about files end with the system's reason.

--port takes a device path (such as /dev/ttyUSB0, /dev/serial/by-id/..., or ./vexa), a COMn name
or "sim" (a built-in simulator; for demonstrations its faults: --sim-no-module, --sim-no-answer,
--sim-refuse-read ADDR, --sim-refuse-write ADDR, --sim-delay MS, --sim-hang-up-after N,
--sim-fault-rate P with --sim-seed N; ADDR as four hex digits such as 00C0). --trace prints every
exchange on stderr as it ends: time, request and answer in hex, verdict, round trip.
--wait-port SECONDS waits up to that long for the port to appear and open (an adapter being
plugged), with "waiting for PORT…" on a terminal; exit 2 if it never does. A batch can then loop
"plug the next module, write, verify" without timing the plugging.

--lang ru|en (or --lang=ru|en), before or after the command, gives the module's and the link's
messages in Russian or English; without it they are Russian, whatever the system's locale and the
window's choice, so that a script reads the same on every machine. Reports and settings files stay
as they are.

The module's answers carry no checksum: read, diff --port and verify read the settings twice and
take them only when both reads agree byte for byte (a third read decides once); write gives the
module its own number and year back only when two reports of them agree.

Options take their value as --option value or --option=value.

The journal is journal.jsonl in the user's data folder (~/.local/share/vexa-setup on Linux,
%LOCALAPPDATA%\vexa-setup on Windows), or the file VEXA_JOURNAL names. A journal that cannot be
written never fails a command: a line on stderr says so once.

Exit codes: 0 done; 1 failed (the reason on stderr); 2 usage error, or no port within --wait-port.
diff and verify: 0 equal, 1 different, 2 trouble (a usage error, a file, the port or the link
failed). A reader that stops
reading early (| head) is no failure. 130 interrupted by Ctrl-C, 143 by SIGTERM: the link is closed
within half a second and no file is written; a write stopped part-way says which blocks the module
acknowledged. The next command drops what an interrupted one left on the line.

A batch of modules alike, here against a simulated module (vexa_sim --link /tmp/vexa &):
  vexa_cli read --port /tmp/vexa --json > plant.json   # edit it, keep it under version control
  vexa_cli build plant.json -o plant.vxa
  vexa_cli block --port /tmp/vexa && vexa_cli write --port /tmp/vexa plant.vxa
  vexa_cli store --port /tmp/vexa && vexa_cli verify --port /tmp/vexa plant.vxa
)";

namespace {

// How an option's values are read.
enum class Value { None, Whole, Hex, Probability, Decimal, Text, Date };

struct OptionSpec {
  int count = 0;  // values after the option
  Value value = Value::None;
  unsigned long long min = 0, max = 0;  // for Whole
  const char* says = "";                // what the value must be, for the usage error
};

const std::map<std::string, OptionSpec>& Options() {
  static const std::map<std::string, OptionSpec> options = {
      {"--port", {1, Value::Text}},
      {"--trace", {}},
      {"--wait-port", {1, Value::Whole, 1, 86400, "seconds from 1 to 86400"}},
      {"--cycles", {1, Value::Whole, 1, 1000000000, "a whole number from 1 to 1000000000"}},
      {"--json", {}},
      {"--once", {}},
      {"-o", {1, Value::Text}},
      {"--number", {1, Value::Whole, 0, 9999, "a whole number from 0 to 9999"}},
      {"--year", {1, Value::Whole, 0, 99, "a whole number from 0 to 99"}},
      {"--param-range", {2, Value::Decimal, 0, 0, "two numbers with a point"}},
      {"--out-range", {2, Value::Decimal, 0, 0, "two numbers with a point"}},
      {"--base", {1, Value::Text}},
      {"--as-is", {}},
      {"--module", {1, Value::Whole, 0, 65535, "a module number from 0 to 65535"}},
      {"--since", {1, Value::Date, 0, 0, "a date as YYYY-MM-DD"}},
      {"--sim-no-module", {}},
      {"--sim-no-answer", {}},
      {"--sim-refuse-read", {1, Value::Hex, 0, 0, "an address as four hex digits, such as 00C0"}},
      {"--sim-refuse-write", {1, Value::Hex, 0, 0, "an address as four hex digits, such as 00C0"}},
      {"--sim-delay", {1, Value::Whole, 0, 60000, "milliseconds from 0 to 60000"}},
      {"--sim-hang-up-after", {1, Value::Whole, 0, UINT_MAX, "a whole number of requests"}},
      {"--sim-fault-rate", {1, Value::Probability, 0, 0, "a probability from 0 to 1"}},
      {"--sim-seed", {1, Value::Whole, 0, UINT_MAX, "a whole number from 0 to 4294967295"}},
  };
  return options;
}

struct CommandSpec {
  std::set<std::string> options;
  std::size_t minArgs = 0, maxArgs = 0;
  const char* arguments = "no arguments";  // what it takes, for the usage error
};

const std::set<std::string> kSimOptions = {"--sim-no-module",    "--sim-no-answer", "--sim-refuse-read",
                                           "--sim-refuse-write", "--sim-delay",     "--sim-hang-up-after",
                                           "--sim-fault-rate",   "--sim-seed"};

// A command on the link takes --port and, for the built-in simulator, its faults.
std::set<std::string> Link(std::set<std::string> more) {
  more.insert("--port");
  more.insert("--trace");
  more.insert("--wait-port");
  more.insert(kSimOptions.begin(), kSimOptions.end());
  return more;
}

const std::map<std::string, CommandSpec>& Commands() {
  static const std::map<std::string, CommandSpec> commands = {
      {"ports", {{}, 0, 0}},
      {"status", {Link({"--cycles", "--json"}), 0, 0}},
      {"read", {Link({"-o", "--json", "--once"}), 0, 0}},
      {"write", {Link({"--number", "--year"}), 1, 1, "one settings file"}},
      {"store", {Link({}), 0, 0}},
      {"block", {Link({}), 0, 0}},
      {"unblock", {Link({}), 0, 0}},
      {"reset", {Link({}), 0, 0}},
      {"report", {{"-o", "--param-range", "--out-range"}, 1, 1, "one settings file"}},
      {"show", {{"--json"}, 1, 1, "one settings file"}},
      {"build", {{"-o", "--base", "--as-is"}, 1, 1, "one JSON file (or - for stdin)"}},
      {"set", {{"--as-is"}, 2, SIZE_MAX, "a settings file and at least one FIELD=VALUE"}},
      {"diff", {Link({"--once"}), 1, 2, "two settings files, or one and --port P"}},
      {"verify", {Link({"--once"}), 1, 1, "one settings file"}},
      {"journal", {{"--module", "--since", "--json"}, 0, 0}},
  };
  return commands;
}

bool ValueReads(const OptionSpec& option, const std::string& text) {
  switch (option.value) {
    case Value::Whole: {
      const auto n = WholeNumberText(text, option.max);
      return n && *n >= option.min;
    }
    case Value::Hex:
      return HexWordText(text).has_value();
    case Value::Probability: {
      const auto p = DecimalText(text);
      return p && *p >= 0 && *p <= 1;
    }
    case Value::Decimal:
      return DecimalText(text).has_value();
    case Value::Date: {
      const auto digits = [&](std::size_t from, std::size_t n) {
        return text.substr(from, n).find_first_not_of("0123456789") == std::string::npos;
      };
      if (text.size() != 10 || text[4] != '-' || text[7] != '-' || !digits(0, 4) || !digits(5, 2) ||
          !digits(8, 2))
        return false;
      const int month = std::stoi(text.substr(5, 2)), day = std::stoi(text.substr(8, 2));
      return month >= 1 && month <= 12 && day >= 1 && day <= 31;
    }
    case Value::Text:
    case Value::None:
      break;
  }
  return true;
}

}  // namespace

std::optional<Args> ParseArguments(const std::vector<std::string>& arguments, std::string& problem) {
  Args args;
  const auto fail = [&](std::string why) {
    problem = std::move(why);
    return std::nullopt;
  };
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    std::string arg = arguments[i];
    if (arg == "--help" || arg == "-h" || arg == "--version") {
      // Asking for help is never wrong, whatever else the line holds.
      Args asked;
      asked.command = arg == "--version" ? "version" : "help";
      return asked;
    }
    // --option=value as well as --option value; a second value follows as a word of its own.
    std::optional<std::string> joined;
    if (const std::size_t equals = arg.find('=');
        arg.starts_with("--") && equals != std::string::npos && Options().count(arg.substr(0, equals)) != 0) {
      joined = arg.substr(equals + 1);
      arg.resize(equals);
    }
    const auto option = Options().find(arg);
    if (option != Options().end()) {
      if (args.Has(arg)) return fail(arg + " given twice");
      if (joined && option->second.count == 0) return fail(arg + " takes no value, not \"" + *joined + "\"");
      if (arg == "--port") args.portPosition = args.positional.size();
      auto& values = args.options[arg];
      for (int k = 0; k < option->second.count; ++k) {
        if (k > 0 || !joined) {
          if (++i >= arguments.size())
            return fail(arg + " needs " + (option->second.count == 1 ? "a value" : "two values"));
        }
        const std::string& value = k == 0 && joined ? *joined : arguments[i];
        if (!ValueReads(option->second, value))
          return fail(arg + " takes " + option->second.says + ", not \"" + value + "\"");
        values.push_back(value);
      }
    } else if (arg.size() > 1 && arg[0] == '-') {
      return fail("unknown option " + arg);
    } else if (args.command.empty()) {
      args.command = arg;
    } else {
      args.positional.push_back(arg);
    }
  }
  if (args.command.empty()) return fail("no command");
  if (args.command == "help")
    return args.positional.empty() ? std::optional(args) : fail("help takes no arguments");
  const auto command = Commands().find(args.command);
  if (command == Commands().end()) return fail("unknown command " + args.command);
  const CommandSpec& rules = command->second;
  for (const auto& [name, values] : args.options)
    if (!rules.options.count(name)) return fail(args.command + " does not take " + name);
  const std::size_t count = args.positional.size();
  if (count < rules.minArgs || count > rules.maxArgs)
    return fail(args.command + " takes " + rules.arguments +
                (count > rules.maxArgs ? ", not also \"" + args.positional[rules.maxArgs] + "\"" : ""));
  const bool simulator = args.One("--port") == "sim";
  for (const std::string& name : kSimOptions)
    if (args.Has(name) && !simulator) return fail(name + " applies only to --port sim");
  return args;
}

unsigned long long WholeOption(const Args& args, const std::string& name, unsigned long long otherwise) {
  if (!args.Has(name)) return otherwise;
  return WholeNumberText(args.One(name), ULLONG_MAX).value_or(otherwise);
}
