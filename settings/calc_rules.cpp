// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/calc_rules.h"

#include "settings/c_format.h"
#include "settings/user_text.h"

namespace {

constexpr std::size_t kReferenceChars = 7;
constexpr std::size_t kPointChars = 5;
constexpr std::int64_t kPointLimit = 65535;

}  // namespace

TCalcFlags CalcValidity(const TCalcValues& v) {
  TCalcFlags f;
  f.current = v.const_ > 0;
  f.parameter = v.Vrms_N < v.Vrms_V;
  f.output = v.Out_N < v.Out_V;
  for (int c = 0; c < 4; ++c) {
    f.currentCh[c] = v.Const[c] != 0;
    f.parameterCh[c] = v.Vfix_N[c] < v.Vfix_V[c];
    f.outputCh[c] = v.Pout_N[c] < v.Pout_V[c];
  }
  return f;
}

std::uint16_t& CalcPoint(TCalcValues& v, int row, int c) {
  switch (row) {
    case 0:
      return v.Const[c];
    case 1:
      return v.Vfix_N[c];
    case 2:
      return v.Vfix_V[c];
    case 3:
      return v.Pout_N[c];
    default:
      return v.Pout_V[c];
  }
}

void AcceptCalc(TCalcValues& v, const CalcEntry& e) {
  v.const_ = FloatEntry(v.const_, e.const_, kReferenceChars);
  v.Vrms_N = FloatEntry(v.Vrms_N, e.Vrms_N, kReferenceChars);
  v.Vrms_V = FloatEntry(v.Vrms_V, e.Vrms_V, kReferenceChars);
  v.Out_N = FloatEntry(v.Out_N, e.Out_N, kReferenceChars);
  v.Out_V = FloatEntry(v.Out_V, e.Out_V, kReferenceChars);
  for (int c = 0; c < 4; ++c) {
    for (int row = 0; row < kCalcPointRows; ++row) {
      std::uint16_t& point = CalcPoint(v, row, c);
      if (const auto value = CountEntry(point, e.point[4 * row + c], kPointChars, kPointLimit))
        point = static_cast<std::uint16_t>(*value);
    }
  }
}

std::string CalcCoefficients(const TCalcValues& v, const TCalcFlags& f, int c, TChanSet& chan,
                             bool& computed) {
  // Single-precision arithmetic throughout: every quotient is rounded to a float before it is used.
  std::string report =
      CFormat(Translated("Messages", "Вычисления коэффициентов по каналу измерения %1u \n\r").c_str(),
              unsigned(c + 1));
  computed = false;
  if (f.current && f.currentCh[c]) {
    const float quotient = v.const_ / static_cast<float>(v.Const[c]);
    const float b = 4.0F * quotient;
    report +=
        CFormat(Translated("Messages", "   Ток (напряжение)    датчика  B = %11.6g \n\r").c_str(), double{b});
    chan.ParamCurr_B = b;
    computed = true;
  }
  if (f.parameter && f.parameterCh[c]) {
    report += "\n\r";
    const float s = (v.Vrms_V - v.Vrms_N) / static_cast<float>(int{v.Vfix_V[c]} - int{v.Vfix_N[c]});
    const float a = v.Vrms_N - static_cast<float>(v.Vfix_N[c]) * s;
    const float b = 4.0F * s;
    report += CFormat(
        Translated("Messages", "   Значение параметра           А = %11.6g / B = %11.6g \n\r").c_str(),
        double{a}, double{b});
    chan.ParamCoff_A = a;
    chan.ParamCoff_B = b;
    computed = true;
  }
  if (f.output && f.outputCh[c]) {
    report += "\n\r";
    const float b = static_cast<float>(int{v.Pout_V[c]} - int{v.Pout_N[c]}) / (v.Out_V - v.Out_N);
    const float a = static_cast<float>(v.Pout_N[c]) - v.Out_N * b;
    report += CFormat(
        Translated("Messages", "   Унифицированный выход        А = %11.6g / B = %11.6g \n\r").c_str(),
        double{a}, double{b});
    chan.OutCoff_A = a;
    chan.OutCoff_B = b;
    chan.OutZero = 0;
    computed = true;
  }
  if (computed) {
    report += Translated("Messages", "\n\rкоэффициенты добавлены в форму параметров канала измерения.");
  } else {
    report += Translated("Messages",
                         "\n\rНи один из параметров не был вычислен. \n\r"
                         "Проверьте значения параметров в форме. \n\r"
                         "Значения, выделенные красным цветом, в расчетах не участвуют. \n\r");
  }
  return report;
}
