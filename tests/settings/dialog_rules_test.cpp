// SPDX-License-Identifier: GPL-3.0-or-later
// The accept rules of the channel dialog and the calculator, without widgets.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

#include "settings/calc_rules.h"
#include "settings/chanel_rules.h"
#include "settings/system_rules.h"

namespace {

TChanSet Sample() {
  TChanSet c{};
  c.Format = 0x0E;  // format 2, bit 3 set: neither may be lost
  c.Aprox = 4;
  c.PointTime = 19;
  c.AdcTime = 9;
  c.AdcMin = 100;
  c.AdcMax = 900;
  c.AdcHist = 20;
  c.OutZero = 50;
  c.PointHist = 12.345678F;
  c.ParamCoff_B = 0.0001234F;
  return c;
}

ChanelEntry With(std::initializer_list<std::pair<ChanText, const char*>> texts) {
  ChanelEntry e;
  for (const auto& [field, text] : texts) e.text[field] = text;
  return e;
}

// The cases typed into the dialog are in its own tests; a sign reaches the rules only from vexa_cli.
TEST(ChanelRules, TimeCodesAdcLimitsAndTheirMessagesInOrder) {
  struct Case {
    const char* name;
    ChanelEntry entry;
    std::string messages;
    std::uint8_t pointTime;
    std::uint16_t adcMin, adcMax;
    std::uint8_t adcHist;
  };
  const std::string minBad = "\n\rНеверное значение минимального уровня АЦП";
  const Case cases[] = {
      {"nothing changed", {}, "", 19, 100, 900, 20},
      {"time and ADC time", With({{kPointTime, " 0.0"}, {kAdcTime, "99.9"}}),
       std::string(kPointTimeMessage) + kAdcTimeMessage, 19, 100, 900, 20},
      {"a sign (vexa_cli) is refused, not wrapped", With({{kAdcMin, "-5"}}), minBad, 19, 100, 900, 20},
      {"empty mask reads 0", With({{kAdcMin, "    "}}), "", 19, 0, 900, 20},
  };
  for (const Case& c : cases) {
    TChanSet chan = Sample();
    EXPECT_EQ(AcceptChanel(chan, c.entry), c.messages) << c.name;
    EXPECT_EQ(+chan.PointTime, c.pointTime) << c.name;
    EXPECT_EQ(+chan.AdcMin, c.adcMin) << c.name;
    EXPECT_EQ(+chan.AdcMax, c.adcMax) << c.name;
    EXPECT_EQ(+chan.AdcHist, c.adcHist) << c.name;
  }
}

TEST(ChanelRules, FloatsListsFlagsAndUntouchedFields) {
  TChanSet chan = Sample();
  ChanelEntry e = With({{kPoint2, "abc"}, {kOutZero, "5000"}});
  e.format = 1;
  e.aprox = std::nullopt;  // a list without a valid selection
  e.inverted = {true, false, true, std::nullopt};
  chan.Format |= 0x80;
  EXPECT_EQ(AcceptChanel(chan, e), kOutZeroMessage);
  EXPECT_EQ(+chan.Point2, 0.0F);
  EXPECT_EQ(+chan.Format, 0x8D | 0x50) << "format 1, bits 2-3 kept, flags 0 and 2 set, flag 3 kept";
  EXPECT_EQ(+chan.Aprox, 4);
  EXPECT_EQ(+chan.OutZero, 50);
  EXPECT_EQ(+chan.PointHist, 12.345678F) << "untouched: kept bit for bit";
  EXPECT_EQ(+chan.ParamCoff_B, 0.0001234F);

  // The same fields typed back as the fill shows them follow the conversion: 5 characters of "%5f".
  const ChanTexts shown = ChanelTexts(chan);
  AcceptChanel(chan,
               With({{kPointHist, shown[kPointHist].c_str()}, {kParamCoff_B, shown[kParamCoff_B].c_str()}}));
  EXPECT_EQ(+chan.PointHist, 12.34F);
  EXPECT_EQ(+chan.ParamCoff_B, 0.000123F);

  // An untouched out-of-range value from a file is reported on every accept and kept.
  chan.AdcMin = 2000;
  EXPECT_EQ(AcceptChanel(chan, {}), std::string(kAdcMinMessage) + kAdcOrderMessage + kAdcSpanMessage);
  EXPECT_EQ(+chan.AdcMin, 2000);
}

TEST(CalcRules, WorkedExamplesAndTheirReports) {
  TCalcValues v;
  v.const_ = 20;
  v.Const[0] = 4000;
  v.Vrms_N = 0;
  v.Vrms_V = 100;
  v.Vfix_N[1] = 800;
  v.Vfix_V[1] = 4000;
  v.Out_N = 0;
  v.Out_V = 100;
  v.Pout_N[2] = 800;
  v.Pout_V[2] = 4000;
  const TCalcFlags flags = CalcValidity(v);
  std::array<TChanSet, 4> chans{};
  for (TChanSet& c : chans) c.OutZero = 77;
  bool computed = false;
  const std::string done = "\n\rкоэффициенты добавлены в форму параметров канала измерения.";

  EXPECT_EQ(CalcCoefficients(v, flags, 0, chans[0], computed),
            "Вычисления коэффициентов по каналу измерения 1 \n\r"
            "   Ток (напряжение)    датчика  B =        0.02 \n\r" +
                done);
  EXPECT_TRUE(computed);
  EXPECT_EQ(+chans[0].ParamCurr_B, 0.02F);

  EXPECT_EQ(CalcCoefficients(v, flags, 1, chans[1], computed),
            "Вычисления коэффициентов по каналу измерения 2 \n\r\n\r"
            "   Значение параметра           А =         -25 / B =       0.125 \n\r" +
                done);
  EXPECT_EQ(+chans[1].ParamCoff_A, -25.0F);
  EXPECT_EQ(+chans[1].ParamCoff_B, 0.125F);
  EXPECT_EQ(+chans[1].OutZero, 77);

  EXPECT_EQ(CalcCoefficients(v, flags, 2, chans[2], computed),
            "Вычисления коэффициентов по каналу измерения 3 \n\r\n\r"
            "   Унифицированный выход        А =         800 / B =          32 \n\r" +
                done);
  EXPECT_EQ(+chans[2].OutCoff_A, 800.0F);
  EXPECT_EQ(+chans[2].OutCoff_B, 32.0F);
  EXPECT_EQ(+chans[2].OutZero, 0);

  // Channel 4 has no points; an invalid global flag stops its row for every channel.
  const TChanSet before = chans[3];
  EXPECT_EQ(CalcCoefficients(v, flags, 3, chans[3], computed),
            "Вычисления коэффициентов по каналу измерения 4 \n\r"
            "\n\rНи один из параметров не был вычислен. \n\r"
            "Проверьте значения параметров в форме. \n\r"
            "Значения, выделенные красным цветом, в расчетах не участвуют. \n\r");
  EXPECT_FALSE(computed);
  EXPECT_EQ(std::memcmp(&before, &chans[3], sizeof before), 0);
  v.Vrms_V = v.Vrms_N;
  EXPECT_FALSE(CalcValidity(v).parameter);
  CalcCoefficients(v, CalcValidity(v), 1, chans[1], computed);
  EXPECT_FALSE(computed);
}

TEST(CalcRules, AcceptReadsSevenAndFiveCharactersAndKeepsPointsAbove65535) {
  TCalcValues v;
  v.Vrms_V = 1.23456789F;
  v.Const[1] = 11;
  v.Pout_V[3] = 12;
  CalcEntry e;
  e.const_ = "12.3456789";
  e.Out_N = "-4,5";
  e.point[4 * 0 + 1] = "65536";
  e.point[4 * 4 + 3] = "65535";
  e.point[4 * 2 + 0] = "  7.9";
  AcceptCalc(v, e);
  EXPECT_EQ(v.const_, 12.3456F);
  EXPECT_EQ(v.Out_N, -4.0F);
  EXPECT_EQ(v.Vrms_V, 1.23456789F) << "untouched";
  EXPECT_EQ(v.Const[1], 11) << "above 65535: the previous value stays";
  EXPECT_EQ(v.Pout_V[3], 65535);
  EXPECT_EQ(v.Vfix_V[0], 7);
}

// Texts as vexa_cli may pass them; typing into the dialog is covered by the dialog's own tests.
TEST(InterfaceRules, AddressesAndPeriod) {
  struct Case {
    const char *rs485, *can, *time;
    std::uint8_t rs485Adres;
    std::uint16_t canAdres;
    std::uint8_t canTime;
  };
  // The record starts with address 0, CAN address 500 and code 7.
  const Case cases[] = {
      {nullptr, nullptr, nullptr, 1, 500, 7},  // untouched: 0 is still no address
      {"247", "65534", "30.0", 247, 65534, 59},
      {"-5", "-1", "-1.0", 1, 500, 7},  // a sign never wraps round
                                        // into the unsigned fields
      {"12x", "99999", "30.4", 12, 500, 7},
      {" 3", "  0", " 0.9", 3, 0, 0},
      {"", "", " 1.0", 1, 0, 1},
  };
  for (const Case& c : cases) {
    TSysSet sys{};
    sys.CAN_adres = 500;
    sys.CAN_Time = 7;
    sys.CAN_Speed = 3;
    sys.RS485_speed = 3;  // not 0, which a rule storing a missing selection as 0 would also give
    const auto entry = [](const char* text) { return text ? FieldEntry(text) : std::nullopt; };
    InterfaceEntry e;
    e.rs485Adres = entry(c.rs485);
    e.canAdres = entry(c.can);
    e.canTime = entry(c.time);
    e.rs485Speed = kRs485SpeedItems;  // no valid selection: kept
    e.canSpeed = 6;
    AcceptInterface(sys, e);
    const std::string name = c.rs485 ? c.rs485 : "untouched";
    EXPECT_EQ(+sys.RS485_adres, c.rs485Adres) << name;
    EXPECT_EQ(+sys.CAN_adres, c.canAdres) << name;
    EXPECT_EQ(+sys.CAN_Time, c.canTime) << name;
    EXPECT_EQ(+sys.RS485_speed, 3) << name;
    EXPECT_EQ(+sys.CAN_Speed, 6) << name;
    EXPECT_EQ(+sys.RS485_WrLock, 1) << "the box unchecked locks writing";
  }
}

TEST(LogicRules, EveryShownTimeComesBackAsItsOwnCode) {
  for (int code = 0; code <= 255; ++code) {
    const auto c = static_cast<std::uint8_t>(code);
    const std::string text = FifthSecondText(c);
    // Above 30 s (codes 150 on) the dialog keeps the current value: another one, so that a rule
    // storing the code would fail.
    const std::uint8_t current = code < 150 ? 200 : static_cast<std::uint8_t>(code ^ 0x5A);
    EXPECT_EQ(FifthSecondEntry(current, text), code < 150 ? c : current) << text;
  }
  const std::pair<const char*, int> typed[] = {{" 1.4", 6}, {" 1.5", 6},  {" 0.0", 0}, {" 0.1", 0},
                                               {"  . ", 0}, {"30.1", 77}, {"-1", 77},  {"1.45", 6}};
  for (const auto& [text, code] : typed) EXPECT_EQ(FifthSecondEntry(77, std::string(text)), code) << text;
}

}  // namespace
