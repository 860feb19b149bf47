// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/settings_file.h"

#include <cstring>
#include <string_view>

#include "settings/crc8.h"

namespace {

constexpr std::size_t kImageData = kSettingsFileSize - 1;
constexpr std::size_t kChannelStride = kChanSetSize + kChanAuxSize;
constexpr std::size_t kSysOffset = kChannelCount * kChannelStride;
static_assert(kSysOffset + kSysSetSize == kImageData);

// Settings as vexa_cli show prints them: a JSON object or "name = value" lines.
bool LooksLikeSettingsText(std::span<const std::uint8_t> bytes) {
  std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  if (text.find('\0') != std::string_view::npos) return false;  // a binary file, whatever it begins with
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  const std::size_t start = text.find_first_not_of(" \t\r\n");
  if (start == std::string_view::npos) return false;
  text.remove_prefix(start);
  if (text.starts_with("{")) return true;
  for (std::string_view block : {"ch", "sys.", "aux"})
    if (text.starts_with(block)) return text.substr(0, text.find('\n')).find(" = ") != std::string_view::npos;
  return false;
}

}  // namespace

SettingsImage BuildSettingsImage(const TModuleSettings& record) {
  SettingsImage image{};
  for (int ch = 0; ch < kChannelCount; ++ch) {
    std::uint8_t* block = image.data() + ch * kChannelStride;
    std::memcpy(block, &record.ChanSet[ch], kChanSetSize);
    std::memcpy(block + kChanSetSize, &record.ChanAux[ch], kChanAuxSize);
  }
  std::memcpy(image.data() + kSysOffset, &record.SysSet, kSysSetSize);
  image[kImageData] = Crc8Update(0, std::span(image).first<kImageData>());
  return image;
}

FileOutcome ReadSettingsImage(std::span<const std::uint8_t> bytes, TModuleSettings& record) {
  // Nothing but the exact size: a longer file passed the CRC of its head one time in 256, and the
  // zeros a short one lacks would satisfy it.
  if (bytes.size() != kSettingsFileSize)
    return LooksLikeSettingsText(bytes) ? FileOutcome::SettingsText : FileOutcome::NotSettings;
  if (Crc8Update(0, bytes) != 0) return FileOutcome::Damaged;
  for (int ch = 0; ch < kChannelCount; ++ch) {
    const std::uint8_t* block = bytes.data() + ch * kChannelStride;
    std::memcpy(&record.ChanSet[ch], block, kChanSetSize);
    std::memcpy(&record.ChanAux[ch], block + kChanSetSize, kChanAuxSize);
  }
  std::memcpy(&record.SysSet, bytes.data() + kSysOffset, kSysSetSize);
  return FileOutcome::Done;
}

FileResult SaveSettingsFile(const TModuleSettings& record, const std::filesystem::path& path) {
  return ReplaceWholeFile(path, BuildSettingsImage(record));
}

FileResult OpenSettingsFile(const std::filesystem::path& path, TModuleSettings& record,
                            const std::function<bool()>& stop) {
  // Enough to tell settings text from other files; the size of anything larger is still told.
  constexpr std::size_t kReadLimit = 64 * 1024;
  FileContents contents = ReadWholeFile(path, kReadLimit, stop);
  FileResult result;
  if (!contents.error.empty()) {
    result.outcome = FileOutcome::CannotOpen;
    result.reason = contents.error;
    return result;
  }
  result.size = contents.size;
  result.sizeAtLeast = contents.sizeAtLeast;
  result.outcome = contents.over ? FileOutcome::NotSettings : ReadSettingsImage(contents.bytes, record);
  return result;
}
