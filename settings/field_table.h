// SPDX-License-Identifier: GPL-3.0-or-later
// The settings record's fields by name, for the text forms: where each lies, how it is shown, and
// which dialog's rule stores it. Shared by the text writer and reader and the rules' side.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/chanel_rules.h"
#include "settings/module_settings.h"
#include "settings/system_rules.h"

namespace settings_text {

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
  const char* takes = nullptr;    // what the dialog takes, said when it would store something else
  const char* seconds = nullptr;  // the same for a time written in seconds
};

// The suffix of a field's second form ("s", "bps", ...).
const char* Suffix(Unit unit);
const std::vector<Field>& Fields();

// A written name: the field and the unit it is written in.
struct Name {
  int field;
  Unit unit;
};
const std::map<std::string, Name>& Names();

const std::uint8_t* At(const TModuleSettings& r, const Field& f);
std::uint8_t* At(TModuleSettings& r, const Field& f);
std::uint32_t Raw(const TModuleSettings& r, const Field& f);
void SetRaw(TModuleSettings& r, const Field& f, std::uint32_t v);
std::uint32_t Largest(Kind kind);

struct Shown {
  std::string text;
  bool quoted = false;
};
Shown ValueOf(const TModuleSettings& r, const Field& f);
// The second form, for a field that has one.
std::optional<Shown> UnitOf(const TModuleSettings& r, const Field& f);

// Each field, then its second form, in file order (each channel with its auxiliary block, then the
// system block).
template <typename Visit>
void ForEachField(Visit visit) {
  const auto& fields = Fields();
  for (int ch = 0; ch < kChannelCount; ++ch)
    for (const Field& f : fields)
      if (f.region != Region::Sys && f.ch == ch) visit(f);
  for (const Field& f : fields)
    if (f.region == Region::Sys) visit(f);
}
template <typename Visit>
void ForEachShown(const TModuleSettings& r, Visit visit) {
  ForEachField([&](const Field& f) {
    visit(f.name, ValueOf(r, f));
    if (const auto second = UnitOf(r, f)) visit(f.name + "." + Suffix(f.unit), *second);
  });
}

inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }
// A sign, digits and at most one point, with a digit somewhere: what the rules read in full.
bool IsDecimal(std::string_view t);
// "1e3" and the like: a number the rules would misread unless its exponent is written out.
bool IsExponentNumber(std::string_view t);
std::optional<std::int64_t> WholeNumber(std::string_view t);
int HexDigit(char c);

}  // namespace settings_text
