// SPDX-License-Identifier: GPL-3.0-or-later
// Records as named fields: the way out, the way back through the dialogs' rules or as they stand,
// and the comparison.
#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "settings/chanel_rules.h"
#include "settings/settings_text.h"

namespace {

bool Same(const TModuleSettings& a, const TModuleSettings& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Every field different from its neighbours and within what the dialogs take; floats that need all
// 32 bits, the extremes, a negative zero and one whose shortest text reads back wrong among them.
TModuleSettings Valid() {
  TModuleSettings r;
  auto* bytes = reinterpret_cast<std::uint8_t*>(&r);
  for (std::size_t i = 0; i < sizeof r; ++i) bytes[i] = static_cast<std::uint8_t>(i * 13 + 5);
  const float floats[11] = {
      0.1F,      -2.5F,          123456.78F,
      1e-7F,     -0.0F,          3.4028235e38F,
      1.4e-45F,  1.1754944e-38F, std::bit_cast<float>(0x15AE43FDU) /* its shortest text misreads */,
      1000.001F, -99999.9F};
  for (int ch = 0; ch < 4; ++ch) {
    TChanSet& c = r.ChanSet[ch];
    c.Aprox = static_cast<std::uint8_t>(ch + 2);
    c.AdcTime = static_cast<std::uint8_t>(10 + ch);
    c.PointTime = static_cast<std::uint8_t>(66 + ch);
    float* f = &c.Point0;  // packed: copied through bytes, never referenced
    for (int k = 0; k < 11; ++k) {
      const float v = floats[(k + ch) % 11];
      std::memcpy(reinterpret_cast<std::uint8_t*>(f) + 4 * k, &v, 4);
    }
    c.AdcMin = static_cast<std::uint16_t>(100 + ch);
    c.AdcMax = static_cast<std::uint16_t>(1020 + ch);
    c.AdcHist = static_cast<std::uint8_t>(250 + ch);
    c.OutZero = static_cast<std::uint16_t>(4092 + ch);
    r.ChanAux[ch].SensTestHist = 0.75F + static_cast<float>(ch);
  }
  TSysSet& s = r.SysSet;
  s.Number = 9999;
  s.Year = 26;
  s.RS485_WrLock = 1;
  s.RS485_En = 0;
  s.RS485_speed = 5;
  s.RS485_adres = 247;
  s.CAN_En = 1;
  s.Pres = 0;
  s.CAN_0 = 1;
  s.CAN_1 = 0;
  s.CAN_2 = 1;
  s.CAN_3 = 1;
  s.CAN_Speed = 6;
  s.CAN_adres = 65534;
  s.CAN_Time = 59;
  for (int i = 0; i < 20; ++i) s.Logic[i] = static_cast<std::uint8_t>(i % 12 | ((i + 5) % 12) << 4);
  s.Time_Start = 149;
  s.Time_Point = 3;
  return r;
}

std::vector<TextProblem> FromJson(const std::string& text, TModuleSettings& r, TextRules rules) {
  std::vector<TextProblem> problems;
  const auto values = ParseSettingsJson(text, problems);
  return problems.empty() ? ApplyFields(values, r, rules) : problems;
}

std::vector<TextProblem> FromLines(const std::string& text, TModuleSettings& r, TextRules rules) {
  std::vector<FieldValue> values;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    TextProblem problem;
    const auto v = ParseAssignment(line, problem);
    if (!v) return {problem};
    values.push_back(*v);
  }
  return ApplyFields(values, r, rules);
}

std::string Joined(const std::vector<TextProblem>& problems) {
  std::string s;
  for (const auto& p : problems) s += p.where + ": " + p.message + "\n";
  return s;
}

TEST(SettingsText, BothFormsReadBackToTheSameBytes) {
  const TModuleSettings valid = Valid();
  for (const auto rules : {TextRules::Dialogs, TextRules::AsIs}) {
    TModuleSettings fromJson{}, fromLines{};
    EXPECT_EQ(Joined(FromJson(SettingsJson(valid), fromJson, rules)), "");
    EXPECT_EQ(Joined(FromLines(SettingsLines(valid), fromLines, rules)), "");
    EXPECT_TRUE(Same(fromJson, valid));
    EXPECT_TRUE(Same(fromLines, valid));
  }

  // Any bytes at all (NaNs, flags of 7, nibbles of 15) come back as they stand; through the
  // dialogs' rules they come back exactly or not at all.
  std::mt19937 random(19);
  for (int round = 0; round < 50; ++round) {
    TModuleSettings any;
    auto* bytes = reinterpret_cast<std::uint8_t*>(&any);
    for (std::size_t i = 0; i < sizeof any; ++i) bytes[i] = static_cast<std::uint8_t>(random());
    TModuleSettings asIs{}, lines{}, dialogs{};
    ASSERT_EQ(Joined(FromJson(SettingsJson(any), asIs, TextRules::AsIs)), "");
    ASSERT_EQ(Joined(FromLines(SettingsLines(any), lines, TextRules::AsIs)), "");
    EXPECT_TRUE(Same(asIs, any) && Same(lines, any)) << round;
    const bool refused = !FromJson(SettingsJson(any), dialogs, TextRules::Dialogs).empty();
    EXPECT_TRUE(Same(dialogs, refused ? TModuleSettings{} : any)) << round;
  }
  const std::string json = SettingsJson(valid);
  EXPECT_NE(json.find("\n  \"ch1.AdcTime\": 10,\n  \"ch1.AdcTime.s\": 5.5,\n"), std::string::npos);
  EXPECT_NE(json.find("\"ch1.Point0\": 0.1,"), std::string::npos);
  EXPECT_NE(json.find("\"sys.RS485_speed.bps\": 115200,"), std::string::npos);
  EXPECT_NE(json.find("\"sys.Time_Start.s\": 30.0,"), std::string::npos);
}

TEST(SettingsText, ValuesTheDialogsWouldNotStoreAreRefusedAndNothingChanges) {
  const auto message = [](const char* m) { return std::string(m).substr(2); };  // without "\n\r"
  struct Case {
    const char* text;  // fields inside the braces
    const char* where;
    std::string message;
    bool asIsStores;  // a value the dialogs refuse but the record can hold
  };
  const Case cases[] = {
      {R"("ch1.AdcMin": 1024)", "ch1.AdcMin", message(kAdcMinMessage), true},
      {R"("ch2.AdcMax": 99)", "ch2.AdcMin, ch2.AdcMax", message(kAdcOrderMessage), true},
      {R"("ch3.AdcHist": 5, "ch3.AdcMin": 500, "ch3.AdcMax": 504)", "ch3.AdcMin, ch3.AdcMax, ch3.AdcHist",
       message(kAdcSpanMessage), true},
      {R"("ch4.PointTime.s": 35.5)", "ch4.PointTime", kPointTimeMessage, true},
      {R"("ch1.AdcTime": 70)", "ch1.AdcTime", message(kAdcTimeMessage), true},
      {R"("ch2.OutZero": 4096)", "ch2.OutZero", message(kOutZeroMessage), true},
      {R"("ch3.Aprox.depth": 11)", "ch3.Aprox.depth = 11", "the dialog takes 0 to 9 (depth 1 to 10)", true},
      {R"("sys.RS485_adres": 0)", "sys.RS485_adres = 0", "the dialog takes 1 to 247", true},
      {R"("sys.CAN_adres": 65535)", "sys.CAN_adres = 65535", "the dialog takes 0 to 65534", true},
      {R"("sys.CAN_Time.s": 30.5)", "sys.CAN_Time.s = 30.5", "the dialog takes 0.5 to 30.0 s in steps of 0.5",
       true},
      {R"("sys.RS485_speed": 6)", "sys.RS485_speed = 6", "the dialog takes 0 to 5", true},
      {R"("sys.Logic.sys.ev7": 12)", "sys.Logic.sys.ev7 = 12", "the dialog takes 0 (none) to 11", true},
      {R"("sys.Time_Point.s": 30.2)", "sys.Time_Point.s = 30.2",
       "the dialog takes 0.2 to 30.0 s in steps of 0.2", true},
      {R"("sys.Time_Point": 150)", "sys.Time_Point = 150", "the dialog takes 0 to 149 (0.2 to 30.0 s)", true},
      {R"("sys.CAN_En": 2)", "sys.CAN_En = 2", "the dialog takes true or false", true},
      {R"("sys.Number": 10000)", "sys.Number = 10000", "the main window's field takes 0 to 9999", true},
      {R"("ch1.Point0": "0x7FC00000")", "ch1.Point0", "the dialog takes only numbers", true},
      // What no field can hold, whatever the rules.
      {R"("ch1.AdcMin": 1.25e1)", "ch1.AdcMin = 1.25e1", "a whole number expected", false},
      {R"("ch1.Point0": 1e999)", "line 1, column 16", "a number beyond any field's range", false},
      {R"("ch1.Point0": 1e-999)", "ch1.Point0 = 1e-999", "the exponent is beyond any field's range", false},
      {R"("sys.Year": 05)", "line 1, column 14", "a number in JSON does not start with 0", false},
      {R"("ch1.Point0": "12,5")", "ch1.Point0 = \"12,5\"", "a number expected", false},
      {R"("ch1.AdcMin": 12.5)", "ch1.AdcMin = 12.5", "a whole number expected", false},
      {R"("ch1.AdcMin": 65536)", "ch1.AdcMin", message(kAdcMinMessage), false},
      {R"("ch1.AdcHist": 300)", "ch1.AdcHist", message(kAdcHistMessage), false},
      {R"("ch1.PointTime.s": 0.0)", "ch1.PointTime", kPointTimeMessage, false},
      {R"("sys.CAN_adres": 70000)", "sys.CAN_adres = 70000", "does not fit its field (0 to 65535)", false},
      {R"("ch2.Point3": 1000000000000000000000000000000000000000)",
       "ch2.Point3 = 1000000000000000000000000000000000000000", "too large for a float", false},
      {R"("ch1.In_2": 1.5)", "ch1.In_2 = 1.5", "true or false expected", false},
      {R"("ch1.AdcTime.s": 2.3)", "ch1.AdcTime.s = 2.3", "the dialog takes 0.5 to 35.0 s in steps of 0.5",
       false},
      {R"("sys.Time_Start.s": 1.9999999)", "sys.Time_Start.s = 1.9999999",
       "the dialog takes 0.2 to 30.0 s in steps of 0.2", false},
      {R"("sys.CAN_Speed.kbps": 300)", "sys.CAN_Speed.kbps = 300", "not one of the listed speeds", false},
      {R"("ch1.Format.pattern": "#,###")", "ch1.Format.pattern = \"#,###\"", "not one of #.###", false},
      {R"("sys.LedTenu.ch2.Al": "0101")", "sys.LedTenu.ch2.Al = \"0101\"", "eight 0s and 1s", false},
      {R"("aux1.Reserved0": "00")", "aux1.Reserved0 = \"00\"", "24 hex digits expected", false},
      {R"("ch5.Point0": 1)", "ch5.Point0", "no such field", false},
      {R"("ch1.AdcTime": 3, "ch1.AdcTime.s": 2.5)", "ch1.AdcTime.s = 2.5", "disagrees with ch1.AdcTime = 3",
       false},
      {R"("sys.Year": 5, "sys.Year": 5)", "sys.Year", "given twice", false},
      {R"("sys.Year": 5,
          "sys.Number" 7)",
       "line 2, column 24", "':' expected", false},
      {R"("sys.Year": [5])", "line 1, column 14", "a field takes a number, a text, true or false", false},
      {R"("sys.Year": 5} x)", "line 1, column 17", "text after the closing brace", false},
      {R"("sys.Year": null)", "line 1, column 14", "a number, a text in double quotes, true or false", false},
      {R"("ch1.Format.pattern": "#.\q")", "line 1, column 28", "unknown escape in a text", false},
  };
  const TModuleSettings base = Valid();
  for (const Case& c : cases) {
    const std::string text = std::string("{") + c.text + "}";
    TModuleSettings r = base;
    const auto problems = FromJson(text, r, TextRules::Dialogs);
    bool named = false;
    for (const auto& p : problems) named = named || (p.where == c.where && p.message.find(c.message) == 0);
    EXPECT_TRUE(named) << c.text << "\n" << Joined(problems);
    EXPECT_TRUE(Same(r, base)) << c.text;
    const bool stored = FromJson(text, r, TextRules::AsIs).empty();
    EXPECT_EQ(stored, c.asIsStores) << c.text;
    EXPECT_EQ(Same(r, base), !stored) << c.text;
  }

  // Texts that are no object of fields, each pointed at where it goes wrong.
  const struct {
    std::string text, where, message;
  } texts[] = {
      {"   ", "line 1, column 4", "'{' expected"},
      {R"({"a": tru})", "line 1, column 7", "a number, a text in double quotes, true or false expected"},
      {R"({"sys.Year" 1999})", "line 1, column 13", "':' expected"},
      {R"({"sys.Year": 5)", "line 1, column 15", "the text ends before its closing brace"},
      {std::string(R"({"sys.Year": 5})") + '\0' + "x", "line 1, column 16", "a NUL character in the text"},
  };
  for (const auto& t : texts) {
    std::vector<TextProblem> problems;
    EXPECT_TRUE(ParseSettingsJson(t.text, problems).empty());
    ASSERT_EQ(problems.size(), 1U) << t.text;
    EXPECT_EQ(problems[0].where + ": " + problems[0].message, t.where + ": " + t.message);
  }

  // Out of the dialog's range is refused even where the record already holds the value.
  TModuleSettings odd = base;
  odd.ChanSet[0].Aprox = 12;
  odd.SysSet.CAN_adres = 65535;
  odd.SysSet.Number = 12345;
  TModuleSettings r = odd;
  EXPECT_EQ(
      FromJson(R"({"ch1.Aprox": 12, "sys.CAN_adres": 65535, "sys.Number": 12345})", r, TextRules::Dialogs)
          .size(),
      3U);
}

TEST(SettingsText, APartialTextChangesOnlyItsFields) {
  TModuleSettings base = Valid();
  base.SysSet.RS485_En = 2;  // an odd flag the interface dialog would tidy on its accept
  TModuleSettings r = base;
  const std::string text = R"({"ch2.Point1": 7.25, "sys.CAN_Speed.kbps": 125, "ch3.AdcTime.s": 4.5,
                               "sys.Logic.ch4.ev3": 11, "sys.LedTenu.sys.W2": "10000001",
                               "aux4.Reserved1": "00112233445566778899aabbccddeeff", "ch1.In_3": true})";
  ASSERT_EQ(Joined(FromJson(text, r, TextRules::Dialogs)), "");
  TModuleSettings want = base;
  want.ChanSet[1].Point1 = 7.25F;
  want.SysSet.CAN_Speed = 4;
  want.ChanSet[2].AdcTime = 8;
  want.SysSet.Logic[4 * 3 + 1] = static_cast<std::uint8_t>((want.SysSet.Logic[13] & 0x0F) | 11 << 4);
  want.SysSet.LedTenu[13] = 0x81;
  for (int i = 0; i < 16; ++i) want.ChanAux[3].Reserved1[i] = static_cast<std::uint8_t>(i * 0x11);
  want.ChanSet[0].Format |= 0x80;
  EXPECT_TRUE(Same(r, want)) << SettingsLines(r);
}

TEST(SettingsText, NumbersWithAnExponentReadAsTheirDigits) {
  // As other programs write them: each float's shortest scientific form goes into the field it
  // means, or is refused where the rules' reading through a double would land elsewhere.
  const TModuleSettings valid = Valid();
  for (int k = 0; k < 11; ++k) {
    float value;
    std::memcpy(&value, reinterpret_cast<const std::uint8_t*>(&valid.ChanSet[0].Point0) + 4 * k, 4);
    char text[32];
    *std::to_chars(text, text + sizeof text - 1, value, std::chars_format::scientific).ptr = '\0';
    TModuleSettings r = valid;
    const auto problems = FromJson(std::string(R"({"ch1.Point0": )") + text + "}", r, TextRules::Dialogs);
    const bool misread = std::bit_cast<std::uint32_t>(value) == 0x15AE43FDU;
    EXPECT_EQ(problems.empty(), !misread) << text << "\n" << Joined(problems);
    if (problems.empty()) {
      EXPECT_EQ(std::bit_cast<std::uint32_t>(+r.ChanSet[0].Point0), std::bit_cast<std::uint32_t>(value))
          << text;
    }
  }
  TModuleSettings r = Valid();
  ASSERT_EQ(Joined(FromJson(R"({"sys.CAN_adres": 1.2e3, "ch4.PointTime.s": 25E-1, "ch2.Point1": -1.5e+2})", r,
                            TextRules::Dialogs)),
            "");
  EXPECT_EQ(r.SysSet.CAN_adres, 1200);
  EXPECT_EQ(r.ChanSet[3].PointTime, 4);
  EXPECT_EQ(+r.ChanSet[1].Point1, -150.0F);
  EXPECT_NE(SettingsJson(r).find("\"ch2.Point1\": -150,"), std::string::npos) << "shown without the exponent";
}

TEST(SettingsText, ComparisonFollowsWhatEachSideCanHold) {
  TModuleSettings a = Valid();
  a.ChanSet[0].Point3 = 0.001F;
  a.ChanSet[1].Point2 = 1000.0F;  // bit 8 is 0.0156 here: the dialogs show it
  struct Case {
    const char* name;
    void (*change)(TModuleSettings&);
    const char* field;  // the difference in every scope that sees it
    bool file, module, written;
  };
  const Case cases[] = {
      {"low byte of a float",
       [](TModuleSettings& r) { reinterpret_cast<std::uint8_t*>(&r.ChanSet[1].Point2)[0] ^= 0x7F; },
       "ch2.Point2", true, false, false},
      {"bit 8 of a float",
       [](TModuleSettings& r) { reinterpret_cast<std::uint8_t*>(&r.ChanSet[1].Point2)[1] ^= 1; },
       "ch2.Point2", true, true, true},
      // A module holds it, but the dialogs show both alike ("%f": 0.001000): verify does not count it.
      {"a float below what the dialogs show",
       [](TModuleSettings& r) {
         r.ChanSet[0].Point3 = 0.001F;
         reinterpret_cast<std::uint8_t*>(&r.ChanSet[0].Point3)[1] ^= 1;
       },
       "ch1.Point3", true, true, false},
      {"auxiliary byte", [](TModuleSettings& r) { r.ChanAux[2].Reserved0[11] ^= 1; }, "aux3.Reserved0", true,
       false, false},
      {"module number", [](TModuleSettings& r) { r.SysSet.Number = 1; }, "sys.Number", true, true, false},
      {"logic nibble", [](TModuleSettings& r) { r.SysSet.Logic[19] ^= 0x10; }, "sys.Logic.sys.ev7", true,
       true, true},
  };
  for (const Case& c : cases) {
    TModuleSettings b = a;
    c.change(b);
    const bool expected[] = {c.file, c.module, c.written};
    int i = 0;
    for (const auto scope : {CompareScope::File, CompareScope::Module, CompareScope::Written}) {
      const auto d = CompareSettings(a, b, scope);
      EXPECT_EQ(d.size(), expected[i] ? 1U : 0U) << c.name << " scope " << i;
      if (expected[i] && d.size() == 1) {
        EXPECT_EQ(d[0].name, c.field) << c.name;
      }
      ++i;
    }
  }
  const auto d = CompareSettings(
      a,
      [&] {
        TModuleSettings b = a;
        b.SysSet.CAN_Time = 7;
        return b;
      }(),
      CompareScope::File);
  ASSERT_EQ(d.size(), 1U);
  EXPECT_EQ(d[0].a + " | " + d[0].b, "59 | 7");
}

// Reads of a module are taken when two agree; a third decides between two that do not.
TEST(SettingsText, ReadsAreTakenWhenTwoAgree) {
  TModuleSettings a = Valid(), b = a, c = a;
  b.ChanSet[2].AdcMin ^= 4;
  c.SysSet.CAN_Time ^= 1;
  struct Case {
    std::vector<TModuleSettings> reads;
    int wanted;
    ReadsVerdict verdict;
  };
  const Case cases[] = {
      {{a}, 1, ReadsVerdict::Taken},           {{a}, 2, ReadsVerdict::ReadAgain},
      {{a, a}, 2, ReadsVerdict::Taken},        {{a, b}, 2, ReadsVerdict::ReadAgain},
      {{a, b, b}, 2, ReadsVerdict::Taken},     {{a, b, a}, 2, ReadsVerdict::Taken},
      {{a, b, c}, 2, ReadsVerdict::Undecided},
  };
  for (const Case& k : cases) EXPECT_EQ(JudgeReads(k.reads, k.wanted), k.verdict) << k.reads.size();
  EXPECT_EQ(ReadsDiffer(a, b, c), "\n  ch3.AdcMin: " + std::to_string(a.ChanSet[2].AdcMin) + " | " +
                                      std::to_string(b.ChanSet[2].AdcMin) + " | " +
                                      std::to_string(a.ChanSet[2].AdcMin) + "\n  sys.CAN_Time: 59 | 59 | 58");
}

}  // namespace
