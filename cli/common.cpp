// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/common.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cli/link_session.h"
#include "platform/kernel.h"
#include "settings/user_text.h"
#include "translations/language.h"

namespace fs = std::filesystem;

int Usage(const std::string& problem) {
  std::fprintf(stderr, "vexa_cli: %s\n(vexa_cli --help lists the commands and their options)\n",
               problem.c_str());
  return kUsageError;
}

int Fail(const std::string& text) {
  std::fprintf(stderr, "%s\n", TranslatedMessage(text).c_str());
  return kFailed;
}

bool Interrupted() { return LinkSession::InterruptSignal() != 0; }

int InterruptedExit() {
  std::fputs("interrupted\n", stderr);
  return 128 + LinkSession::InterruptSignal();
}

fs::path InputFile(const std::string& utf8Name, std::string_view ext) {
  const fs::path given = PathFromUtf8(utf8Name);
  std::error_code ec;
  if ((fs::exists(given, ec) && !fs::is_directory(given, ec)) || given.has_extension()) return given;
  return PathFromUtf8(utf8Name + std::string(ext));
}

fs::path OutputFile(const std::string& utf8Name, std::string_view ext) {
  const fs::path given = PathFromUtf8(utf8Name);
  return given.has_extension() ? given : PathFromUtf8(utf8Name + std::string(ext));
}

std::string Shown(const fs::path& path) {
  const std::u8string text = path.u8string();
  return {text.begin(), text.end()};
}

int FileFailure(const fs::path& path, FileOutcome outcome) {
  return Fail(Shown(path) + ": " + Translated("Messages", std::string(FileOutcomeText(outcome)).c_str()));
}

void ProgressLine::Show(int done, int of) {
  if (done <= 0 || done == shown_ || !platform::StderrIsTerminal()) return;
  shown_ = done;
  open_ = true;
  std::fprintf(stderr, "\rblock %d of %d", done, of);
  if (done >= of) End();
}

void ProgressLine::End() {
  if (!open_) return;
  open_ = false;
  std::fputc('\n', stderr);
}

bool OutputWritten() {
  const bool flushed = std::fflush(stdout) == 0;
  if (flushed && !std::ferror(stdout)) return true;
  const int error = errno;
  std::fprintf(stderr, "vexa_cli: the output could not be written%s%s\n", error != 0 ? ": " : "",
               error != 0 ? std::strerror(error) : "");
  return false;
}
