// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/chanel_rules.h"

#include <algorithm>

#include "settings/c_format.h"
#include "settings/text_number.h"

namespace {

// Characters each text field's conversion reads.
constexpr std::size_t kFloatChars = 8;
constexpr std::size_t kHistChars = 5;
constexpr std::size_t kMaskChars = 4;
constexpr std::size_t kAdcHistChars = 3;
constexpr std::int64_t kAdcLimit = 1023;
constexpr std::int64_t kAdcHistLimit = 255;
constexpr std::int64_t kTimeCodeLimit = 69;

}  // namespace

ChanTexts ChanelTexts(const TChanSet& c) {
  const auto f = [](float value) { return CFormat("%8f", static_cast<double>(value)); };
  const auto u = [](const char* format, unsigned value) { return CFormat(format, value); };
  return {f(c.Point0),
          f(c.Point1),
          f(c.Point2),
          f(c.Point3),
          CFormat("%5f", static_cast<double>(c.PointHist)),
          HalfSecondText(c.PointTime),
          u("%4u", c.AdcMin),
          u("%4u", c.AdcMax),
          u("%3u", c.AdcHist),
          HalfSecondText(c.AdcTime),
          f(c.ParamCurr_B),
          f(c.ParamCoff_A),
          f(c.ParamCoff_B),
          f(c.OutCoff_A),
          f(c.OutCoff_B),
          f(c.OutCurrMax),
          u("%4u", c.OutZero)};
}

std::vector<ChanelRefusal> AcceptChanelFields(TChanSet& c, const ChanelEntry& e) {
  std::vector<ChanelRefusal> refusals;
  const auto refused = [&](const char* message, std::vector<ChanText> fields) {
    refusals.push_back({message, std::move(fields)});
  };
  const auto chars = [&](std::size_t dialog) { return e.wholeTexts ? std::string::npos : dialog; };
  const std::size_t floatChars = chars(kFloatChars), maskChars = chars(kMaskChars);
  const auto byte = [](std::int64_t v) { return static_cast<std::uint8_t>(v); };
  const auto word = [](std::int64_t v) { return static_cast<std::uint16_t>(v); };
  if (e.format && *e.format >= 0 && *e.format < kFormatItems) c.Format = byte((c.Format & ~0x03) | *e.format);
  if (e.aprox && *e.aprox >= 0 && *e.aprox < kAproxItems) c.Aprox = byte(*e.aprox);
  c.Point0 = FloatEntry(c.Point0, e.text[kPoint0], floatChars);
  c.Point1 = FloatEntry(c.Point1, e.text[kPoint1], floatChars);
  c.Point2 = FloatEntry(c.Point2, e.text[kPoint2], floatChars);
  c.Point3 = FloatEntry(c.Point3, e.text[kPoint3], floatChars);
  for (int n = 0; n < 4; ++n) {
    const int bit = 0x10 << n;
    if (e.inverted[n]) c.Format = byte(*e.inverted[n] ? c.Format | bit : c.Format & ~bit);
  }
  c.PointHist = FloatEntry(c.PointHist, e.text[kPointHist], chars(kHistChars));
  if (const auto v = HalfSecondEntry(c.PointTime, e.text[kPointTime], maskChars, kTimeCodeLimit))
    c.PointTime = byte(*v);
  else
    refused(kPointTimeMessage, {kPointTime});
  if (const auto v = CountEntry(c.AdcMin, e.text[kAdcMin], maskChars, kAdcLimit))
    c.AdcMin = word(*v);
  else
    refused(kAdcMinMessage, {kAdcMin});
  if (const auto v = CountEntry(c.AdcMax, e.text[kAdcMax], maskChars, kAdcLimit))
    c.AdcMax = word(*v);
  else
    refused(kAdcMaxMessage, {kAdcMax});
  if (!(c.AdcMin < c.AdcMax)) refused(kAdcOrderMessage, {kAdcMin, kAdcMax});
  if (const auto v = CountEntry(c.AdcHist, e.text[kAdcHist], chars(kAdcHistChars), kAdcHistLimit))
    c.AdcHist = byte(*v);
  else
    refused(kAdcHistMessage, {kAdcHist});
  if (int{c.AdcMax} - int{c.AdcMin} < int{c.AdcHist}) refused(kAdcSpanMessage, {kAdcMin, kAdcMax, kAdcHist});
  if (const auto v = HalfSecondEntry(c.AdcTime, e.text[kAdcTime], maskChars, kTimeCodeLimit))
    c.AdcTime = byte(*v);
  else
    refused(kAdcTimeMessage, {kAdcTime});
  c.ParamCurr_B = FloatEntry(c.ParamCurr_B, e.text[kParamCurr_B], floatChars);
  c.ParamCoff_A = FloatEntry(c.ParamCoff_A, e.text[kParamCoff_A], floatChars);
  c.ParamCoff_B = FloatEntry(c.ParamCoff_B, e.text[kParamCoff_B], floatChars);
  c.OutCoff_A = FloatEntry(c.OutCoff_A, e.text[kOutCoff_A], floatChars);
  c.OutCoff_B = FloatEntry(c.OutCoff_B, e.text[kOutCoff_B], floatChars);
  c.OutCurrMax = FloatEntry(c.OutCurrMax, e.text[kOutCurrMax], floatChars);
  if (const auto v = CountEntry(c.OutZero, e.text[kOutZero], maskChars, kOutZeroMax))
    c.OutZero = word(*v);
  else
    refused(kOutZeroMessage, {kOutZero});
  return refusals;
}

std::string AcceptChanel(TChanSet& c, const ChanelEntry& e) {
  std::string messages;
  for (const ChanelRefusal& r : AcceptChanelFields(c, e)) messages += r.message;
  return messages;
}

std::uint16_t OutZeroFromText(const std::string& text) {
  const std::int64_t value = FloorAsSingle(TextToNumber(text, kMaskChars));
  return static_cast<std::uint16_t>(std::clamp<std::int64_t>(value, 0, kOutZeroMax));
}
