// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/vexa_module.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#include "settings/crc8.h"
#include "settings/file_io.h"
#include "settings/float24.h"
#include "settings/module_settings.h"
#include "settings/settings_codec.h"

namespace sim {
namespace {

// Offsets of the 11 floats in a channel's wire block.
constexpr std::size_t kPoint0 = 5, kPointHist = 17, kCurrB = 20, kCoffA = 23, kCoffB = 26, kOutA = 29,
                      kOutB = 32;
constexpr std::size_t kFormat = 4, kAdcHist = 2, kAdcMin = 38, kAdcMax = 40, kOutZero = 42;

float WireFloat(const std::array<std::uint8_t, kChanWireSize>& block, std::size_t at) {
  return DecodeFloat24(std::span<const std::uint8_t, 3>(block.data() + at, 3));
}

std::uint16_t WireWord(const std::array<std::uint8_t, kChanWireSize>& block, std::size_t at) {
  return static_cast<std::uint16_t>(block[at] | block[at + 1] << 8);
}

void PutFloat24(std::uint8_t* out, float value) {
  const auto wire = EncodeFloat24(value);
  std::memcpy(out, wire.data(), 3);
}

void PutWord(std::uint8_t* out, unsigned value) {
  out[0] = static_cast<std::uint8_t>(value);
  out[1] = static_cast<std::uint8_t>(value >> 8);
}

}  // namespace

ModuleMemory DefaultMemory() {
  // Built as a record and encoded as the link would write it, so it is what a tool would send.
  TModuleSettings record{};
  for (int ch = 0; ch < 4; ++ch) {
    TChanSet& c = record.ChanSet[ch];
    c.Aprox = 3;
    c.AdcTime = 3;
    c.AdcHist = 5;
    c.PointTime = 1;
    c.Format = 0;
    c.Point0 = 40.0F + 10.0F * static_cast<float>(ch);
    c.Point1 = 60.0F;
    c.Point2 = 80.0F;
    c.Point3 = 95.0F;
    c.PointHist = 1.0F;
    c.ParamCurr_B = 0.02F;  // sensor current 0..20 mA over the ADC range
    c.ParamCoff_A = 0.0F;
    c.ParamCoff_B = 0.1F;  // parameter 0..102.3 over the ADC range
    c.OutCoff_A = 0.0F;
    c.OutCoff_B = 40.0F;  // DAC code 0..4092
    c.OutCurrMax = 20.0F;
    c.AdcMin = 50;
    c.AdcMax = 1000;
    c.OutZero = 0;
  }
  TSysSet& s = record.SysSet;
  s.Number = 1234;
  s.Year = 26;
  s.RS485_En = 1;
  s.RS485_speed = 2;
  s.RS485_adres = 1;
  s.CAN_adres = 100;
  s.CAN_Time = 1;
  for (int ch = 0; ch < 4; ++ch) {
    s.Logic[4 * ch + 2] = static_cast<std::uint8_t>(1 + ch);        // set-point 1 -> outputs 1..4
    s.Logic[4 * ch + 1] = static_cast<std::uint8_t>((9 + 0) << 4);  // sensor high fault -> output 9
  }
  for (int g = 0; g < 4; ++g) {
    s.LedTenu[3 * g] = 0x0C;      // first yellow: sensor faults
    s.LedTenu[3 * g + 2] = 0xF0;  // red: any set-point
  }
  s.LedTenu[12] = 0x03;  // the system's first yellow: parameter error and correction
  s.Time_Start = 24;     // 5 s
  s.Time_Point = 9;

  ModuleMemory memory;
  std::array<std::uint8_t, kChanFrameSize> frame{};
  for (int ch = 0; ch < 4; ++ch) {
    Build_chan_frame(record.ChanSet[ch], ch, frame);
    std::memcpy(memory.chan[ch].data(), frame.data() + 5, kChanWireSize);
  }
  std::memcpy(memory.sys.data(), &record.SysSet, kSysSize);
  return memory;
}

namespace {

constexpr char kStateMagic[] = "VEXASIM1";
constexpr std::size_t kMagicSize = sizeof kStateMagic - 1;

}  // namespace

std::vector<std::uint8_t> StateImage(const ModuleMemory& memory) {
  std::vector<std::uint8_t> image(kStateMagic, kStateMagic + kMagicSize);
  for (const auto& block : memory.chan) image.insert(image.end(), block.begin(), block.end());
  image.insert(image.end(), memory.sys.begin(), memory.sys.end());
  image.push_back(Crc8Update(0, image));
  return image;
}

bool WriteStateFile(const std::filesystem::path& path, const ModuleMemory& memory) {
  return WriteWholeFile(path, StateImage(memory));
}

std::optional<ModuleMemory> ReadStateFile(const std::filesystem::path& path, std::string& why) {
  const std::string name = path.string();
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    why = name + " is a folder, not a state file";
    return std::nullopt;
  }
  if (!NotAFileToReplace(path).empty()) {
    why = name + " is a device or another special file, not a state file; name a file";
    return std::nullopt;
  }
  const FileContents contents = ReadWholeFile(path, 64 * 1024);
  if (!contents.error.empty()) {
    why = "cannot read " + name + ": " + contents.error;
    return std::nullopt;
  }
  const std::vector<std::uint8_t>& bytes = contents.bytes;
  const bool ours =
      bytes.size() >= kMagicSize && std::equal(kStateMagic, kStateMagic + kMagicSize, bytes.begin());
  if (!ours) {
    why = name + " is not a state file of vexa_sim";
  } else if (bytes.size() < kStateFileSize) {
    why = name + " is cut short (" + std::to_string(bytes.size()) + " of " + std::to_string(kStateFileSize) +
          " bytes)";
  } else if (bytes.size() > kStateFileSize || Crc8Update(0, bytes) != 0) {
    why = name + " is damaged (its check sum does not match)";
  }
  if (!why.empty()) {
    why += "; name another file, or remove it to start from factory settings";
    return std::nullopt;
  }
  ModuleMemory memory;
  auto at = bytes.begin() + static_cast<std::ptrdiff_t>(kMagicSize);
  for (auto& block : memory.chan) {
    std::copy_n(at, kChanWireSize, block.begin());
    at += static_cast<std::ptrdiff_t>(kChanWireSize);
  }
  std::copy_n(at, kSysSize, memory.sys.begin());
  return memory;
}

VexaModule::VexaModule(double nowMs) : working_(DefaultMemory()), stored_(working_), resetAtMs_(nowMs) {}

std::string VexaModule::UseStateFile(const std::filesystem::path& path) {
  std::error_code ec;
  if (!std::filesystem::exists(std::filesystem::symlink_status(path, ec))) {
    // Made at the first store: a folder that is not there would fail that store, far from here.
    const std::filesystem::path folder = std::filesystem::absolute(path, ec).parent_path();
    if (!std::filesystem::is_directory(folder, ec))
      return path.string() + " cannot be made: the folder " + folder.string() + " does not exist";
    stateFile_ = path;
    return {};
  }
  std::string why;
  const auto loaded = ReadStateFile(path, why);
  if (!loaded) return why;
  stateFile_ = path;
  stored_ = *loaded;
  working_ = *loaded;
  return {};
}

double VexaModule::Adc(int ch, double nowMs) const {
  if (pinnedAdc_[ch]) return *pinnedAdc_[ch];
  // A slow swing over most of the range, each channel at its own pace.
  const double period = 20000.0 + 5000.0 * ch;
  return 520.0 + 420.0 * std::sin(2 * std::numbers::pi * nowMs / period + ch);
}

std::array<std::uint8_t, kChanLiveSize> VexaModule::ChannelLive(int ch, double nowMs) {
  const auto& block = working_.chan[ch];
  const double adc = Adc(ch, nowMs);
  const double param = WireFloat(block, kCoffA) + WireFloat(block, kCoffB) * adc;
  const double current = WireFloat(block, kCurrB) * adc;
  const double dac = WireFloat(block, kOutA) + WireFloat(block, kOutB) * param + WireWord(block, kOutZero);
  const auto dacCode = static_cast<unsigned>(std::clamp(std::lround(dac), 0L, 4095L));

  std::uint8_t status = channelStatus_[ch];
  const double hist = WireFloat(block, kPointHist);
  for (int k = 0; k < 4; ++k) {
    const double point = WireFloat(block, kPoint0 + 3 * k);
    const bool inverted = (block[kFormat] >> (4 + k)) & 1;
    const std::uint8_t bit = static_cast<std::uint8_t>(1U << (4 + k));
    const bool on = status & bit;
    // Crossed above (below when inverted); it stays crossed until the value is back past the hysteresis.
    const bool crossed =
        inverted ? (on ? param < point + hist : param < point) : (on ? param > point - hist : param > point);
    status = crossed ? (status | bit) : (status & ~bit);
  }
  const double adcHist = block[kAdcHist];
  const bool low = status & 0x04, high = status & 0x08;
  const bool nowLow = low ? adc < WireWord(block, kAdcMin) + adcHist : adc < WireWord(block, kAdcMin);
  const bool nowHigh = high ? adc > WireWord(block, kAdcMax) - adcHist : adc > WireWord(block, kAdcMax);
  status = static_cast<std::uint8_t>((status & ~0x0C) | (nowLow ? 0x04 : 0) | (nowHigh ? 0x08 : 0));
  channelStatus_[ch] = status;

  std::array<std::uint8_t, kChanLiveSize> out{};
  PutFloat24(out.data(), static_cast<float>(param));
  PutFloat24(out.data() + 3, static_cast<float>(current));
  PutWord(out.data() + 6, static_cast<unsigned>(std::clamp(std::lround(adc), 0L, 1023L)));
  PutWord(out.data() + 8, dacCode);
  out[10] = status;
  return out;
}

std::array<std::uint8_t, kModuleLiveSize> VexaModule::ModuleLive(double nowMs) {
  std::uint8_t status = 0;
  const double startBlockMs = (working_.sys[52] + 1) * 200.0;
  if (nowMs - resetAtMs_ < startBlockMs) status |= 0x08;
  if (userBlocked_) status |= 0x10;

  // Outputs from the events that are active now: the channels' status bits and the module's own.
  unsigned outputs = 0;
  const auto drive = [&](std::size_t byte, int event) {
    const std::uint8_t packed = working_.sys[32 + byte + event / 2];
    const unsigned n = event % 2 == 0 ? (packed & 0x0F) : (packed >> 4);
    if (n >= 1 && n <= 11) outputs |= 1U << (n - 1);
  };
  for (int ch = 0; ch < 4; ++ch) {
    const std::uint8_t events = ChannelLive(ch, nowMs)[10];
    for (int e = 0; e < 8; ++e)
      if (events & (1U << e)) drive(4U * ch, e);
  }
  for (int e = 0; e < 8; ++e)
    if (status & (1U << e)) drive(16, e);

  std::array<std::uint8_t, kModuleLiveSize> out{};
  PutWord(out.data(), kVersion);
  PutWord(out.data() + 4, outputs);
  out[15] = status;
  return out;
}

void VexaModule::Reset(double nowMs) {
  working_ = stored_;
  userBlocked_ = false;
  resetAtMs_ = nowMs;
  channelStatus_ = {};
}

std::optional<std::vector<std::uint8_t>> VexaModule::Read(std::uint16_t address, std::size_t count,
                                                          double nowMs) {
  const auto slice = [&](const std::uint8_t* base, std::size_t size,
                         std::size_t offset) -> std::optional<std::vector<std::uint8_t>> {
    if (offset + count > size) return std::nullopt;
    return std::vector<std::uint8_t>(base + offset, base + offset + count);
  };
  for (int ch = 0; ch < 4; ++ch) {
    const std::uint16_t settings = static_cast<std::uint16_t>(kChanSettingsBase + 0x30 * ch);
    if (address >= settings && address < settings + kChanWireSize)
      return slice(working_.chan[ch].data(), kChanWireSize, address - settings);
    const std::uint16_t live = static_cast<std::uint16_t>(kChanLiveBase + 0x30 * ch);
    if (address >= live && address < live + kChanLiveSize) {
      const auto data = ChannelLive(ch, nowMs);
      return slice(data.data(), kChanLiveSize, address - live);
    }
  }
  if (address >= kSysSettings && address < kSysSettings + kSysSize)
    return slice(working_.sys.data(), kSysSize, address - kSysSettings);
  if (address >= kModuleLive && address < kModuleLive + kModuleLiveSize) {
    const auto data = ModuleLive(nowMs);
    return slice(data.data(), kModuleLiveSize, address - kModuleLive);
  }
  return std::nullopt;
}

bool VexaModule::Write(std::uint16_t address, const std::vector<std::uint8_t>& data, double nowMs) {
  if (address == kCommandRegister && data.size() == 1) {
    switch (data[0]) {
      case 0x40:
        userBlocked_ = true;
        return true;
      case 0x41:
        userBlocked_ = false;
        return true;
      case 0xF2:
        Reset(nowMs);
        return true;
      default:
        return false;
    }
  }
  if (address == kStoreRegister && data.size() == 1) {
    if (data[0] != 0x53) return false;
    // A store that does not reach the file did not happen: the tool is told by a refusal.
    if (stateFile_ && !WriteStateFile(*stateFile_, working_)) return false;
    stored_ = working_;
    return true;
  }
  const auto put = [&](std::uint8_t* base, std::size_t size, std::size_t offset) {
    if (offset + data.size() > size) return false;
    std::copy(data.begin(), data.end(), base + offset);
    return true;
  };
  for (int ch = 0; ch < 4; ++ch) {
    const std::uint16_t settings = static_cast<std::uint16_t>(kChanSettingsBase + 0x30 * ch);
    if (address >= settings && address < settings + kChanWireSize)
      return put(working_.chan[ch].data(), kChanWireSize, address - settings);
  }
  if (address >= kSysSettings && address < kSysSettings + kSysSize)
    return put(working_.sys.data(), kSysSize, address - kSysSettings);
  return false;
}

}  // namespace sim
