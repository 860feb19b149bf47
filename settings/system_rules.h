// SPDX-License-Identifier: GPL-3.0-or-later
// The system block's fields edited by the interface, logic and compact-variant LED dialogs: the
// texts their fills show and the rules by which their accept steps store what the user chose. None
// of them shows a message: a refused value leaves its field as it was.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "settings/field_rules.h"
#include "settings/module_settings.h"

// The speed lists in item order: an index is what the record holds.
inline constexpr std::array<unsigned, 6> kRs485Speeds = {4800, 9600, 19200, 38400, 57600, 115200};  // bit/s
inline constexpr std::array<unsigned, 7> kCanSpeeds = {1000, 500, 250, 200, 125, 100, 40};          // kbit/s
inline constexpr int kRs485SpeedItems = static_cast<int>(kRs485Speeds.size());
inline constexpr int kCanSpeedItems = static_cast<int>(kCanSpeeds.size());
inline constexpr int kLogicOutputs = 11;  // a nibble names output 1..11, or none with 0
inline constexpr int kLogicEntries = 40;  // 8 events in each of 4 channels and the system
inline constexpr int kLedEntries = 120;   // 8 events x 3 LEDs in each of 5 groups

// The texts of the interface dialog's three masked edits.
struct InterfaceTexts {
  std::string rs485Adres, canAdres, canTime;
};
InterfaceTexts InterfaceTextsOf(const TSysSet& sys);

// What the interface dialog's controls hold when it accepts. A list without a valid selection
// keeps its field; a text left as the fill showed it converts from the record's own value.
struct InterfaceEntry {
  bool rs485En = false;
  bool rs485Writable = false;  // the check box shows the inverse of the write lock
  std::optional<int> rs485Speed, canSpeed;
  FieldEntry rs485Adres, canAdres, canTime;
  bool canEn = false, pres = false;
  std::array<bool, 4> can{};
};
void AcceptInterface(TSysSet& sys, const InterfaceEntry& entry);

// Durations in fifths of a second, code 0..149 for 0.2 s to 30.0 s, as the logic dialog shows them
// ("%4.1f") and takes them: the tenths typed, halved, less one, not below 0. Above 30 s, or with a
// sign, the current code stays.
std::string FifthSecondText(std::uint8_t code);
std::uint8_t FifthSecondEntry(std::uint8_t current, const FieldEntry& entry);

// Logic entry 2 * i is the low nibble of byte i, entry 2 * i + 1 its high nibble.
int LogicNibble(const TSysSet& sys, int entry);
// A value outside 0..11 (a list without a valid selection) keeps the nibble.
void SetLogicNibble(TSysSet& sys, int entry, std::optional<int> value);

// The logic dialog's accept: the 40 outputs, then the start blocking and set-point display times.
// The compact-variant LED bytes are left alone.
struct LogicEntry {
  std::array<std::optional<int>, kLogicEntries> outputs;
  FieldEntry timeStart, timePoint;
};
void AcceptLogic(TSysSet& sys, const LogicEntry& entry);

// LED entry 8 * b + e is bit e of LedTenu byte b (byte 3 * group + LED).
bool LedMark(const TSysSet& sys, int entry);
void SetLedMark(TSysSet& sys, int entry, bool on);
