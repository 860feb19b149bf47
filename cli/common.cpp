// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/common.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "cli/journal_record.h"
#include "cli/link_session.h"
#include "platform/kernel.h"
#include "settings/user_text.h"
#include "translations/language.h"

namespace fs = std::filesystem;

namespace {

bool gReaderGone = false;
ProgressLine* gDrawn = nullptr;  // the progress line on the terminal, if one is

// Standard output is a pipe that nobody reads any more.
bool StdoutReaderGone() {
#ifdef _WIN32
  return errno == EPIPE || errno == EINVAL;
#else
  struct stat st {};
  if (::fstat(1, &st) != 0 || !S_ISFIFO(st.st_mode)) return errno == EPIPE;
  // The write end of a pipe without a reader polls as an error.
  pollfd p{1, POLLOUT, 0};
  return ::poll(&p, 1, 0) == 1 && (p.revents & POLLERR) != 0;
#endif
}

}  // namespace

int Usage(const std::string& problem) {
  std::fprintf(stderr, "vexa_cli: %s\n(vexa_cli --help lists the commands and their options)\n",
               problem.c_str());
  return kUsageError;
}

int Fail(const std::string& text) {
  NoteFailure(TranslatedMessage(text));
  std::fprintf(stderr, "%s\n", TranslatedMessage(text).c_str());
  return kFailed;
}

bool Interrupted() { return LinkSession::InterruptSignal() != 0; }

int InterruptedExit() {
  NoteFailure("interrupted");
  std::fputs("interrupted\n", stderr);
  return 128 + LinkSession::InterruptSignal();
}

fs::path InputFile(const std::string& utf8Name, std::string_view ext) {
  const fs::path given = PathFromUtf8(utf8Name);
  std::error_code ec;
  if ((fs::exists(given, ec) && !fs::is_directory(given, ec)) || given.has_extension()) return given;
  return PathFromUtf8(utf8Name + std::string(ext));
}

Output OutputFile(const std::string& utf8Name, std::string_view ext) {
  if (utf8Name == "-") return {true, {}};
  const fs::path given = PathFromUtf8(utf8Name);
  std::error_code ec;
  // Something of that name (/dev/stdout, a folder) is meant as it is: never a made-up neighbour.
  const bool there = fs::exists(fs::symlink_status(given, ec));
  const Output out{false, given.has_extension() || there ? given : PathFromUtf8(utf8Name + std::string(ext))};
#ifndef _WIN32
  // Standard output by another name (/dev/stdout, /proc/self/fd/1) is written as standard output:
  // replaced whole, the file it goes to would lose what the shell put there before.
  struct stat named {
  }, standard{};
  if (there && ::stat(out.path.c_str(), &named) == 0 && ::fstat(1, &standard) == 0 &&
      named.st_dev == standard.st_dev && named.st_ino == standard.st_ino)
    return {true, {}};
#endif
  return out;
}

int CheckOutput(const Output& out, std::initializer_list<fs::path> inputs) {
  if (out.toStdout) return kDone;
  for (const fs::path& input : inputs) {
    std::error_code ec;
    if (!input.empty() && fs::equivalent(out.path, input, ec))
      return Fail(Shown(out.path) + ": this is the input " + Shown(input) +
                  "; the output would replace it. Name another output (set changes a settings file in "
                  "place)");
  }
  if (const std::string notAFile = NotAFileToReplace(out.path); !notAFile.empty())
    return Fail(Shown(out.path) + ": " + notAFile +
                "; the output must be a regular file (or - for "
                "standard output). Nothing written");
  return kDone;
}

int WriteOutput(const Output& out, std::span<const std::uint8_t> bytes) {
  if (Interrupted()) return InterruptedExit();
  if (out.toStdout) {
#ifdef _WIN32
    std::fflush(stdout);
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    return AfterOutput(kDone);
  }
  const FileResult result = ReplaceWholeFile(out.path, bytes);
  return result == FileOutcome::Done ? kDone : FileFailure(out.path, result);
}

std::string Shown(const fs::path& path) { return Utf8Path(path); }

int FileFailure(const fs::path& path, const FileResult& result) {
  return Fail(Shown(path) + ": " + FileResultText(result) +
              (result.reason.empty() ? "" : " (" + result.reason + ")"));
}

void NoteIdentity(const TSysSet& sys) {
  if (sys.Number > 9999)
    std::fprintf(stderr,
                 "note: the serial number is %u, more than the window's four digits show (it shows 0); build "
                 "and set keep it with --as-is\n",
                 static_cast<unsigned>(sys.Number));
  if (sys.Year > 99)
    std::fprintf(stderr,
                 "note: the year is %u, more than the window's two digits show (it shows 0); build and set "
                 "keep it with --as-is\n",
                 static_cast<unsigned>(sys.Year));
}

void ProgressLine::Show(int done, int of) {
  if (done <= 0 || done == shown_ || !platform::StderrIsTerminal()) return;
  shown_ = done;
  of_ = of;
  open_ = true;
  gDrawn = this;
  Draw();
  if (done >= of) End();
}

void ProgressLine::Draw() { std::fprintf(stderr, "\rblock %d of %d", shown_, of_); }

int ProgressLine::Width() const {
  return static_cast<int>(std::snprintf(nullptr, 0, "block %d of %d", shown_, of_));
}

void ProgressLine::End() {
  if (!open_) return;
  open_ = false;
  if (gDrawn == this) gDrawn = nullptr;
  std::fputc('\n', stderr);
}

void ProgressLine::PrintLine(const std::string& line) {
  // Blanks over the drawn line wipe it on every terminal, a Windows console among them.
  if (gDrawn != nullptr) std::fprintf(stderr, "\r%*s\r", gDrawn->Width(), "");
  std::fputs((line + "\n").c_str(), stderr);
  if (gDrawn != nullptr) gDrawn->Draw();
}

bool OutputWritten() {
  // errno stays as a failed write left it: the flush of what is left may not fail again.
  const bool flushed = std::fflush(stdout) == 0;
  if (flushed && !std::ferror(stdout)) return true;
  const int error = errno;
  if (error == EPIPE || StdoutReaderGone()) {
    gReaderGone = true;
    return false;
  }
  std::fprintf(stderr, "vexa_cli: the output could not be written%s%s\n", error != 0 ? ": " : "",
               error != 0 ? std::strerror(error) : "");
  return false;
}

bool ReaderGone() { return gReaderGone; }

int AfterOutput(int code) { return OutputWritten() || ReaderGone() ? code : kFailed; }
