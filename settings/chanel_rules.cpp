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

float* Points(TChanSet& c, int n) {
  float* const points[] = {&c.Point0, &c.Point1, &c.Point2, &c.Point3};
  return points[n];
}

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

std::string AcceptChanel(TChanSet& c, const ChanelEntry& e) {
  std::string messages;
  const auto check = [&](bool passed, const char* message) {
    if (!passed) messages += message;
  };
  if (e.format && *e.format >= 0 && *e.format < kFormatItems)
    c.Format = static_cast<std::uint8_t>((c.Format & ~0x03) | *e.format);
  if (e.aprox && *e.aprox >= 0 && *e.aprox < kAproxItems) c.Aprox = static_cast<std::uint8_t>(*e.aprox);
  for (int n = 0; n < 4; ++n) {
    TakeFloat(*Points(c, n), e.text[kPoint0 + n], kFloatChars);
    const auto bit = static_cast<std::uint8_t>(0x10 << n);
    if (e.inverted[n])
      c.Format = static_cast<std::uint8_t>(*e.inverted[n] ? c.Format | bit : c.Format & ~bit);
  }
  TakeFloat(c.PointHist, e.text[kPointHist], kHistChars);
  check(TakeHalfSecondCode(c.PointTime, e.text[kPointTime], kMaskChars, kTimeCodeLimit), kPointTimeMessage);
  check(TakeCount(c.AdcMin, e.text[kAdcMin], kMaskChars, kAdcLimit), kAdcMinMessage);
  check(TakeCount(c.AdcMax, e.text[kAdcMax], kMaskChars, kAdcLimit), kAdcMaxMessage);
  check(c.AdcMin < c.AdcMax, kAdcOrderMessage);
  check(TakeCount(c.AdcHist, e.text[kAdcHist], kAdcHistChars, kAdcHistLimit), kAdcHistMessage);
  check(int{c.AdcMax} - int{c.AdcMin} >= int{c.AdcHist}, kAdcSpanMessage);
  check(TakeHalfSecondCode(c.AdcTime, e.text[kAdcTime], kMaskChars, kTimeCodeLimit), kAdcTimeMessage);
  TakeFloat(c.ParamCurr_B, e.text[kParamCurr_B], kFloatChars);
  TakeFloat(c.ParamCoff_A, e.text[kParamCoff_A], kFloatChars);
  TakeFloat(c.ParamCoff_B, e.text[kParamCoff_B], kFloatChars);
  TakeFloat(c.OutCoff_A, e.text[kOutCoff_A], kFloatChars);
  TakeFloat(c.OutCoff_B, e.text[kOutCoff_B], kFloatChars);
  TakeFloat(c.OutCurrMax, e.text[kOutCurrMax], kFloatChars);
  check(TakeCount(c.OutZero, e.text[kOutZero], kMaskChars, kOutZeroMax), kOutZeroMessage);
  return messages;
}

std::uint16_t OutZeroFromText(const std::string& text) {
  const std::int64_t value = FloorAsSingle(TextToNumber(text, kMaskChars));
  return static_cast<std::uint16_t>(std::clamp<std::int64_t>(value, 0, kOutZeroMax));
}
