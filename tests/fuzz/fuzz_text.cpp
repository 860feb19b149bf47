// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target: the text conversion against a reference of its own, the dialogs' accept rules on any
// texts, and the text report on any record.
#include <locale.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "settings/calc_rules.h"
#include "settings/chanel_rules.h"
#include "settings/system_rules.h"
#include "settings/text_number.h"
#include "settings/text_report.h"

namespace {

// The grammar the conversion documents, parsed by hand and converted by the C library in the C
// locale: blanks, a sign, digits with at most one point.
double Reference(const std::string& text, std::size_t maxChars) {
  const std::string s = text.substr(0, std::min(maxChars, text.size()));
  std::size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || (s[i] >= '\t' && s[i] <= '\r'))) ++i;
  std::string token;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) token += s[i++];
  bool digits = false, point = false;
  for (; i < s.size(); ++i) {
    if (s[i] >= '0' && s[i] <= '9') {
      digits = true;
      token += s[i];
    } else if (s[i] == '.' && !point) {
      point = true;
      token += s[i];
    } else {
      break;
    }
  }
  if (!digits) return 0.0;
  static const locale_t c = newlocale(LC_ALL_MASK, "C", locale_t{});
  const double value = strtod_l(token.c_str(), nullptr, c);
  return std::isfinite(value) ? value : 0.0;
}

// The width of every line, in characters rather than UTF-8 bytes.
std::vector<std::size_t> LineWidths(const std::string& text) {
  std::vector<std::size_t> widths(1, 0);
  for (const char ch : text) {
    if (ch == '\n')
      widths.push_back(0);
    else
      widths.back() += (static_cast<unsigned char>(ch) & 0xC0) != 0x80;
  }
  return widths;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::size_t maxChars = data[0] % 12;
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  const double got = TextToNumber(text, maxChars);
  const double want = Reference(text, maxChars);
  if (!std::isfinite(got) || got != want) std::abort();

  // The channel dialog's rules: whatever the texts, what is stored keeps to its limits.
  TChanSet chan{};
  ChanelEntry entry;
  for (int i = 0; i < kChanTextCount; ++i)
    if ((data[0] >> (i % 8)) & 1) entry.text[i] = text.substr(i % text.size());
  entry.format = data[0] % 6 - 1;
  entry.aprox = data[1 % size] % 12 - 1;
  AcceptChanel(chan, entry);
  if (chan.PointTime > 69 || chan.AdcTime > 69 || chan.AdcMin > 1023 || chan.AdcMax > 1023 ||
      chan.OutZero > 4095 || (chan.Format & 3) > 3 || chan.Aprox > 9)
    std::abort();
  TCalcValues values;
  CalcEntry calc{text, text, text.substr(1), text, text.substr(1), {}};
  for (auto& point : calc.point) point = text;
  AcceptCalc(values, calc);
  for (int c = 0; c < 4; ++c) {
    bool computed = false;
    const float currentB = chan.ParamCurr_B;
    CalcCoefficients(values, CalcValidity(values), c, chan, computed);
    if (!computed && chan.ParamCurr_B != currentB) std::abort();
  }

  // The interface and logic rules: from a cleared block, nothing lands outside what the dialogs
  // can show, and the LED bytes stay as they were.
  TSysSet sys{};
  sys.LedTenu[7] = 0x5A;
  InterfaceEntry interface;
  interface.rs485Adres = text;
  interface.canAdres = text.substr(1);
  interface.canTime = text.substr(size / 2 - 1);
  interface.rs485Speed = data[0] % 9 - 1;
  interface.canSpeed = data[1] % 9 - 1;
  AcceptInterface(sys, interface);
  LogicEntry logic;
  for (int i = 0; i < kLogicEntries; ++i) logic.outputs[i] = data[i % size] % 15 - 1;
  logic.timeStart = text;
  logic.timePoint = text.substr(1);
  AcceptLogic(sys, logic);
  bool nibblesValid = true;
  for (int i = 0; i < kLogicEntries; ++i) nibblesValid = nibblesValid && LogicNibble(sys, i) <= kLogicOutputs;
  if (sys.RS485_adres < 1 || sys.RS485_adres > 247 || sys.CAN_Time > 59 || sys.Time_Start > 149 ||
      sys.Time_Point > 149 || sys.RS485_speed >= kRs485SpeedItems || sys.CAN_Speed >= kCanSpeedItems ||
      !nibblesValid || sys.LedTenu[7] != 0x5A)
    std::abort();

  // The report on any record: the bytes of the input laid over one.
  TModuleSettings record{};
  std::memcpy(&record, data, std::min(size, sizeof record));
  float ranges[4] = {};
  if (size >= sizeof record + sizeof ranges) std::memcpy(ranges, data + sizeof record, sizeof ranges);
  const std::string report =
      BuildTextReport(record, ReportRanges{ranges[0], ranges[1], ranges[2], ranges[3]});
  if (report.empty()) std::abort();

  // With every number small enough to fit its column (one digit before the point, the narrowest
  // column's), every line keeps the width it has in the blank form.
  // (Below 0.1 "%g" needs more places than its column has: "0.043021", then an exponent.)
  const auto tame = [](float v) {
    const float f = std::isfinite(v) ? std::fmod(v, 9.9F) : 0.0F;
    return std::fabs(f) < 0.1F ? 0.0F : f;
  };
  for (TChanSet& c : record.ChanSet) {
    c.Point0 = tame(c.Point0);
    c.Point1 = tame(c.Point1);
    c.Point2 = tame(c.Point2);
    c.Point3 = tame(c.Point3);
    c.PointHist = tame(c.PointHist);
    c.ParamCurr_B = tame(c.ParamCurr_B);
    c.ParamCoff_A = tame(c.ParamCoff_A);
    c.ParamCoff_B = tame(c.ParamCoff_B);
    c.OutCoff_A = tame(c.OutCoff_A);
    c.OutCoff_B = tame(c.OutCoff_B);
    c.OutCurrMax = tame(c.OutCurrMax);
  }
  for (TChanAux& aux : record.ChanAux) aux.SensTestHist = tame(aux.SensTestHist);
  record.SysSet.Number = static_cast<std::uint16_t>(record.SysSet.Number % 10000);
  record.SysSet.Year = static_cast<std::uint8_t>(record.SysSet.Year % 100);
  record.SysSet.RS485_speed =
      static_cast<std::uint8_t>(record.SysSet.RS485_speed % 5);  // 115200 is six digits
  const std::string fitting = BuildTextReport(
      record, ReportRanges{tame(ranges[0]), tame(ranges[1]), tame(ranges[2]), tame(ranges[3])});
  static const std::vector<std::size_t> widths =
      LineWidths(BuildTextReport(TModuleSettings{}, ReportRanges{}));
  if (LineWidths(fitting) != widths) std::abort();
  return 0;
}
