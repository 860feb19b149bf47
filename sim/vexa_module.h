// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated VEXA: its memory as the link sees it, live data computed from its settings, its
// command and store registers, and the non-volatile copy of its settings.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace sim {

constexpr std::uint16_t kChanSettingsBase = 0x0000;
constexpr std::uint16_t kSysSettings = 0x00C0;
constexpr std::uint16_t kChanLiveBase = 0x0100;
constexpr std::uint16_t kModuleLive = 0x01C0;
constexpr std::uint16_t kCommandRegister = 0xFFE0;
constexpr std::uint16_t kStoreRegister = 0xFFE2;
constexpr std::size_t kChanWireSize = 44;
constexpr std::size_t kSysSize = 54;
constexpr std::size_t kChanLiveSize = 11;
constexpr std::size_t kModuleLiveSize = 16;
constexpr std::uint16_t kVersion = 123;

// The settings as the module keeps them: channel blocks in wire layout, then the system block.
struct ModuleMemory {
  std::array<std::array<std::uint8_t, kChanWireSize>, 4> chan{};
  std::array<std::uint8_t, kSysSize> sys{};
  bool operator==(const ModuleMemory&) const = default;
};

ModuleMemory DefaultMemory();

// The non-volatile memory kept between runs: "VEXASIM1", the memory's 230 bytes, and the CRC-8 of
// all that comes before it, so that a cut or foreign file is told from one of the simulator's.
constexpr std::size_t kStateFileSize = 8 + 4 * kChanWireSize + kSysSize + 1;
std::vector<std::uint8_t> StateImage(const ModuleMemory& memory);
// Replaces the file whole; false when it cannot be written.
bool WriteStateFile(const std::filesystem::path& path, const ModuleMemory& memory);
// The memory a state file holds; nothing, with why set, for a file that is none or cannot be read.
std::optional<ModuleMemory> ReadStateFile(const std::filesystem::path& path, std::string& why);

class VexaModule {
 public:
  // Times are milliseconds on any monotonic clock; the live data move with them.
  explicit VexaModule(double nowMs = 0);

  // Bytes at an address, or nothing when the range is not readable (the adapter refuses it).
  std::optional<std::vector<std::uint8_t>> Read(std::uint16_t address, std::size_t count, double nowMs);
  // False when the range is not writable or the register value unknown.
  bool Write(std::uint16_t address, const std::vector<std::uint8_t>& data, double nowMs);

  const ModuleMemory& Working() const { return working_; }
  const ModuleMemory& Stored() const { return stored_; }
  bool UserBlocked() const { return userBlocked_; }

  // With a state file the stored settings are loaded from it now (a missing file is created at the
  // first store) and written to it on every store; a store that cannot write it is refused. The
  // reason when the file is there but is no state file, or cannot be read; empty when all is well.
  std::string UseStateFile(const std::filesystem::path& path);

  // Tests can pin the simulated ADC of a channel instead of letting it move.
  void PinAdc(int ch, std::optional<double> adc) { pinnedAdc_[ch] = adc; }

 private:
  std::array<std::uint8_t, kChanLiveSize> ChannelLive(int ch, double nowMs);
  std::array<std::uint8_t, kModuleLiveSize> ModuleLive(double nowMs);
  void Reset(double nowMs);
  double Adc(int ch, double nowMs) const;

  ModuleMemory working_;
  ModuleMemory stored_;
  std::optional<std::filesystem::path> stateFile_;
  bool userBlocked_ = false;
  double resetAtMs_;
  std::array<std::uint8_t, 4> channelStatus_{};  // last status bits, for the hystereses
  std::array<std::optional<double>, 4> pinnedAdc_{};
};

}  // namespace sim
