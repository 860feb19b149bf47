// SPDX-License-Identifier: GPL-3.0-or-later
// The settings file: the record's 402 bytes in file order, closed by their CRC-8.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>

#include "settings/file_io.h"
#include "settings/module_settings.h"

constexpr std::size_t kSettingsFileSize = 403;
inline constexpr std::string_view kSettingsFileExtension = ".vxa";

using SettingsImage = std::array<std::uint8_t, kSettingsFileSize>;

// Channel blocks each followed by its aux block, then the system block, then the CRC.
SettingsImage BuildSettingsImage(const TModuleSettings& record);

// Fills record from an image whose CRC checks out; false (record untouched) for a damaged or short one.
// Bytes past the image are ignored.
bool ReadSettingsImage(std::span<const std::uint8_t> bytes, TModuleSettings& record);

// path is used as given: the window applies the ".vxa" name rule first.
FileOutcome SaveSettingsFile(const TModuleSettings& record, const std::filesystem::path& path);
FileOutcome OpenSettingsFile(const std::filesystem::path& path, TModuleSettings& record);
