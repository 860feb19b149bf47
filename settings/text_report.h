// SPDX-License-Identifier: GPL-3.0-or-later
// The printable settings report: fixed-width Russian text, written in Windows-1251 with CR LF line ends.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "settings/file_io.h"
#include "settings/module_settings.h"

inline constexpr std::string_view kReportExtension = ".txt";

// The calculator's reference ranges, printed in every channel column.
struct ReportRanges {
  float paramLow = 0;
  float paramHigh = 0;
  float outLow = 0;   // mA
  float outHigh = 0;  // mA
};

// The whole report as UTF-8 text with "\n" line ends.
std::string BuildTextReport(const TModuleSettings& record, const ReportRanges& ranges);

// The report as the file holds it: Windows-1251 with CR LF line ends.
std::string TextReportBytes(const TModuleSettings& record, const ReportRanges& ranges);

// Encodes the report and writes it in one step; path is used as given (the caller applies the ".txt" rule).
FileResult WriteTextReport(const TModuleSettings& record, const ReportRanges& ranges,
                           const std::filesystem::path& path);
