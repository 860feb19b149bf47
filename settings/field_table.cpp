// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/field_table.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstring>

#include "settings/c_format.h"
#include "settings/settings_text.h"

namespace settings_text {

const char* Suffix(Unit unit) {
  switch (unit) {
    case Unit::HalfSecond:
    case Unit::FifthSecond:
      return "s";
    case Unit::Rs485Rate:
      return "bps";
    case Unit::CanRate:
      return "kbps";
    case Unit::Depth:
      return "depth";
    case Unit::Pattern:
      return "pattern";
    case Unit::None:
      break;
  }
  return "";
}

std::vector<Field> MakeFields() {
  std::vector<Field> fields;
  const auto add = [&](Field f) { fields.push_back(std::move(f)); };
  const char* const groups[] = {"ch1", "ch2", "ch3", "ch4", "sys"};
  const char* const leds[] = {"W1", "W2", "Al"};
  for (int ch = 0; ch < kChannelCount; ++ch) {
    const std::string p = std::string(groups[ch]) + ".";
    const std::size_t base = offsetof(TModuleSettings, ChanSet) + ch * kChanSetSize;
    const auto chanel = [&](const char* name, std::size_t offset, Kind kind, int slot, Unit unit = Unit::None,
                            const char* takes = nullptr, int arg = 0) {
      add({p + name, base + offset, kind, arg, unit, Rule::Chanel, ch, slot, Region::Chan, takes});
    };
    chanel("Aprox", offsetof(TChanSet, Aprox), Kind::Byte, kAproxSlot, Unit::Depth, "0 to 9 (depth 1 to 10)");
    chanel("AdcTime", offsetof(TChanSet, AdcTime), Kind::Byte, kAdcTime, Unit::HalfSecond);
    chanel("AdcHist", offsetof(TChanSet, AdcHist), Kind::Byte, kAdcHist);
    chanel("PointTime", offsetof(TChanSet, PointTime), Kind::Byte, kPointTime, Unit::HalfSecond);
    chanel("Format", offsetof(TChanSet, Format), Kind::Bits2, kFormatSlot, Unit::Pattern);
    add({p + "FormatReserved", base + offsetof(TChanSet, Format), Kind::Bits2, 2, Unit::None, Rule::None, ch,
         0, Region::Chan});
    for (int n = 0; n < 4; ++n)
      chanel(("In_" + std::to_string(n)).c_str(), offsetof(TChanSet, Format), Kind::Bit, kInvertedSlot + n,
             Unit::None, "true or false", 4 + n);
    const char* const floats[] = {"Point0",    "Point1",      "Point2",      "Point3",
                                  "PointHist", "ParamCurr_B", "ParamCoff_A", "ParamCoff_B",
                                  "OutCoff_A", "OutCoff_B",   "OutCurrMax"};
    const int floatSlots[] = {kPoint0,      kPoint1,      kPoint2,    kPoint3,    kPointHist, kParamCurr_B,
                              kParamCoff_A, kParamCoff_B, kOutCoff_A, kOutCoff_B, kOutCurrMax};
    for (int k = 0; k < 11; ++k)
      chanel(floats[k], offsetof(TChanSet, Point0) + 4 * static_cast<std::size_t>(k), Kind::Float,
             floatSlots[k]);
    chanel("AdcMin", offsetof(TChanSet, AdcMin), Kind::Word, kAdcMin);
    chanel("AdcMax", offsetof(TChanSet, AdcMax), Kind::Word, kAdcMax);
    chanel("OutZero", offsetof(TChanSet, OutZero), Kind::Word, kOutZero);

    const std::string a = "aux" + std::to_string(ch + 1) + ".";
    const std::size_t aux = offsetof(TModuleSettings, ChanAux) + ch * kChanAuxSize;
    add({a + "Reserved0", aux + offsetof(TChanAux, Reserved0), Kind::Hex, 12, Unit::None, Rule::None, ch, 0,
         Region::Aux});
    add({a + "SensTestHist", aux + offsetof(TChanAux, SensTestHist), Kind::Float, 0, Unit::None, Rule::None,
         ch, 0, Region::Aux});
    add({a + "Reserved1", aux + offsetof(TChanAux, Reserved1), Kind::Hex, 16, Unit::None, Rule::None, ch, 0,
         Region::Aux});
  }
  const std::size_t sys = offsetof(TModuleSettings, SysSet);
  const auto system = [&](std::string name, std::size_t offset, Kind kind, Rule rule, int slot,
                          Unit unit = Unit::None, const char* takes = nullptr, int arg = 0) {
    add({"sys." + name, sys + offset, kind, arg, unit, rule, 0, slot, Region::Sys, takes});
  };
  const auto interface = [&](const char* name, std::size_t offset, Kind kind, int slot,
                             Unit unit = Unit::None, const char* takes = "true or false") {
    system(name, offset, kind, Rule::Interface, slot, unit, takes);
  };
  system("Number", offsetof(TSysSet, Number), Kind::Word, Rule::Number, 0, Unit::None, "0 to 9999");
  system("Year", offsetof(TSysSet, Year), Kind::Byte, Rule::Year, 0, Unit::None, "0 to 99");
  interface("RS485_WrLock", offsetof(TSysSet, RS485_WrLock), Kind::Flag, kWrLock);
  interface("RS485_En", offsetof(TSysSet, RS485_En), Kind::Flag, kRs485En);
  interface("RS485_speed", offsetof(TSysSet, RS485_speed), Kind::Byte, kRs485Speed, Unit::Rs485Rate,
            "0 to 5 (4800 to 115200 bit/s)");
  interface("RS485_adres", offsetof(TSysSet, RS485_adres), Kind::Byte, kRs485Adres, Unit::None, "1 to 247");
  interface("CAN_En", offsetof(TSysSet, CAN_En), Kind::Flag, kCanEn);
  interface("Pres", offsetof(TSysSet, Pres), Kind::Flag, kPres);
  for (int n = 0; n < 4; ++n)
    interface(("CAN_" + std::to_string(n)).c_str(), offsetof(TSysSet, CAN_0) + n, Kind::Flag, kCan0 + n);
  interface("CAN_Speed", offsetof(TSysSet, CAN_Speed), Kind::Byte, kCanSpeed, Unit::CanRate,
            "0 to 6 (1000 to 40 kbit/s)");
  interface("CAN_adres", offsetof(TSysSet, CAN_adres), Kind::Word, kCanAdres, Unit::None, "0 to 65534");
  interface("CAN_Time", offsetof(TSysSet, CAN_Time), Kind::Byte, kCanTime, Unit::HalfSecond,
            "0 to 59 (0.5 to 30.0 s)");
  for (int b = 0; b < 15; ++b)
    system(std::string("LedTenu.") + groups[b / 3] + "." + leds[b % 3], offsetof(TSysSet, LedTenu) + b,
           Kind::Events, Rule::Led, b);
  for (int entry = 0; entry < kLogicEntries; ++entry)
    system(std::string("Logic.") + groups[entry / 8] + ".ev" + std::to_string(entry % 8),
           offsetof(TSysSet, Logic) + entry / 2, Kind::Nibble, Rule::Logic, entry, Unit::None,
           "0 (none) to 11", 4 * (entry % 2));
  system("Time_Start", offsetof(TSysSet, Time_Start), Kind::Byte, Rule::Logic, kTimeStartSlot,
         Unit::FifthSecond, "0 to 149 (0.2 to 30.0 s)");
  system("Time_Point", offsetof(TSysSet, Time_Point), Kind::Byte, Rule::Logic, kTimePointSlot,
         Unit::FifthSecond, "0 to 149 (0.2 to 30.0 s)");
  // The times the dialogs take: the channel dialog up to code 69, the others up to 30 s.
  for (Field& f : fields) {
    if (f.unit == Unit::FifthSecond) f.seconds = "0.2 to 30.0 s in steps of 0.2";
    if (f.unit == Unit::HalfSecond)
      f.seconds = f.rule == Rule::Chanel ? "0.5 to 35.0 s in steps of 0.5" : "0.5 to 30.0 s in steps of 0.5";
  }
  return fields;
}

const std::vector<Field>& Fields() {
  static const std::vector<Field> fields = MakeFields();
  return fields;
}

// A written name: the field and the unit it is written in.

const std::map<std::string, Name>& Names() {
  static const std::map<std::string, Name> names = [] {
    std::map<std::string, Name> m;
    const auto& fields = Fields();
    for (int i = 0; i < static_cast<int>(fields.size()); ++i) {
      m[fields[i].name] = {i, Unit::None};
      if (fields[i].unit != Unit::None)
        m[fields[i].name + "." + Suffix(fields[i].unit)] = {i, fields[i].unit};
    }
    return m;
  }();
  return names;
}

const std::uint8_t* At(const TModuleSettings& r, const Field& f) {
  return reinterpret_cast<const std::uint8_t*>(&r) + f.offset;
}
std::uint8_t* At(TModuleSettings& r, const Field& f) {
  return reinterpret_cast<std::uint8_t*>(&r) + f.offset;
}

std::uint32_t Raw(const TModuleSettings& r, const Field& f) {
  const std::uint8_t* p = At(r, f);
  switch (f.kind) {
    case Kind::Word:
      return p[0] | std::uint32_t{p[1]} << 8;
    case Kind::Float: {
      std::uint32_t bits = 0;
      std::memcpy(&bits, p, 4);
      return bits;
    }
    case Kind::Bit:
      return (p[0] >> f.arg) & 1U;
    case Kind::Bits2:
      return (p[0] >> f.arg) & 3U;
    case Kind::Nibble:
      return (p[0] >> f.arg) & 0x0FU;
    default:
      return p[0];
  }
}

void SetRaw(TModuleSettings& r, const Field& f, std::uint32_t v) {
  std::uint8_t* p = At(r, f);
  const auto masked = [&](unsigned mask) {
    p[0] = static_cast<std::uint8_t>((p[0] & ~(mask << f.arg)) | ((v & mask) << f.arg));
  };
  switch (f.kind) {
    case Kind::Word:
      p[0] = static_cast<std::uint8_t>(v);
      p[1] = static_cast<std::uint8_t>(v >> 8);
      return;
    case Kind::Float:
      std::memcpy(p, &v, 4);
      return;
    case Kind::Bit:
      return masked(1);
    case Kind::Bits2:
      return masked(3);
    case Kind::Nibble:
      return masked(0x0F);
    case Kind::Hex:
      return;  // bytes, set apart
    default:
      p[0] = static_cast<std::uint8_t>(v);
  }
}

std::uint32_t Largest(Kind kind) {
  switch (kind) {
    case Kind::Word:
      return 0xFFFF;
    case Kind::Bit:
      return 1;
    case Kind::Bits2:
      return 3;
    case Kind::Nibble:
      return 0x0F;
    case Kind::Float:
      return 0xFFFFFFFF;
    default:
      return 0xFF;
  }
}

// Tenths of a second as "s.t".
std::string Tenths(unsigned tenths) { return CFormat("%u.%u", tenths / 10, tenths % 10); }

Shown ValueOf(const TModuleSettings& r, const Field& f) {
  const std::uint32_t raw = Raw(r, f);
  switch (f.kind) {
    case Kind::Flag:
      return {raw <= 1 ? (raw ? "true" : "false") : std::to_string(raw)};
    case Kind::Bit:
      return {raw ? "true" : "false"};
    case Kind::Float: {
      const float value = std::bit_cast<float>(raw);
      if (std::isfinite(value)) return {ShortestFloatText(value)};
      return {CFormat("0x%08X", static_cast<unsigned>(raw)), true};
    }
    case Kind::Hex: {
      std::string text;
      for (int i = 0; i < f.arg; ++i) text += CFormat("%02x", unsigned{At(r, f)[i]});
      return {text, true};
    }
    case Kind::Events: {
      std::string text;
      for (int e = 0; e < 8; ++e) text += ((raw >> e) & 1U) ? '1' : '0';
      return {text, true};
    }
    default:
      return {std::to_string(raw)};
  }
}

std::optional<Shown> UnitOf(const TModuleSettings& r, const Field& f) {
  const std::uint32_t raw = Raw(r, f);
  switch (f.unit) {
    case Unit::HalfSecond:
      return Shown{Tenths((raw + 1) * 5)};
    case Unit::FifthSecond:
      return Shown{Tenths((raw + 1) * 2)};
    case Unit::Rs485Rate:
      if (raw < kRs485Speeds.size()) return Shown{std::to_string(kRs485Speeds[raw])};
      return std::nullopt;
    case Unit::CanRate:
      if (raw < kCanSpeeds.size()) return Shown{std::to_string(kCanSpeeds[raw])};
      return std::nullopt;
    case Unit::Depth:
      return Shown{std::to_string(raw + 1)};
    case Unit::Pattern:
      return Shown{kFormatPatterns[raw], true};
    case Unit::None:
      break;
  }
  return std::nullopt;
}

// Each field, then its second form, in file order.

// A sign, digits and at most one point, with a digit somewhere: what the rules read in full.
bool IsDecimal(std::string_view t) {
  std::size_t i = (!t.empty() && (t[0] == '-' || t[0] == '+')) ? 1 : 0;
  bool digit = false, point = false;
  for (; i < t.size(); ++i) {
    if (IsDigit(t[i])) {
      digit = true;
    } else if (t[i] == '.' && !point) {
      point = true;
    } else {
      return false;
    }
  }
  return digit;
}

// "1e3" and the like: a number the rules would misread, worth a message of its own.
bool IsExponentNumber(std::string_view t) {
  const std::size_t e = t.find_first_of("eE");
  if (e == std::string_view::npos || !IsDecimal(t.substr(0, e))) return false;
  std::string_view exponent = t.substr(e + 1);
  if (!exponent.empty() && (exponent[0] == '+' || exponent[0] == '-')) exponent.remove_prefix(1);
  return !exponent.empty() && exponent.find_first_not_of("0123456789") == std::string_view::npos;
}

std::optional<std::int64_t> WholeNumber(std::string_view t) {
  if (!t.empty() && t[0] == '+') t.remove_prefix(1);
  std::int64_t v = 0;
  const auto [end, error] = std::from_chars(t.data(), t.data() + t.size(), v);
  if (error != std::errc{} || end != t.data() + t.size()) return std::nullopt;
  return v;
}

int HexDigit(char c) {
  if (IsDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A value read for its field: the code or bits to store, and for a float the text the rule reads.

}  // namespace settings_text
