// SPDX-License-Identifier: GPL-3.0-or-later
// Converts between the settings record and the module's parameter memory: read payloads in, write frames out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "settings/module_settings.h"

constexpr std::size_t kChanPayloadSize = 44;
constexpr std::size_t kSysPayloadSize = 54;
constexpr std::size_t kSysHeadSize = 3;  // Number and Year only
constexpr std::size_t kChanFrameSize = 50;
constexpr std::size_t kSysFrameSize = 60;
constexpr std::uint16_t kSysSettingsAddress = 0x00C0;

constexpr std::uint16_t ChanSettingsAddress(int ch) { return static_cast<std::uint16_t>(0x30 * ch); }

// Dialog fill steps a decode leaves to the window; run the set ones in this order.
enum RefreshView : unsigned {
  kRefreshLogic = 1U << 0,
  kRefreshInterface = 1U << 1,
  kRefreshLedTenu = 1U << 2,
  kRefreshChanel = 1U << 3,
};

// The module's number and year as its memory holds them, beyond what the window's fields show.
struct ModuleIdentity {
  std::uint16_t number = 0;
  std::uint8_t year = 0;
  bool operator==(const ModuleIdentity&) const = default;
};

// What a decode asks of the window: field texts to show (when set) and dialogs to refill.
struct DecodeOutcome {
  std::optional<std::string> numberText;  // for MaskEdit_Number
  std::optional<std::string> yearText;    // for MaskEdit_Year
  std::optional<ModuleIdentity> stored;   // the number and year as they came, before the ranges
  unsigned refresh = 0;                   // RefreshView bits
};

// Stores a system settings payload; headOnly takes just Number and Year (the read made on connecting).
// Out-of-range Number and Year become 0.
DecodeOutcome Decode_sys_settings(TSysSet& sys, std::span<const std::uint8_t, kSysPayloadSize> payload,
                                  bool headOnly);

// Takes Number and Year from the window's field texts into sys, then builds the system write frame.
void Build_sys_frame(TSysSet& sys, std::string_view numberText, std::string_view yearText,
                     std::span<std::uint8_t, kSysFrameSize> out);
// The same with the number and year given as the module's memory holds them.
void Build_sys_frame(TSysSet& sys, const ModuleIdentity& identity,
                     std::span<std::uint8_t, kSysFrameSize> out);

// Stores a channel payload; each float arrives with its low byte 0.
DecodeOutcome Decode_chan_settings(TChanSet& chan, std::span<const std::uint8_t, kChanPayloadSize> payload);

// Builds the write frame of channel ch (0..3); the record keeps its full floats.
void Build_chan_frame(const TChanSet& chan, int ch, std::span<std::uint8_t, kChanFrameSize> out);

constexpr std::size_t kOutZeroFrameSize = 8;
constexpr std::uint16_t kOutZeroOffset = 0x2A;  // of OutZero in a channel's block of the module

// The request that writes a channel's output zero offset straight into the module (output test).
void Build_out_zero_frame(std::uint16_t outZero, int ch, std::span<std::uint8_t, kOutZeroFrameSize> out);
