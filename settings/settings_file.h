// SPDX-License-Identifier: GPL-3.0-or-later
// The settings file: the record's 402 bytes in file order, closed by their CRC-8.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string_view>

#include "settings/file_io.h"
#include "settings/module_settings.h"

constexpr std::size_t kSettingsFileSize = 403;
inline constexpr std::string_view kSettingsFileExtension = ".vxa";

using SettingsImage = std::array<std::uint8_t, kSettingsFileSize>;

// Channel blocks each followed by its aux block, then the system block, then the CRC.
SettingsImage BuildSettingsImage(const TModuleSettings& record);

// Fills record from a settings file's bytes: exactly the file's size, with a CRC that holds. Else the
// record is untouched: Damaged for a bad CRC, NotSettings or SettingsText for any other length.
FileOutcome ReadSettingsImage(std::span<const std::uint8_t> bytes, TModuleSettings& record);

// path is used as given: the window applies the ".vxa" name rule first.
FileResult SaveSettingsFile(const TModuleSettings& record, const std::filesystem::path& path);
// stop, asked when a signal cuts a wait short, ends the reading of a pipe that does not end.
FileResult OpenSettingsFile(const std::filesystem::path& path, TModuleSettings& record,
                            const std::function<bool()>& stop = {});
