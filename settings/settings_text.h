// SPDX-License-Identifier: GPL-3.0-or-later
// A record as named fields ("ch1.Point0", "sys.CAN_adres", "sys.Logic.ch2.ev5"): printed for
// people and version control, read back through the dialogs' own accept rules or as it stands,
// and compared field by field.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "settings/module_settings.h"

// What is wrong and where: a field's name, or "line L, column C" of a text.
struct TextProblem {
  std::string where;
  std::string message;
};

// A value as written: a number keeps its text, so that a rule reads it as if typed.
struct FieldValue {
  enum class Type { Number, Text, Bool };
  std::string name;
  Type type = Type::Number;
  std::string text;
};

// Every field in file order (each channel, its auxiliary block, then the system block), one a
// line, time codes also as seconds and list indexes also as what the list shows. Floats have the
// fewest digits that read back to the same 32 bits, without an exponent; a float that is no number
// shows its bits ("0x7FC00000").
std::string SettingsJson(const TModuleSettings& record);
// The same as "name = value" lines, the form that ParseAssignment reads.
std::string SettingsLines(const TModuleSettings& record);

// The fewest digits that the rules' conversion reads back as the same float, without an exponent
// (the rules read none).
std::string ShortestFloatText(float value);

// A flat JSON object of fields, as SettingsJson writes it. On a syntax error the result is empty
// and problems holds where and why.
std::vector<FieldValue> ParseSettingsJson(std::string_view text, std::vector<TextProblem>& problems);
// "name=value"; true and false are flags, a number is a number, anything else a text.
std::optional<FieldValue> ParseAssignment(std::string_view text, TextProblem& problem);

enum class TextRules {
  Dialogs,  // each value passes the rule of the dialog that edits it, and must be stored exactly
  AsIs,     // each value is stored as it stands, within its field's width
};

// Stores the values into record; when any is refused, record stays as it was and the problems
// name each refused field. Fields not given keep their values.
std::vector<TextProblem> ApplyFields(std::span<const FieldValue> values, TModuleSettings& record,
                                     TextRules rules);

enum class CompareScope {
  File,    // every byte, floats bit for bit
  Module,  // what a module holds (no auxiliary blocks), floats as the wire carries them (24 bits)
  // What a write changes in a module as the dialogs show it: as Module, without the number and
  // year, and floats that the dialogs show alike are alike. verify and the window's comparison.
  Written,
};

struct FieldDifference {
  std::string name, a, b;
};
std::vector<FieldDifference> CompareSettings(const TModuleSettings& a, const TModuleSettings& b,
                                             CompareScope scope);

// Reads of a module's settings: the line carries no check of its own, so only a repeat tells a
// changed byte. A read is taken when a second agrees byte for byte; when they differ, a third
// decides.
enum class ReadsVerdict { ReadAgain, Taken, Undecided };
// reads: those made so far; wanted: 1 when one read is to be trusted, else 2.
ReadsVerdict JudgeReads(std::span<const TModuleSettings> reads, int wanted);
// Three reads that all differ: the fields where they do, each with its three values, a line each.
std::string ReadsDiffer(const TModuleSettings& a, const TModuleSettings& b, const TModuleSettings& c);
