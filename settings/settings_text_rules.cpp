// SPDX-License-Identifier: GPL-3.0-or-later
// Values given by name go into the record through the rule of the dialog that edits each field, or
// as they stand.
#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <set>

#include "settings/c_format.h"
#include "settings/field_rules.h"
#include "settings/field_table.h"
#include "settings/settings_text.h"
#include "settings/user_text.h"

using namespace settings_text;

namespace {

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
    // A whole field takes 1234.0 as it takes 1234 and 1.234e3 (read as its digits): whole values
    // from a program that writes every number with a point.
    std::string digits = v.text;
    if (const std::size_t point = digits.find('.');
        point != std::string::npos && point > 0 &&
        digits.find_first_not_of('0', point + 1) == std::string::npos)
      digits.erase(point);
    const auto n = v.type == Type::Number ? WholeNumber(digits) : std::nullopt;
    if (!n)
      why = v.type == Type::Number && IsDecimal(digits) && digits.find('.') == std::string::npos
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
          const std::string_view text =
              std::string_view(given.text).substr(given.text.starts_with('+') ? 1 : 0);
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
      problems.push_back({where, WithoutBreaks(Translated("Messages", r.message).c_str())});
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
      problems.push_back({req.name + " = " + req.text,
                          std::string(window ? "the main window's field" : "the dialog") + " takes " +
                              (seconds              ? f.seconds
                               : f.takes != nullptr ? f.takes
                                                    : "other values") +
                              " (--as-is stores any value)"});
    }
  }
  if (problems.empty()) record = work;
  return problems;
}
