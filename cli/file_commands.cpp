// SPDX-License-Identifier: GPL-3.0-or-later
// vexa_cli's commands with settings files: the report, settings as text, and comparisons.
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/common.h"
#include "cli/journal_record.h"
#include "settings/settings_file.h"
#include "settings/settings_text.h"
#include "settings/text_number.h"
#include "settings/text_report.h"

namespace {

std::pair<float, float> Range(const Args& args, const std::string& name) {
  if (!args.Has(name)) return {0.0F, 0.0F};
  const auto& v = args.options.at(name);
  // The arguments' reading has checked both numbers.
  return {static_cast<float>(DecimalText(v[0]).value_or(0)),
          static_cast<float>(DecimalText(v[1]).value_or(0))};
}

// A name or value as typed, its control characters (a NUL among them) written as JSON escapes, so
// that the line shows them and is not cut short.
std::string Escaped(const std::string& text) {
  std::string out;
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x20 && u != 0x7F) {
      out += c;
      continue;
    }
    char escape[8];
    std::snprintf(escape, sizeof escape, "\\u%04X", u);
    out += escape;
  }
  return out;
}

// Refused values, one a line, then the verdict: nothing was written.
int Refused(const std::string& source, const std::vector<TextProblem>& problems) {
  for (const TextProblem& p : problems)
    std::fprintf(stderr, "%s: %s: %s\n", Escaped(source).c_str(), Escaped(p.where).c_str(),
                 Escaped(p.message).c_str());
  std::fputs("nothing written\n", stderr);
  return kFailed;
}

TextRules RulesOf(const Args& args) { return args.Has("--as-is") ? TextRules::AsIs : TextRules::Dialogs; }

// A settings file's bytes to the output.
int Save(const TModuleSettings& record, const Output& out) {
  const SettingsImage image = BuildSettingsImage(record);
  return WriteOutput(out, image);
}

}  // namespace

int OpenOrFail(const std::string& utf8Name, TModuleSettings& record) {
  const auto path = InputFile(utf8Name, kSettingsFileExtension);
  const FileResult opened = OpenSettingsFile(path, record, Interrupted);
  if (Interrupted()) return InterruptedExit();
  return opened == FileOutcome::Done ? kDone : FileFailure(path, opened);
}

int CmdReport(const Args& args) {
  if (args.One("-o").empty()) return Usage("report needs -o OUT.txt (or -o - for standard output)");
  const auto param = Range(args, "--param-range");
  const auto out = Range(args, "--out-range");
  const Output output = OutputFile(args.One("-o"), kReportExtension);
  if (const int code = CheckOutput(output, {InputFile(args.positional[0], kSettingsFileExtension)}))
    return code;
  TModuleSettings record{};
  if (const int code = OpenOrFail(args.positional[0], record)) return code;
  const ReportRanges ranges{param.first, param.second, out.first, out.second};
  const std::string report = TextReportBytes(record, ranges);
  return WriteOutput(output, std::span(reinterpret_cast<const std::uint8_t*>(report.data()), report.size()));
}

int CmdShow(const Args& args) {
  TModuleSettings record{};
  if (const int code = OpenOrFail(args.positional[0], record)) return code;
  NoteIdentity(record.SysSet);
  std::fputs((args.Has("--json") ? SettingsJson(record) : SettingsLines(record)).c_str(), stdout);
  return AfterOutput(kDone);
}

int CmdBuild(const Args& args) {
  if (args.One("-o").empty()) return Usage("build needs -o FILE.vxa (or -o - for standard output)");
  const std::string& source = args.positional[0];
  const bool fromStdin = source == "-";
  const Output output = OutputFile(args.One("-o"), kSettingsFileExtension);
  if (const int code =
          CheckOutput(output, {fromStdin ? std::filesystem::path() : PathFromUtf8(source),
                               args.Has("--base") ? InputFile(args.One("--base"), kSettingsFileExtension)
                                                  : std::filesystem::path()}))
    return code;
  const FileContents input = fromStdin ? ReadWholeInput(kTextInputLimit, Interrupted)
                                       : ReadWholeFile(PathFromUtf8(source), kTextInputLimit, Interrupted);
  if (Interrupted()) return InterruptedExit();  // Ctrl-C ends a text still being typed on stdin
  const std::string shownSource = fromStdin ? "standard input" : source;
  if (!input.error.empty()) return Fail(shownSource + ": cannot be read: " + input.error);
  if (input.over)
    return Fail(shownSource + ": " + (input.sizeAtLeast ? "more than " : "") + std::to_string(input.size) +
                " bytes, far more than any settings text (some 12 KB as show --json prints it); nothing "
                "written");
  const std::string text(input.bytes.begin(), input.bytes.end());
  TModuleSettings record{};
  if (args.Has("--base"))
    if (const int code = OpenOrFail(args.One("--base"), record)) return code;
  std::vector<TextProblem> problems;
  const std::vector<FieldValue> values = ParseSettingsJson(text, problems);
  if (problems.empty()) problems = ApplyFields(values, record, RulesOf(args));
  if (!problems.empty()) return Refused(source, problems);
  return Save(record, output);
}

int CmdSet(const Args& args) {
  const auto path = InputFile(args.positional[0], kSettingsFileExtension);
  TModuleSettings record{};
  if (const int code = OpenOrFail(args.positional[0], record)) return code;
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
  if (!problems.empty()) return Refused(Shown(path), problems);
  // The file is replaced as a whole, so a failed write leaves the old one.
  return Save(record, Output{false, path});
}

int CmdDiff(const Args& args) {
  const bool module = args.Has("--port");
  if (args.positional.size() != (module ? 1U : 2U))
    return Usage("diff takes two settings files, or one and --port P");
  if (!module && args.Has("--once")) return Usage("diff does not take --once without --port");
  TModuleSettings a{}, b{};
  if (module) {
    // The module is A when --port comes first.
    TModuleSettings& file = args.portPosition == 0 ? b : a;
    if (const int code = OpenOrFail(args.positional[0], file)) return code;
    if (const int code = ReadModule(args, args.portPosition == 0 ? a : b)) return code;
  } else {
    if (const int code = OpenOrFail(args.positional[0], a)) return code;
    if (const int code = OpenOrFail(args.positional[1], b)) return code;
  }
  const auto differences = CompareSettings(a, b, module ? CompareScope::Module : CompareScope::File);
  if (journal::Record* r = CommandRecord()) {
    r->file = JournalFileName(InputFile(args.positional[0], kSettingsFileExtension));
    r->differences = static_cast<unsigned>(differences.size());
    EndCommandRecord(differences.empty() ? kDone : kDiffers);
  }
  for (const FieldDifference& d : differences)
    std::printf("%s: %s | %s\n", d.name.c_str(), d.a.c_str(), d.b.c_str());
  return AfterOutput(differences.empty() ? kDone : kDiffers);
}
