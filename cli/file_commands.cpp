// SPDX-License-Identifier: GPL-3.0-or-later
// vexa_cli's commands with settings files: the report, settings as text, and comparisons.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/common.h"
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

// Refused values, one a line, then the verdict: nothing was written.
int Refused(const std::string& source, const std::vector<TextProblem>& problems) {
  for (const TextProblem& p : problems)
    std::fprintf(stderr, "%s: %s: %s\n", source.c_str(), p.where.c_str(), p.message.c_str());
  std::fputs("nothing written\n", stderr);
  return kFailed;
}

TextRules RulesOf(const Args& args) { return args.Has("--as-is") ? TextRules::AsIs : TextRules::Dialogs; }

int Save(const TModuleSettings& record, const std::filesystem::path& path) {
  if (Interrupted()) return InterruptedExit();
  const FileOutcome saved = SaveSettingsFile(record, path);
  return saved == FileOutcome::Done ? kDone : FileFailure(path, saved);
}

}  // namespace

int OpenOrFail(const std::string& utf8Name, TModuleSettings& record) {
  const auto path = InputFile(utf8Name, kSettingsFileExtension);
  const FileOutcome opened = OpenSettingsFile(path, record);
  return opened == FileOutcome::Done ? kDone : FileFailure(path, opened);
}

int CmdReport(const Args& args) {
  if (args.One("-o").empty()) return Usage("report needs -o OUT.txt");
  const auto param = Range(args, "--param-range");
  const auto out = Range(args, "--out-range");
  TModuleSettings record{};
  if (const int code = OpenOrFail(args.positional[0], record)) return code;
  const ReportRanges ranges{param.first, param.second, out.first, out.second};
  if (Interrupted()) return InterruptedExit();
  const auto path = OutputFile(args.One("-o"), kReportExtension);
  const FileOutcome written = WriteTextReport(record, ranges, path);
  return written == FileOutcome::Done ? kDone : FileFailure(path, written);
}

int CmdShow(const Args& args) {
  TModuleSettings record{};
  if (const int code = OpenOrFail(args.positional[0], record)) return code;
  std::fputs((args.Has("--json") ? SettingsJson(record) : SettingsLines(record)).c_str(), stdout);
  return OutputWritten() ? kDone : kFailed;
}

int CmdBuild(const Args& args) {
  if (args.One("-o").empty()) return Usage("build needs -o FILE.vxa");
  const std::string& source = args.positional[0];
  std::string text;
  if (source == "-") {
    text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
  } else {
    errno = 0;
    std::ifstream in(PathFromUtf8(source), std::ios::binary);
    if (!in)
      return Fail(source + ": cannot be read" + (errno != 0 ? std::string(": ") + std::strerror(errno) : ""));
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) return Fail(source + ": cannot be read");
  }
  if (Interrupted()) return InterruptedExit();  // Ctrl-C ends a text still being typed on stdin
  TModuleSettings record{};
  if (args.Has("--base"))
    if (const int code = OpenOrFail(args.One("--base"), record)) return code;
  std::vector<TextProblem> problems;
  const std::vector<FieldValue> values = ParseSettingsJson(text, problems);
  if (problems.empty()) problems = ApplyFields(values, record, RulesOf(args));
  if (!problems.empty()) return Refused(source, problems);
  return Save(record, OutputFile(args.One("-o"), kSettingsFileExtension));
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
  return Save(record, path);
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
  for (const FieldDifference& d : differences)
    std::printf("%s: %s | %s\n", d.name.c_str(), d.a.c_str(), d.b.c_str());
  if (!OutputWritten()) return kFailed;
  return differences.empty() ? kDone : kDiffers;
}
