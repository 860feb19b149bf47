// SPDX-License-Identifier: GPL-3.0-or-later
// The coefficient calculator's values and arithmetic: reference points in, channel coefficients and
// a report out. The values live only while the program runs; they are not part of the record.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "settings/field_rules.h"
#include "settings/module_settings.h"

// Reference values shared by all channels, and per-channel points (ADC readings x 4, DAC values).
struct TCalcValues {
  float const_ = 0;  // reference current (or voltage) of row 1; named "const" by the form
  float Vrms_N = 0, Vrms_V = 0;
  float Out_N = 0, Out_V = 0;
  std::uint16_t Const[4] = {};
  std::uint16_t Vfix_N[4] = {}, Vfix_V[4] = {};
  std::uint16_t Pout_N[4] = {}, Pout_V[4] = {};
};

// Which values take part in a computation: a global flag per row and one per row and channel.
struct TCalcFlags {
  bool current = true, parameter = true, output = true;
  bool currentCh[4] = {true, true, true, true};
  bool parameterCh[4] = {true, true, true, true};
  bool outputCh[4] = {true, true, true, true};
};

TCalcFlags CalcValidity(const TCalcValues& values);

// The five rows of per-channel points, in the order of the form's masked-edit table (entry 4 * row + c).
inline constexpr int kCalcPointRows = 5;
std::uint16_t& CalcPoint(TCalcValues& values, int row, int c);

// What the form's edits hold when it accepts; an empty entry keeps the value (text left as shown).
struct CalcEntry {
  FieldEntry const_, Vrms_N, Vrms_V, Out_N, Out_V;
  std::array<FieldEntry, kCalcPointRows * 4> point;  // entry 4 * row + c
};

// Reference values read from 7 characters without a check; points from 5 characters, floored, and
// kept as they were when above 65535 rather than wrapped round.
void AcceptCalc(TCalcValues& values, const CalcEntry& entry);

// Computes what the flags allow for channel c (0..3), stores it in chan and returns the report.
// computed tells whether any coefficient was stored.
std::string CalcCoefficients(const TCalcValues& values, const TCalcFlags& flags, int c, TChanSet& chan,
                             bool& computed);
