#include "settings/settings_text.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <map>
#include <set>

#include "settings/c_format.h"
#include "settings/chanel_rules.h"
#include "settings/field_rules.h"
#include "settings/system_rules.h"

namespace {

// How a field lies in the record.
enum class Kind {
  Byte,
  Word,
  Flag,    // a byte that means true when not 0
  Bit,     // one bit of a byte (arg: the bit)
  Bits2,   // two bits of a byte (arg: the lower bit)
  Nibble,  // four bits of a byte (arg: the lower bit)
  Float,
  Hex,     // bytes no part of the program reads (arg: how many)
  Events,  // a byte whose bit e stands for event e, written event 0 first
};

// A second way of writing a field: what the dialogs show instead of the code.
enum class Unit { None, HalfSecond, FifthSecond, Rs485Rate, CanRate, Depth, Pattern };

// Which dialog's accept stores the field; the main window's number and year fields have ranges
// of their own, and nothing edits the reserved bits and the auxiliary blocks.
enum class Rule { None, Chanel, Interface, Logic, Led, Number, Year };

enum class Region { Chan, Aux, Sys };

// The interface dialog's controls.
enum InterfaceSlot {
  kWrLock,
  kRs485En,
  kRs485Speed,
  kRs485Adres,
  kCanEn,
  kPres,
  kCan0,
  kCanSpeed = kCan0 + 4,
  kCanAdres,
  kCanTime
};
// The channel dialog's controls beyond its texts (ChanText).
constexpr int kFormatSlot = kChanTextCount, kAproxSlot = kChanTextCount + 1,
              kInvertedSlot = kChanTextCount + 2;
// The logic dialog's two times follow its 40 lists.
constexpr int kTimeStartSlot = kLogicEntries, kTimePointSlot = kLogicEntries + 1;

struct Field {
  std::string name;
  std::size_t offset = 0;  // in the record
  Kind kind = Kind::Byte;
  int arg = 0;
  Unit unit = Unit::None;
  Rule rule = Rule::None;
  int ch = 0;    // the channel, for the channel dialog
  int slot = 0;  // the control in its dialog
  Region region = Region::Sys;
  const char* takes = nullptr;  // what the dialog takes, said when it would store something else
  const char* seconds = nullptr;  // the same for a time written in seconds
};

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
struct Name {
  int field;
  Unit unit;
};

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

struct Shown {
  std::string text;
  bool quoted = false;
};

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
template <typename Visit>
void ForEachShown(const TModuleSettings& r, Visit visit) {
  const auto& fields = Fields();
  const auto visitField = [&](const Field& f) {
    visit(f.name, ValueOf(r, f));
    if (const auto second = UnitOf(r, f)) visit(f.name + "." + Suffix(f.unit), *second);
  };
  for (int ch = 0; ch < kChannelCount; ++ch)
    for (const Field& f : fields)
      if (f.region != Region::Sys && f.ch == ch) visitField(f);
  for (const Field& f : fields)
    if (f.region == Region::Sys) visitField(f);
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

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
struct Requested {
  std::uint32_t raw = 0;
  // Whether raw holds the value. One that has no code (2.3 s, an AdcHist of 300) can still go to
  // a channel dialog's rule, which refuses it with its own message; why says it otherwise.
  bool fits = true;
  std::string why;
  std::string dialogText;           // set when the value has no code
  std::vector<std::uint8_t> bytes;  // Hex
  std::string name, text;           // as written
  Unit unit = Unit::None;           // the form it was written in
};

// A number with an exponent ("2e-05", as other programs write JSON) in the decimal digits that mean
// the same number exactly ("0.00002"); nothing when the exponent is beyond any field's reach.
std::optional<std::string> WithoutExponent(std::string_view t) {
  const std::size_t e = t.find_first_of("eE");
  std::string_view mantissa = t.substr(0, e);
  const bool negative = mantissa.starts_with('-');
  if (negative || mantissa.starts_with('+')) mantissa.remove_prefix(1);
  std::string_view power = t.substr(e + 1);
  if (power.starts_with('+')) power.remove_prefix(1);
  int exponent = 0;
  const auto [end, error] = std::from_chars(power.data(), power.data() + power.size(), exponent);
  if (error != std::errc{} || end != power.data() + power.size() || exponent < -400 || exponent > 400)
    return std::nullopt;
  const std::size_t point = mantissa.find('.');
  std::string digits(mantissa.substr(0, point));
  const auto whole = static_cast<int>(digits.size());
  if (point != std::string_view::npos) digits += mantissa.substr(point + 1);
  const int at = whole + exponent;  // where the point goes in digits
  std::string out;
  if (at <= 0) {
    out = "0." + std::string(static_cast<std::size_t>(-at), '0') + digits;
  } else if (at >= static_cast<int>(digits.size())) {
    out = digits + std::string(static_cast<std::size_t>(at) - digits.size(), '0');
  } else {
    out = digits.substr(0, static_cast<std::size_t>(at)) + "." + digits.substr(static_cast<std::size_t>(at));
  }
  const std::size_t lead = out.find_first_not_of('0');
  out.erase(0, lead == std::string::npos ? out.size() - 1 : (out[lead] == '.' ? lead - 1 : lead));
  return (negative ? "-" : "") + out;
}

// Whole tenths from a text with a point, exactly; nothing for a sign or finer digits.
std::optional<std::int64_t> ExactTenths(std::string_view t) {
  if (!t.empty() && t[0] == '+') t.remove_prefix(1);
  const std::size_t point = t.find('.');
  const std::string_view whole = t.substr(0, point);
  const std::string_view fraction =
      point == std::string_view::npos ? std::string_view() : t.substr(point + 1);
  if (whole.size() > 9 || whole.find_first_not_of("0123456789") != std::string_view::npos)
    return std::nullopt;
  if (fraction.size() > 1 && fraction.substr(1).find_first_not_of('0') != std::string_view::npos)
    return std::nullopt;
  std::int64_t tenths = 0;
  for (const char c : whole) tenths = tenths * 10 + (c - '0');
  return tenths * 10 + (fraction.empty() ? 0 : fraction[0] - '0');
}

// A decimal whose integer part is not zero: one that a conversion returning 0 did not read.
bool HasWholePart(std::string_view t) {
  return t.substr(0, t.find('.')).find_first_of("123456789") != std::string_view::npos;
}

std::string Quote(const FieldValue& v) {
  return v.type == FieldValue::Type::Text ? '"' + v.text + '"' : v.text;
}

// The value in its field's own terms, or why it cannot be.
std::optional<Requested> Read(const Field& f, Unit unit, const FieldValue& given, std::string& why) {
  using Type = FieldValue::Type;
  Requested req;
  req.name = given.name;
  req.text = given.text;
  req.unit = unit;
  // The rules read no exponent: a number written with one is read as its decimal digits.
  FieldValue v = given;
  if (v.type == Type::Number && IsExponentNumber(v.text)) {
    const auto decimal = WithoutExponent(v.text);
    if (!decimal) {
      why = "the exponent is beyond any field's range";
      return std::nullopt;
    }
    v.text = *decimal;
  }
  const auto unfit = [&](std::string reason, std::string dialogText) {
    req.fits = false;
    req.why = std::move(reason);
    req.dialogText = std::move(dialogText);
    return req;
  };
  const auto number = [&]() -> std::optional<std::int64_t> {
    const auto n = v.type == Type::Number ? WholeNumber(v.text) : std::nullopt;
    if (!n)
      why = v.type == Type::Number && IsDecimal(v.text) && v.text.find('.') == std::string::npos
                ? "too large for its field"
                : "a whole number expected";
    return n;
  };
  const auto listed = [&](auto table, const char* unitName) -> std::optional<std::int64_t> {
    const auto n = number();
    if (!n) return std::nullopt;
    for (std::size_t i = 0; i < table.size(); ++i)
      if (static_cast<std::int64_t>(table[i]) == *n) return static_cast<std::int64_t>(i);
    why = std::string("not one of the listed ") + unitName;
    return std::nullopt;
  };
  if (unit == Unit::HalfSecond || unit == Unit::FifthSecond) {
    if (v.type != Type::Number || !IsDecimal(v.text)) {
      why = "seconds expected, as a number with a point";
      return std::nullopt;
    }
    const int step = unit == Unit::HalfSecond ? 5 : 2;  // tenths
    const auto tenths = ExactTenths(v.text);
    if (!tenths || *tenths % step != 0 || *tenths < step || *tenths > 256 * step)
      return unfit(CFormat("seconds in steps of 0.%d from 0.%d to %d.%d expected", step, step,
                           256 * step / 10, 256 * step % 10),
                   v.text);
    req.raw = static_cast<std::uint32_t>(*tenths / step - 1);
    return req;
  }
  std::optional<std::int64_t> code;
  switch (unit) {
    case Unit::Rs485Rate:
      code = listed(kRs485Speeds, "speeds in bit/s");
      break;
    case Unit::CanRate:
      code = listed(kCanSpeeds, "speeds in kbit/s");
      break;
    case Unit::Depth:
      if ((code = number()) && (*code < 1 || *code > 256)) return unfit("1 to 256 expected", "");
      if (code) --*code;
      break;
    case Unit::Pattern:
      for (std::size_t i = 0; i < kFormatPatterns.size(); ++i)
        if (v.text == kFormatPatterns[i]) code = static_cast<std::int64_t>(i);
      if (!code) why = "not one of #.###, ##.##, ###.#, ####";
      break;
    default:
      break;
  }
  if (unit != Unit::None) {
    if (!code) return std::nullopt;
    req.raw = static_cast<std::uint32_t>(*code);
    return req;
  }

  switch (f.kind) {
    case Kind::Float:
      if (v.type == Type::Text && v.text.size() == 10 && v.text.starts_with("0x")) {
        const char* const end = v.text.data() + v.text.size();
        const auto [stop, error] = std::from_chars(v.text.data() + 2, end, req.raw, 16);
        if (error == std::errc{} && stop == end) return req;
      }
      if (v.type != Type::Number || !IsDecimal(v.text)) {
        why = "a number expected, or the bits of one as \"0x\" and eight hex digits";
        return std::nullopt;
      }
      {
        // The rules' own conversion, read in full; it reads 0 where it cannot represent the number.
        const float value = FloatEntry(0.0F, v.text, std::string::npos);
        if (!std::isfinite(value) || (value == 0.0F && HasWholePart(v.text))) {
          why = "too large for a float (about 3.4e38 at most)";
          return std::nullopt;
        }
        req.raw = std::bit_cast<std::uint32_t>(value);
        // The rules read a double and round it again to a float: a number written with an
        // exponent is taken only when that gives the float it means, as its digits would.
        if (v.text != given.text) {
          float meant = 0;
          const std::string_view text = std::string_view(given.text).substr(given.text.starts_with('+') ? 1 : 0);
          const auto [stop, error] = std::from_chars(text.data(), text.data() + text.size(), meant);
          const char* const end = text.data() + text.size();
          if (error != std::errc{} || stop != end || std::bit_cast<std::uint32_t>(meant) != req.raw) {
            why = "does not read back as written through the dialog's rules; write it without an exponent";
            return std::nullopt;
          }
        }
      }
      return req;
    case Kind::Hex:
      if (v.text.size() != 2 * static_cast<std::size_t>(f.arg)) {
        why = std::to_string(2 * f.arg) + " hex digits expected";
        return std::nullopt;
      }
      for (std::size_t i = 0; i < v.text.size(); i += 2) {
        const int hi = HexDigit(v.text[i]), lo = HexDigit(v.text[i + 1]);
        if (hi < 0 || lo < 0) {
          why = std::to_string(2 * f.arg) + " hex digits expected";
          return std::nullopt;
        }
        req.bytes.push_back(static_cast<std::uint8_t>(hi << 4 | lo));
      }
      return req;
    case Kind::Events:
      if (v.text.size() != 8 || v.text.find_first_not_of("01") != std::string::npos) {
        why = "eight 0s and 1s expected, event 0 first";
        return std::nullopt;
      }
      for (int e = 0; e < 8; ++e) req.raw |= (v.text[e] == '1' ? 1U : 0U) << e;
      return req;
    case Kind::Flag:
    case Kind::Bit:
      if (v.type == Type::Bool) {
        req.raw = v.text == "true" ? 1 : 0;
        return req;
      }
      break;
    default:
      break;
  }
  const auto n = number();
  if (!n) {
    if (f.kind == Kind::Flag || f.kind == Kind::Bit) why = "true or false expected";
    return std::nullopt;
  }
  if (*n < 0 || static_cast<std::uint64_t>(*n) > Largest(f.kind))
    return unfit(f.kind == Kind::Bit
                     ? "true or false expected"
                     : "does not fit its field (0 to " + std::to_string(Largest(f.kind)) + ")",
                 std::to_string(*n));
  req.raw = static_cast<std::uint32_t>(*n);
  return req;
}

// The text the dialog's control would hold for a value.
std::string DialogText(const Field& f, const Requested& req) {
  if (!req.fits) return req.dialogText;
  // A float given by its bits goes to the rule as the digits a person would type.
  if (f.kind == Kind::Float)
    return IsDecimal(req.text) ? req.text : ShortestFloatText(std::bit_cast<float>(req.raw));
  if (f.unit == Unit::HalfSecond) return HalfSecondText(static_cast<std::uint8_t>(req.raw));
  if (f.unit == Unit::FifthSecond) return FifthSecondText(static_cast<std::uint8_t>(req.raw));
  return std::to_string(req.raw);
}

std::string WithoutBreaks(const char* message) {
  std::string m = message;
  while (m.starts_with("\n") || m.starts_with("\r")) m.erase(0, 1);
  return m;
}

using Given = std::map<int, Requested>;  // by field

// Runs the accept of each dialog that edits a given field, as the dialog would on its own
// controls; fields not given keep their values. Fills refused with the fields a message named.
void AcceptAsDialogs(TModuleSettings& work, const Given& given, std::vector<TextProblem>& problems,
                     std::set<int>& refused) {
  const auto& fields = Fields();
  const TModuleSettings before = work;
  // A value the dialog leaves as it was must not pass because the record already held it: each
  // given field first holds something else.
  for (const auto& [i, req] : given)
    if (req.fits && fields[i].kind != Kind::Hex && fields[i].kind != Kind::Float)
      SetRaw(work, fields[i], req.raw ^ 1U);

  for (int ch = 0; ch < kChannelCount; ++ch) {
    ChanelEntry entry;
    entry.wholeTexts = true;
    bool touched = false;
    for (const auto& [i, req] : given) {
      const Field& f = fields[i];
      if (f.rule != Rule::Chanel || f.ch != ch) continue;
      touched = true;
      if (f.kind == Kind::Float && !std::isfinite(std::bit_cast<float>(req.raw))) {
        problems.push_back({req.name, "the dialog takes only numbers (--as-is keeps this one)"});
        refused.insert(i);
      } else if (f.slot < kChanTextCount) {
        entry.text[f.slot] = DialogText(f, req);
      } else if (f.slot == kFormatSlot) {
        entry.format = static_cast<int>(req.raw);
      } else if (f.slot == kAproxSlot) {
        entry.aprox = static_cast<int>(req.raw);
      } else {
        entry.inverted[f.slot - kInvertedSlot] = req.raw != 0;
      }
    }
    if (!touched) continue;
    for (const ChanelRefusal& r : AcceptChanelFields(work.ChanSet[ch], entry)) {
      std::string where;
      for (const ChanText t : r.fields) {
        const auto named = std::find_if(fields.begin(), fields.end(), [&](const Field& f) {
          return f.rule == Rule::Chanel && f.ch == ch && f.slot == t;
        });
        where += (where.empty() ? "" : ", ") + named->name;
        refused.insert(static_cast<int>(named - fields.begin()));
      }
      problems.push_back({where, WithoutBreaks(r.message)});
    }
  }

  const auto has = [&](Rule rule) {
    for (const auto& [i, req] : given)
      if (fields[i].rule == rule) return true;
    return false;
  };
  TSysSet& s = work.SysSet;
  if (has(Rule::Interface)) {
    InterfaceEntry e;
    e.rs485En = s.RS485_En != 0;
    e.rs485Writable = s.RS485_WrLock == 0;
    e.rs485Speed = s.RS485_speed;
    e.canSpeed = s.CAN_Speed;
    e.canEn = s.CAN_En != 0;
    e.pres = s.Pres != 0;
    e.can = {s.CAN_0 != 0, s.CAN_1 != 0, s.CAN_2 != 0, s.CAN_3 != 0};
    for (const auto& [i, req] : given) {
      const Field& f = fields[i];
      if (f.rule != Rule::Interface) continue;
      const bool on = req.raw != 0;
      const int index = static_cast<int>(req.raw);
      switch (f.slot) {
        case kWrLock:
          e.rs485Writable = !on;
          break;
        case kRs485En:
          e.rs485En = on;
          break;
        case kRs485Speed:
          e.rs485Speed = index;
          break;
        case kRs485Adres:
          e.rs485Adres = DialogText(f, req);
          break;
        case kCanEn:
          e.canEn = on;
          break;
        case kPres:
          e.pres = on;
          break;
        case kCanSpeed:
          e.canSpeed = index;
          break;
        case kCanAdres:
          e.canAdres = DialogText(f, req);
          break;
        case kCanTime:
          e.canTime = DialogText(f, req);
          break;
        default:
          e.can[f.slot - kCan0] = on;
      }
    }
    AcceptInterface(s, e);
    // The accept also tidies fields the text left alone (a flag of 2, an address of 0): they keep
    // their values here.
    for (int i = 0; i < static_cast<int>(fields.size()); ++i)
      if (fields[i].rule == Rule::Interface && !given.count(i))
        SetRaw(work, fields[i], Raw(before, fields[i]));
  }
  if (has(Rule::Logic)) {
    LogicEntry e;
    for (const auto& [i, req] : given) {
      const Field& f = fields[i];
      if (f.rule != Rule::Logic) continue;
      if (f.slot < kLogicEntries) {
        e.outputs[f.slot] = static_cast<int>(req.raw);
      } else {
        (f.slot == kTimeStartSlot ? e.timeStart : e.timePoint) = DialogText(f, req);
      }
    }
    AcceptLogic(s, e);
  }
  for (const auto& [i, req] : given) {
    const Field& f = fields[i];
    if (f.rule == Rule::Led) {
      for (int event = 0; event < 8; ++event)
        SetLedMark(s, 8 * f.slot + event, ((req.raw >> event) & 1U) != 0);
    } else if (f.rule == Rule::None || (f.rule == Rule::Number && req.raw <= 9999) ||
               (f.rule == Rule::Year && req.raw <= 99)) {
      SetRaw(work, f, req.raw);
    }
  }
}

}  // namespace

std::string ShortestFloatText(float value) {
  char buffer[400];  // a double's longest fixed form, for the fallback below
  const auto print = [&](auto number) {
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, number, std::chars_format::fixed);
    return error == std::errc{} ? std::string(buffer, end) : std::string("0");
  };
  const std::string text = print(value);
  // The rules read a double and round it to single precision. Of all finite floats, two (and their
  // negatives, 0x15AE43FD among them) have a shortest text whose double lies at a midpoint between
  // two floats; the double's own shortest text is the float's exact value and reads back exactly.
  const float back = FloatEntry(0.0F, text, std::string::npos);
  return std::bit_cast<std::uint32_t>(back) == std::bit_cast<std::uint32_t>(value)
             ? text
             : print(static_cast<double>(value));
}

std::string SettingsJson(const TModuleSettings& record) {
  std::string out = "{\n";
  bool first = true;
  ForEachShown(record, [&](const std::string& name, const Shown& v) {
    out += first ? "" : ",\n";
    first = false;
    out += "  \"" + name + "\": " + (v.quoted ? '"' + v.text + '"' : v.text);
  });
  return out + "\n}\n";
}

std::string SettingsLines(const TModuleSettings& record) {
  std::string out;
  ForEachShown(record, [&](const std::string& name, const Shown& v) { out += name + " = " + v.text + "\n"; });
  return out;
}

namespace {

class JsonReader {
 public:
  JsonReader(std::string_view text, std::vector<TextProblem>& problems) : t_(text), problems_(problems) {}

  std::vector<FieldValue> Object() {
    std::vector<FieldValue> values;
    if (t_.starts_with("\xEF\xBB\xBF")) pos_ = 3;
    Blank();
    if (!Expect('{')) return {};
    Blank();
    if (Peek() == '}') {
      ++pos_;
    } else {
      for (;;) {
        FieldValue v;
        Blank();
        if (Peek() != '"') return Fail("a field's name in double quotes expected");
        if (!String(v.name)) return {};
        Blank();
        if (!Expect(':')) return {};
        Blank();
        if (!Value(v)) return {};
        values.push_back(std::move(v));
        Blank();
        if (Peek() == ',') {
          ++pos_;
          continue;
        }
        if (!Expect('}')) return {};
        break;
      }
    }
    Blank();
    if (pos_ < t_.size()) return Fail("text after the closing brace");
    return values;
  }

 private:
  char Peek() const { return pos_ < t_.size() ? t_[pos_] : '\0'; }
  void Blank() {
    while (pos_ < t_.size() && (t_[pos_] == ' ' || t_[pos_] == '\t' || t_[pos_] == '\n' || t_[pos_] == '\r'))
      ++pos_;
  }
  std::vector<FieldValue> Fail(const std::string& message) {
    std::size_t line = 1, column = 1;
    for (std::size_t i = 0; i < pos_ && i < t_.size(); ++i) {
      if (t_[i] == '\n') {
        ++line;
        column = 1;
      } else if ((static_cast<unsigned char>(t_[i]) & 0xC0) != 0x80) {
        ++column;
      }
    }
    problems_.push_back({"line " + std::to_string(line) + ", column " + std::to_string(column), message});
    return {};
  }
  bool Expect(char c) {
    if (Peek() == c) {
      ++pos_;
      return true;
    }
    Fail(std::string("'") + c + "' expected");
    return false;
  }
  bool String(std::string& out) {
    ++pos_;  // the opening quote
    while (pos_ < t_.size()) {
      const char c = t_[pos_++];
      if (c == '"') return true;
      if (static_cast<unsigned char>(c) < 0x20) {
        --pos_;
        Fail("a control character inside a text (write it as an escape)");
        return false;
      }
      if (c != '\\') {
        out += c;
        continue;
      }
      const char e = Peek();
      ++pos_;
      const char* const simple = "\"\\/bfnrt";
      const char* const meant = "\"\\/\b\f\n\r\t";
      if (const char* s = std::strchr(simple, e); s != nullptr && e != '\0') {
        out += meant[s - simple];
      } else if (e == 'u' && pos_ + 4 <= t_.size()) {
        unsigned code = 0;
        for (int k = 0; k < 4; ++k) {
          const int d = HexDigit(t_[pos_ + k]);
          if (d < 0) {
            Fail("four hex digits expected after \\u");
            return false;
          }
          code = code << 4 | static_cast<unsigned>(d);
        }
        pos_ += 4;
        if (code < 0x80) {
          out += static_cast<char>(code);
        } else if (code < 0x800) {
          out += static_cast<char>(0xC0 | code >> 6);
          out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
          out += static_cast<char>(0xE0 | code >> 12);
          out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
          out += static_cast<char>(0x80 | (code & 0x3F));
        }
      } else {
        --pos_;
        Fail("unknown escape in a text");
        return false;
      }
    }
    Fail("a text ends without its closing quote");
    return false;
  }
  bool Value(FieldValue& v) {
    const char c = Peek();
    if (c == '"') {
      v.type = FieldValue::Type::Text;
      return String(v.text);
    }
    for (const char* word : {"true", "false"}) {
      if (t_.substr(pos_).starts_with(word)) {
        v.type = FieldValue::Type::Bool;
        v.text = word;
        pos_ += std::strlen(word);
        return true;
      }
    }
    // A JSON number, kept as written: the field's rule reads it.
    const std::size_t start = pos_;
    if (Peek() == '-') ++pos_;
    const auto digits = [&] {
      const std::size_t from = pos_;
      while (IsDigit(Peek())) ++pos_;
      return pos_ > from;
    };
    if (Peek() == '0' && pos_ + 1 < t_.size() && IsDigit(t_[pos_ + 1])) {
      Fail("a number in JSON does not start with 0 (write 5, not 05)");
      return false;
    }
    bool ok = digits();
    if (ok && Peek() == '.') {
      ++pos_;
      ok = digits();
    }
    if (ok && (Peek() == 'e' || Peek() == 'E')) {
      ++pos_;
      if (Peek() == '+' || Peek() == '-') ++pos_;
      ok = digits();
    }
    if (!ok) {
      pos_ = start;
      Fail(c == '{' || c == '[' ? "a field takes a number, a text, true or false, not a list or an object"
                                : "a number, a text in double quotes, true or false expected");
      return false;
    }
    v.type = FieldValue::Type::Number;
    v.text = std::string(t_.substr(start, pos_ - start));
    return true;
  }

  std::string_view t_;
  std::size_t pos_ = 0;
  std::vector<TextProblem>& problems_;
};

}  // namespace

std::vector<FieldValue> ParseSettingsJson(std::string_view text, std::vector<TextProblem>& problems) {
  return JsonReader(text, problems).Object();
}

std::optional<FieldValue> ParseAssignment(std::string_view text, TextProblem& problem) {
  const auto trim = [](std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
  };
  const std::size_t eq = text.find('=');
  if (eq == std::string_view::npos || trim(text.substr(0, eq)).empty()) {
    problem = {std::string(text), "FIELD=VALUE expected"};
    return std::nullopt;
  }
  FieldValue v;
  v.name = trim(text.substr(0, eq));
  v.text = trim(text.substr(eq + 1));
  if (v.text == "true" || v.text == "false") {
    v.type = FieldValue::Type::Bool;
  } else if (IsDecimal(v.text) || IsExponentNumber(v.text)) {
    v.type = FieldValue::Type::Number;
  } else {
    v.type = FieldValue::Type::Text;
  }
  return v;
}

std::vector<TextProblem> ApplyFields(std::span<const FieldValue> values, TModuleSettings& record,
                                     TextRules rules) {
  const auto& fields = Fields();
  std::vector<TextProblem> problems;
  Given given;
  std::set<std::string> seen;
  for (const FieldValue& v : values) {
    if (!seen.insert(v.name).second) {
      problems.push_back({v.name, "given twice"});
      continue;
    }
    const auto name = Names().find(v.name);
    if (name == Names().end()) {
      problems.push_back({v.name, "no such field"});
      continue;
    }
    const Field& f = fields[name->second.field];
    std::string why;
    auto req = Read(f, name->second.unit, v, why);
    if (!req) {
      problems.push_back({v.name + " = " + Quote(v), why});
      continue;
    }
    const auto [it, added] = given.emplace(name->second.field, *req);
    if (!added &&
        (!it->second.fits || !req->fits || it->second.raw != req->raw || it->second.bytes != req->bytes))
      problems.push_back({v.name + " = " + Quote(v), "disagrees with " + it->second.name + " = " +
                                                         it->second.text +
                                                         ": give one of the two, or both alike"});
  }
  // A time in seconds that the dialog would not store as written: what the dialog takes, rather
  // than what the field could hold.
  const auto unfit = [&](const Field& f, const Requested& req) {
    const bool seconds = req.unit == Unit::HalfSecond || req.unit == Unit::FifthSecond;
    return rules == TextRules::Dialogs && seconds && f.seconds != nullptr
               ? std::string("the dialog takes ") + f.seconds
               : req.why;
  };
  // The values read go on to their rules, so that one pass names every refused field. A value
  // without a code goes on only to a channel dialog's text, whose rule has a message for it.
  for (auto it = given.begin(); it != given.end();) {
    const Field& f = fields[it->first];
    const bool ruled = rules == TextRules::Dialogs && f.rule == Rule::Chanel && f.slot < kChanTextCount;
    if (!it->second.fits && !ruled) {
      problems.push_back({it->second.name + " = " + it->second.text, unfit(f, it->second)});
      it = given.erase(it);
    } else {
      ++it;
    }
  }

  TModuleSettings work = record;
  // No dialog reads the reserved bytes: they are stored as given under either rules.
  for (const auto& [i, req] : given)
    if (fields[i].kind == Kind::Hex) std::memcpy(At(work, fields[i]), req.bytes.data(), req.bytes.size());
  if (rules == TextRules::AsIs) {
    for (const auto& [i, req] : given) SetRaw(work, fields[i], req.raw);  // a no-op for the bytes above
  } else {
    std::set<int> refused;
    AcceptAsDialogs(work, given, problems, refused);
    // A value the dialog stores as something else, or keeps out, is refused rather than changed.
    for (const auto& [i, req] : given) {
      const Field& f = fields[i];
      if (f.kind == Kind::Hex || refused.count(i) || (req.fits && Raw(work, f) == req.raw)) continue;
      if (!req.fits) {
        problems.push_back({req.name + " = " + req.text, unfit(f, req)});
        continue;
      }
      const bool window = f.rule == Rule::Number || f.rule == Rule::Year;
      const bool seconds = (req.unit == Unit::HalfSecond || req.unit == Unit::FifthSecond) && f.seconds;
      problems.push_back(
          {req.name + " = " + req.text,
           std::string(window ? "the main window's field" : "the dialog") + " takes " +
               (seconds ? f.seconds : f.takes != nullptr ? f.takes : "other values") + " (--as-is stores any value)"});
    }
  }
  if (problems.empty()) record = work;
  return problems;
}

std::vector<FieldDifference> CompareSettings(const TModuleSettings& a, const TModuleSettings& b,
                                             CompareScope scope) {
  std::vector<FieldDifference> differences;
  const auto compare = [&](const Field& f) {
    if (scope != CompareScope::File && f.region == Region::Aux) return;
    if (scope == CompareScope::Written && (f.rule == Rule::Number || f.rule == Rule::Year)) return;
    bool same = false;
    if (f.kind == Kind::Hex) {
      same = std::memcmp(At(a, f), At(b, f), static_cast<std::size_t>(f.arg)) == 0;
    } else if (f.kind == Kind::Float && scope != CompareScope::File) {
      same = Raw(a, f) >> 8 == Raw(b, f) >> 8;  // the low byte never reaches a module
    } else {
      same = Raw(a, f) == Raw(b, f);
    }
    if (!same) differences.push_back({f.name, ValueOf(a, f).text, ValueOf(b, f).text});
  };
  const auto& fields = Fields();
  for (int ch = 0; ch < kChannelCount; ++ch)
    for (const Field& f : fields)
      if (f.region != Region::Sys && f.ch == ch) compare(f);
  for (const Field& f : fields)
    if (f.region == Region::Sys) compare(f);
  return differences;
}
