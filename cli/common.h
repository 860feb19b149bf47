// SPDX-License-Identifier: GPL-3.0-or-later
// What vexa_cli's commands share: exit codes, how failures and interruptions are told, the names of
// the files they read and write, the progress line and the output that must reach its reader.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "settings/file_io.h"
#include "settings/module_settings.h"

constexpr int kDone = 0, kFailed = 1, kUsageError = 2;
// diff and verify: the two sides differ (exit code 1; their failures are 2).
constexpr int kDiffers = 3;

int Usage(const std::string& problem);
// The reason on stderr; kFailed.
int Fail(const std::string& text);

// Ctrl-C or SIGTERM has come: a command stops before it writes anything.
bool Interrupted();
// Says so and gives the exit code the shells use for the signal (130, 143).
int InterruptedExit();

// A file to read: as given when it exists (a folder aside); else a name without an extension gets
// ext.
std::filesystem::path InputFile(const std::string& utf8Name, std::string_view ext);

// Where a command's file goes: standard output for "-", else a file replaced whole.
struct Output {
  bool toStdout = false;
  std::filesystem::path path;
};
// "-" is standard output; a name without an extension gets ext unless a file or folder of that
// name exists (then it is taken as given, and refused below when it is no regular file).
Output OutputFile(const std::string& utf8Name, std::string_view ext);
// kDone, or the refusal told: an output that is one of the inputs (the same file however named)
// or that exists as no regular file (a folder, a device, a pipe, or a link to one).
int CheckOutput(const Output& out, std::initializer_list<std::filesystem::path> inputs);
// The bytes to standard output or into the file; kDone or the failure told.
int WriteOutput(const Output& out, std::span<const std::uint8_t> bytes);

// A path as the user reads it in a message.
std::string Shown(const std::filesystem::path& path);
// "FILE: message (the system's reason)" for a result other than Done; kFailed.
int FileFailure(const std::filesystem::path& path, const FileResult& result);

// A module number or year beyond what the window's fields show (they show 0 there) is said on
// stderr: the value printed or kept is the one stored, and the window will not show it.
void NoteIdentity(const TSysSet& sys);

// Inputs are read whole up to this: a settings text is some 12 KB, so anything near it is no
// settings text, and an endless source (/dev/zero, yes) is refused instead of filling the memory.
constexpr std::size_t kTextInputLimit = 4 * 1024 * 1024;

// "block k of n" on a terminal, drawn again in place as k grows; nothing on a pipe or a file.
class ProgressLine {
 public:
  ~ProgressLine() { End(); }
  void Show(int done, int of);
  // Ends a line that is drawn, so that what follows starts on a line of its own.
  void End();
  // A line for stderr while a progress line may be drawn: the progress line is wiped first and
  // drawn again after it, so that the two never run into each other.
  static void PrintLine(const std::string& line);

 private:
  void Draw();
  int Width() const;  // of the drawn line
  int shown_ = -1, of_ = 0;
  bool open_ = false;
};

// Flushes stdout: an output that cannot be written (a full disk) is a failure, said on stderr, so
// that a script never takes an empty or cut result for one. A reader that has gone (as after
// "| head -2") is no failure: it wanted no more, as with cat. False in both cases: write no more.
bool OutputWritten();
// After OutputWritten() said false: the reader had gone.
bool ReaderGone();
// The command's code after flushing its output: code when it was written or its reader has gone,
// kFailed when it could not be written.
int AfterOutput(int code);
