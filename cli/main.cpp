// SPDX-License-Identifier: GPL-3.0-or-later
// vexa_cli: the tool's jobs from a shell, with the window's own link engine, serial component,
// settings file and report writer on QtCore's event loop.
#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/common.h"
#include "cli/journal_record.h"
#include "cli/link_session.h"
#include "platform/kernel.h"
#include "translations/language.h"
#include "vexa_version.h"

namespace {

int Run(const Args& args) {
  const std::string& c = args.command;
  if (c == "ports") return CmdPorts();
  if (c == "status") return CmdStatus(args);
  if (c == "read") return CmdRead(args);
  if (c == "write") return CmdWrite(args);
  if (c == "verify") return CmdVerify(args);
  if (c == "report") return CmdReport(args);
  if (c == "show") return CmdShow(args);
  if (c == "build") return CmdBuild(args);
  if (c == "set") return CmdSet(args);
  if (c == "diff") return CmdDiff(args);
  if (c == "journal") return CmdJournal(args);
  return CmdModuleCommand(args);  // store, block, unblock, reset: the arguments' reading knows them
}

}  // namespace

int main(int argc, char** argv) {
  // First of all: a signal that comes while the program starts still ends it in order.
  LinkSession::InstallInterruptHandler();
  QCoreApplication app(argc, argv);
  std::vector<std::string> arguments;
#ifdef _WIN32
  // Windows passes argv in the ANSI code page: the arguments are taken again, as UTF-8.
  for (const QString& arg : QCoreApplication::arguments().mid(1)) arguments.push_back(arg.toStdString());
#else
  for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);
#endif
  platform::ConsoleOutputUtf8();
#ifndef _WIN32
  // A reader that has gone is an output error, said and answered with exit 1, and the link is
  // closed in order, rather than the end that SIGPIPE would bring.
  std::signal(SIGPIPE, SIG_IGN);
#endif
  // --lang, wherever it stands, before the command's own arguments are read.
  std::optional<UiLanguage> language;
  for (auto it = arguments.begin(); it != arguments.end();) {
    const bool joined = it->rfind("--lang=", 0) == 0;
    if (*it != "--lang" && !joined) {
      ++it;
      continue;
    }
    if (language) return Usage("--lang is given twice");
    const bool hasValue = joined || it + 1 != arguments.end();
    language = hasValue ? LanguageFromCode(QString::fromStdString(joined ? it->substr(7) : *(it + 1)))
                        : std::nullopt;
    if (!language) return Usage("--lang takes ru or en");
    it = arguments.erase(it, it + (joined ? 1 : 2));
  }
  // Without --lang, Russian whatever the locale and the window's choice: a script reads the same
  // messages on every machine and for every user.
  if (!InstallLanguage(language.value_or(UiLanguage::Russian)))
    std::fprintf(stderr, "vexa_cli: the translation could not be loaded; the messages stay Russian\n");
  std::string problem;
  const auto args = ParseArguments(arguments, problem);
  if (!args) return Usage(problem);
  if (args->command == "help" || args->command == "version") {
    if (args->command == "help") {
      std::fputs(kUsage, stdout);
    } else {
      std::printf("vexa_cli %s\n%s", VEXA_VERSION, kLicenceNotice);
    }
    return AfterOutput(kDone);
  }
  BeginCommandRecord(*args);
  const int code = Run(*args);
  EndCommandRecord(code);
  // diff and verify answer a question: 1 is "no", so their failures are told apart as 2.
  if (args->command == "diff" || args->command == "verify") {
    if (code == kDiffers) return 1;
    if (code == kFailed) return kUsageError;
  }
  return code;
}
