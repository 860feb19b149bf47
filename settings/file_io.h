// SPDX-License-Identifier: GPL-3.0-or-later
// Whole-file reads and writes for the settings file and the text report, with their outcomes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "settings/user_text.h"

enum class FileOutcome {
  Done,
  CannotCreate,
  CannotOpen,
  Damaged,      // the checksum does not hold
  NotSettings,  // not the settings file's size
  SettingsText  // settings as text, not yet built into a settings file
};

inline constexpr std::string_view kFileErrorCaption = VEXA_TR_NOOP("Messages", "Ошибка!");

// An outcome with what the system said and what was found.
struct FileResult {
  FileOutcome outcome = FileOutcome::Done;
  std::string reason;        // the system's words for a file that could not be opened, read or made
  std::uint64_t size = 0;    // of a file that is not a settings file
  bool sizeAtLeast = false;  // size is only how much was read before giving up
  // Callers that only branch on the outcome keep comparing it as before.
  operator FileOutcome() const { return outcome; }
};

// The message box text for an outcome; empty for Done, which is not reported. NotSettings and
// SettingsText hold a "%1" for the size: FileResultText puts it in.
std::string_view FileOutcomeText(FileOutcome outcome);
// The text for a result in the language installed, with the size in place.
std::string FileResultText(const FileResult& result);

// Appends ext unless it occurs anywhere in name (case-sensitive): "plant1.VXA" gets ".vxa" too.
std::string WithExtension(std::string_view name, std::string_view ext);

// A path from UTF-8 text (what Qt and vexa_cli's arguments give). On Windows a path made from a
// plain std::string reads it in the C locale's code page, which garbles any name beyond ASCII.
std::filesystem::path PathFromUtf8(std::string_view utf8);
// And back: a path as UTF-8 text, for a message or a record, whatever the code page.
std::string Utf8Path(const std::filesystem::path& path);
// The file a user named in UTF-8, with WithExtension's rule.
std::filesystem::path PathWithExtension(std::string_view utf8Name, std::string_view ext);

// Why path cannot take a whole-file write, when something is there that is no regular file (a
// folder, a device, a pipe, or a link to one): replacing it would destroy what it is. Empty when
// path is free or names a regular file, through links too.
std::string NotAFileToReplace(const std::filesystem::path& path);

// Puts data into path as a whole. The bytes go to a new file in the same folder that then replaces
// path, so a failed write never leaves a truncated file where a good one was. False, with the
// reason when asked for, when the file cannot be created, written or replaced: a read-only file
// counts as one that cannot be created, and anything at path but a regular file is left alone.
bool WriteWholeFile(const std::filesystem::path& path, std::span<const std::uint8_t> data,
                    std::string* reason = nullptr);

// WriteWholeFile with its outcome: Done, or CannotCreate with the reason.
FileResult ReplaceWholeFile(const std::filesystem::path& path, std::span<const std::uint8_t> data);

// What a bounded read found.
struct FileContents {
  std::vector<std::uint8_t> bytes;  // the whole content, unless over
  std::uint64_t size = 0;           // a regular file's size; else how much was read
  bool over = false;                // larger than the limit: not read whole
  bool sizeAtLeast = false;         // over a stream's limit: size is the limit, the rest unknown
  std::string error;                // why it could not be opened or read; empty when it was
};

// A file's content, read whole when it is no larger than limit. A regular file larger than that is
// not read at all; a pipe or a device is read until its end or until it passes the limit. A wait
// for data that a signal cuts short ends the read when stop() says so (with error set); else it
// goes on.
FileContents ReadWholeFile(const std::filesystem::path& path, std::size_t limit,
                           const std::function<bool()>& stop = {});
// The same for standard input.
FileContents ReadWholeInput(std::size_t limit, const std::function<bool()>& stop = {});
