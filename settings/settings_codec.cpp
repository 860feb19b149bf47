// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/settings_codec.h"

#include <cstdio>
#include <cstring>

#include "settings/text_number.h"

namespace {

constexpr std::size_t kFloatCount = 11;
constexpr std::size_t kRecordFloats = 5;  // first float in the record and on the wire
constexpr std::size_t kRecordTail = 49;   // AdcMin, AdcMax, OutZero in the record
constexpr std::size_t kWireTail = 38;     // ... and on the wire
constexpr std::size_t kTailSize = 6;
constexpr std::size_t kHeaderSize = 5;

static_assert(kRecordFloats + 4 * kFloatCount == kRecordTail && kRecordTail + kTailSize == kChanSetSize);
static_assert(kRecordFloats + 3 * kFloatCount == kWireTail && kWireTail + kTailSize == kChanPayloadSize);
static_assert(kWireTail + 4 == kOutZeroOffset, "OutZero follows AdcMin and AdcMax on the wire");
static_assert(kHeaderSize + kChanPayloadSize + 1 == kChanFrameSize);
static_assert(kHeaderSize + kSysPayloadSize + 1 == kSysFrameSize && kSysPayloadSize == kSysSetSize);

std::string FormatUnsigned(const char* format, unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// The masks admit digits only, so the texts cannot be negative; should one be, it counts as 0.
unsigned TextToField(std::string_view text, std::size_t maxChars) {
  const double value = TextToNumber(text, maxChars);
  return value > 0 ? static_cast<unsigned>(value) : 0U;
}

}  // namespace

DecodeOutcome Decode_sys_settings(TSysSet& sys, std::span<const std::uint8_t, kSysPayloadSize> payload,
                                  bool headOnly) {
  std::memcpy(&sys, payload.data(), headOnly ? kSysHeadSize : kSysPayloadSize);
  const ModuleIdentity stored{sys.Number, sys.Year};
  if (sys.Year > 99) sys.Year = 0;
  if (sys.Number > 9999) sys.Number = 0;
  return {FormatUnsigned("%4u", sys.Number), FormatUnsigned("%2u", sys.Year), stored,
          kRefreshLogic | kRefreshInterface | kRefreshLedTenu};
}

void Build_sys_frame(TSysSet& sys, std::string_view numberText, std::string_view yearText,
                     std::span<std::uint8_t, kSysFrameSize> out) {
  Build_sys_frame(sys,
                  {static_cast<std::uint16_t>(TextToField(numberText, 4)),
                   static_cast<std::uint8_t>(TextToField(yearText, 2))},
                  out);
}

void Build_sys_frame(TSysSet& sys, const ModuleIdentity& identity,
                     std::span<std::uint8_t, kSysFrameSize> out) {
  sys.Number = identity.number;
  sys.Year = identity.year;
  const std::uint8_t header[kHeaderSize] = {0x42, 0x28, 0x00, 0xC0, 0x36};
  std::memcpy(out.data(), header, kHeaderSize);
  std::memcpy(out.data() + kHeaderSize, &sys, kSysSetSize);
  out[kSysFrameSize - 1] = 0x00;
}

DecodeOutcome Decode_chan_settings(TChanSet& chan, std::span<const std::uint8_t, kChanPayloadSize> payload) {
  auto* record = reinterpret_cast<std::uint8_t*>(&chan);
  std::memcpy(record, payload.data(), kRecordFloats);
  for (std::size_t k = 0; k < kFloatCount; ++k) {
    std::uint8_t* f = record + kRecordFloats + 4 * k;
    f[0] = 0x00;
    std::memcpy(f + 1, payload.data() + kRecordFloats + 3 * k, 3);
  }
  std::memcpy(record + kRecordTail, payload.data() + kWireTail, kTailSize);
  return {std::nullopt, std::nullopt, std::nullopt, kRefreshChanel};
}

void Build_chan_frame(const TChanSet& chan, int ch, std::span<std::uint8_t, kChanFrameSize> out) {
  const auto* record = reinterpret_cast<const std::uint8_t*>(&chan);
  const std::uint8_t header[kHeaderSize] = {0x42, 0x28, 0x00,
                                            static_cast<std::uint8_t>(ChanSettingsAddress(ch)),
                                            static_cast<std::uint8_t>(kChanPayloadSize)};
  std::uint8_t* payload = out.data() + kHeaderSize;
  std::memcpy(out.data(), header, kHeaderSize);
  std::memcpy(payload, record, kRecordFloats);
  for (std::size_t k = 0; k < kFloatCount; ++k)
    std::memcpy(payload + kRecordFloats + 3 * k, record + kRecordFloats + 4 * k + 1, 3);
  std::memcpy(payload + kWireTail, record + kRecordTail, kTailSize);
  out[kChanFrameSize - 1] = 0x00;
}

void Build_out_zero_frame(std::uint16_t outZero, int ch, std::span<std::uint8_t, kOutZeroFrameSize> out) {
  const std::uint8_t frame[kOutZeroFrameSize] = {
      0x42,
      0x28,
      0x00,
      static_cast<std::uint8_t>(ChanSettingsAddress(ch) + kOutZeroOffset),
      0x02,
      static_cast<std::uint8_t>(outZero & 0xFF),
      static_cast<std::uint8_t>(outZero >> 8),
      0x00};
  std::memcpy(out.data(), frame, kOutZeroFrameSize);
}
