// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/system_rules.h"

#include <cmath>

#include "settings/c_format.h"
#include "settings/text_number.h"

namespace {

constexpr std::size_t kRs485AdresChars = 3;
constexpr std::size_t kCanAdresChars = 5;
constexpr std::size_t kTimeChars = 4;
constexpr std::int64_t kRs485AdresMax = 247;
constexpr std::int64_t kCanAdresKept = 65535;  // this and above leave the address as it was
constexpr float kLongestSeconds = 30.0F;

std::uint8_t Byte(std::int64_t v) { return static_cast<std::uint8_t>(v); }
std::uint8_t Flag(bool on) { return on ? 1 : 0; }

// The number read from the first chars characters, floored.
std::int64_t Floored(const std::string& text, std::size_t chars) {
  return FloorAsSingle(TextToNumber(text, chars));
}

}  // namespace

InterfaceTexts InterfaceTextsOf(const TSysSet& sys) {
  return {CFormat("%3u", unsigned{sys.RS485_adres}), CFormat("%5u", unsigned{sys.CAN_adres}),
          HalfSecondText(sys.CAN_Time)};
}

void AcceptInterface(TSysSet& sys, const InterfaceEntry& e) {
  sys.RS485_En = Flag(e.rs485En);
  sys.RS485_WrLock = Flag(!e.rs485Writable);
  if (e.rs485Speed && *e.rs485Speed >= 0 && *e.rs485Speed < kRs485SpeedItems)
    sys.RS485_speed = Byte(*e.rs485Speed);
  // 0 is no address on the bus, and a sign only comes from vexa_cli: both give the first address.
  const std::int64_t adres = e.rs485Adres ? Floored(*e.rs485Adres, kRs485AdresChars) : sys.RS485_adres;
  sys.RS485_adres = Byte(adres <= 0 || adres > kRs485AdresMax ? 1 : adres);
  sys.CAN_En = Flag(e.canEn);
  if (e.canSpeed && *e.canSpeed >= 0 && *e.canSpeed < kCanSpeedItems) sys.CAN_Speed = Byte(*e.canSpeed);
  if (e.canAdres) {
    const std::int64_t v = Floored(*e.canAdres, kCanAdresChars);
    if (v >= 0 && v < kCanAdresKept) sys.CAN_adres = static_cast<std::uint16_t>(v);
  }
  sys.Pres = Flag(e.pres);
  if (e.canTime) {
    const auto t = static_cast<float>(TextToNumber(*e.canTime, kTimeChars));
    if (t >= 0.0F && t <= kLongestSeconds) {
      // 0.0 to 0.9 all give the shortest period rather than no code at all.
      const std::int64_t code = FloorAsSingle(2.0 * static_cast<double>(t));
      sys.CAN_Time = Byte(code > 0 ? code - 1 : code);
    }
  }
  sys.CAN_0 = Flag(e.can[0]);
  sys.CAN_1 = Flag(e.can[1]);
  sys.CAN_2 = Flag(e.can[2]);
  sys.CAN_3 = Flag(e.can[3]);
}

std::string FifthSecondText(std::uint8_t code) { return CFormat("%4.1f", (code + 1) * 2 / 10.0); }

std::uint8_t FifthSecondEntry(std::uint8_t current, const FieldEntry& entry) {
  if (!entry) return current;
  const double t = TextToNumber(*entry, kTimeChars);
  if (t < 0.0 || t > static_cast<double>(kLongestSeconds)) return current;
  // Whole tenths: for every entry with one decimal, t x 10 rounds to the whole number exactly, so
  // each shown time comes back as its own code.
  const auto tenths = static_cast<std::int64_t>(std::floor(t * 10.0));
  return Byte(tenths / 2 > 0 ? tenths / 2 - 1 : 0);
}

int LogicNibble(const TSysSet& sys, int entry) {
  const int byte = sys.Logic[entry / 2];
  return entry % 2 == 0 ? byte & 0x0F : byte >> 4;
}

void SetLogicNibble(TSysSet& sys, int entry, std::optional<int> value) {
  if (!value || *value < 0 || *value > kLogicOutputs) return;
  const int shift = entry % 2 == 0 ? 0 : 4;
  sys.Logic[entry / 2] = Byte((sys.Logic[entry / 2] & ~(0x0F << shift)) | (*value << shift));
}

void AcceptLogic(TSysSet& sys, const LogicEntry& e) {
  for (int entry = 0; entry < kLogicEntries; ++entry) SetLogicNibble(sys, entry, e.outputs[entry]);
  sys.Time_Start = FifthSecondEntry(sys.Time_Start, e.timeStart);
  sys.Time_Point = FifthSecondEntry(sys.Time_Point, e.timePoint);
}

bool LedMark(const TSysSet& sys, int entry) { return (sys.LedTenu[entry / 8] >> (entry % 8)) & 1; }

void SetLedMark(TSysSet& sys, int entry, bool on) {
  const int bit = 1 << (entry % 8);
  sys.LedTenu[entry / 8] = Byte(on ? sys.LedTenu[entry / 8] | bit : sys.LedTenu[entry / 8] & ~bit);
}
