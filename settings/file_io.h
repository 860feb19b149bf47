// SPDX-License-Identifier: GPL-3.0-or-later
// Whole-file reads and writes for the settings file and the text report, with their outcomes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "settings/user_text.h"

enum class FileOutcome { Done, CannotCreate, CannotOpen, Damaged };

inline constexpr std::string_view kFileErrorCaption = VEXA_TR_NOOP("Messages", "Ошибка!");

// The message box text for an outcome; empty for Done, which is not reported.
std::string_view FileOutcomeText(FileOutcome outcome);

// Appends ext unless it occurs anywhere in name (case-sensitive): "plant1.VXA" gets ".vxa" too.
std::string WithExtension(std::string_view name, std::string_view ext);

// A path from UTF-8 text (what Qt and vexa_cli's arguments give). On Windows a path made from a
// plain std::string reads it in the C locale's code page, which garbles any name beyond ASCII.
std::filesystem::path PathFromUtf8(std::string_view utf8);
// The file a user named in UTF-8, with WithExtension's rule.
std::filesystem::path PathWithExtension(std::string_view utf8Name, std::string_view ext);

// Puts data into path as a whole. The bytes go to a new file in the same folder that then replaces
// path, so a failed write never leaves a truncated file where a good one was. False when the file
// cannot be created, written or replaced (a read-only file counts as one that cannot be created).
bool WriteWholeFile(const std::filesystem::path& path, std::span<const std::uint8_t> data);

// Up to maxBytes from the start of a regular file; nothing when it cannot be opened or read.
std::optional<std::vector<std::uint8_t>> ReadFileHead(const std::filesystem::path& path,
                                                      std::size_t maxBytes);
