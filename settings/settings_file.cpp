// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/settings_file.h"

#include <cstring>

#include "settings/crc8.h"

namespace {

constexpr std::size_t kImageData = kSettingsFileSize - 1;
constexpr std::size_t kChannelStride = kChanSetSize + kChanAuxSize;
constexpr std::size_t kSysOffset = kChannelCount * kChannelStride;
static_assert(kSysOffset + kSysSetSize == kImageData);

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

bool ReadSettingsImage(std::span<const std::uint8_t> bytes, TModuleSettings& record) {
  // A short file is refused outright: zeros filling the gap would pass the CRC.
  if (bytes.size() < kSettingsFileSize) return false;
  const auto image = bytes.first<kSettingsFileSize>();
  if (Crc8Update(0, image) != 0) return false;
  for (int ch = 0; ch < kChannelCount; ++ch) {
    const std::uint8_t* block = image.data() + ch * kChannelStride;
    std::memcpy(&record.ChanSet[ch], block, kChanSetSize);
    std::memcpy(&record.ChanAux[ch], block + kChanSetSize, kChanAuxSize);
  }
  std::memcpy(&record.SysSet, image.data() + kSysOffset, kSysSetSize);
  return true;
}

FileOutcome SaveSettingsFile(const TModuleSettings& record, const std::filesystem::path& path) {
  const SettingsImage image = BuildSettingsImage(record);
  return WriteWholeFile(path, image) ? FileOutcome::Done : FileOutcome::CannotCreate;
}

FileOutcome OpenSettingsFile(const std::filesystem::path& path, TModuleSettings& record) {
  const auto bytes = ReadFileHead(path, kSettingsFileSize);
  if (!bytes) return FileOutcome::CannotOpen;
  return ReadSettingsImage(*bytes, record) ? FileOutcome::Done : FileOutcome::Damaged;
}
