// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target: what arrives from a file or the module becomes a record only as the loader and the
// decoders allow, and goes out again unchanged.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>

#include "settings/settings_codec.h"
#include "settings/settings_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The settings file: an image is taken whole or not at all, and saves back to the same bytes.
  TModuleSettings record{};
  std::memset(&record, 0x5A, sizeof record);
  const TModuleSettings before = record;
  if (ReadSettingsImage(std::span(data, size), record) == FileOutcome::Done) {
    const SettingsImage image = BuildSettingsImage(record);
    if (size != image.size() || std::memcmp(image.data(), data, image.size()) != 0) std::abort();
  } else if (std::memcmp(&record, &before, sizeof record) != 0) {
    std::abort();  // a refused file changed the record
  }

  // The frame decoders on whatever payload bytes there are.
  if (size >= kSysPayloadSize) {
    TSysSet sys{};
    const DecodeOutcome out = Decode_sys_settings(
        sys, std::span<const std::uint8_t, kSysPayloadSize>(data, kSysPayloadSize), (data[0] & 1) != 0);
    if (sys.Number > 9999 || sys.Year > 99 || !out.numberText || out.numberText->size() != 4) std::abort();
  }
  if (size >= kChanPayloadSize) {
    TChanSet chan{};
    Decode_chan_settings(chan, std::span<const std::uint8_t, kChanPayloadSize>(data, kChanPayloadSize));
    std::array<std::uint8_t, kChanFrameSize> frame{};
    Build_chan_frame(chan, data[0] & 3, frame);
    // What was decoded goes out as it came in.
    if (std::memcmp(frame.data() + 5, data, kChanPayloadSize) != 0) std::abort();
  }
  return 0;
}
