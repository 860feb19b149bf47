// SPDX-License-Identifier: GPL-3.0-or-later
// What vexa_cli's commands share: exit codes, how failures and interruptions are told, the names of
// the files they read and write, the progress line and the output that must reach its reader.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "settings/file_io.h"

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
// A file to write: a name without an extension gets ext.
std::filesystem::path OutputFile(const std::string& utf8Name, std::string_view ext);
// A path as the user reads it in a message.
std::string Shown(const std::filesystem::path& path);
// "FILE: message" for a file outcome other than Done; kFailed.
int FileFailure(const std::filesystem::path& path, FileOutcome outcome);

// "block k of n" on a terminal, drawn again in place as k grows; nothing on a pipe or a file.
class ProgressLine {
 public:
  ~ProgressLine() { End(); }
  void Show(int done, int of);
  // Ends a line that is drawn, so that what follows starts on a line of its own.
  void End();

 private:
  int shown_ = -1;
  bool open_ = false;
};

// Flushes stdout: an output that cannot be written (a full disk, a closed pipe) is a failure,
// said on stderr, so that a script never takes an empty or cut result for one.
bool OutputWritten();
