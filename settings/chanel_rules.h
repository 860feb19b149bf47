// SPDX-License-Identifier: GPL-3.0-or-later
// The channel dialog's fields of a channel block: the texts its fill shows, and the rules by which
// its accept step stores what the user entered, with the messages for refused values.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "settings/field_rules.h"
#include "settings/module_settings.h"
#include "settings/user_text.h"

// The text fields of the dialog, in the order of its fill and accept.
enum ChanText : int {
  kPoint0,
  kPoint1,
  kPoint2,
  kPoint3,
  kPointHist,
  kPointTime,
  kAdcMin,
  kAdcMax,
  kAdcHist,
  kAdcTime,
  kParamCurr_B,
  kParamCoff_A,
  kParamCoff_B,
  kOutCoff_A,
  kOutCoff_B,
  kOutCurrMax,
  kOutZero,
  kChanTextCount
};

using ChanTexts = std::array<std::string, kChanTextCount>;

// What the dialog's controls hold when it accepts. An empty item keeps the record's value: a list
// without a valid selection, or a text the user left as the fill showed it.
struct ChanelEntry {
  std::optional<int> format;                    // display format item, 0..3
  std::optional<int> aprox;                     // averaging depth item, 0..9
  std::array<std::optional<bool>, 4> inverted;  // set-point inversion flags
  std::array<FieldEntry, kChanTextCount> text;
  // vexa_cli reads each text whole; the dialog reads as far as its field reaches.
  bool wholeTexts = false;
};

inline constexpr std::array<const char*, 4> kFormatPatterns = {"#.###", "##.##", "###.#", "####"};
inline constexpr int kFormatItems = static_cast<int>(kFormatPatterns.size());
inline constexpr int kAproxItems = 10;
inline constexpr int kOutZeroMax = 4095;

inline constexpr const char* kPointTimeMessage =
    VEXA_TR_NOOP("Messages", "Неверное значение времени реакции выхода за уставки");
inline constexpr const char* kAdcMinMessage =
    VEXA_TR_NOOP("Messages", "\n\rНеверное значение минимального уровня АЦП");
inline constexpr const char* kAdcMaxMessage =
    VEXA_TR_NOOP("Messages", "\n\rНеверное значение максимального уровня АЦП");
inline constexpr const char* kAdcOrderMessage =
    VEXA_TR_NOOP("Messages", "\n\rМинимальный уровень АЦП не должен быть больше максимального");
inline constexpr const char* kAdcHistMessage =
    VEXA_TR_NOOP("Messages", "\n\rНеверное значение гистерезиса уровня АЦП");
inline constexpr const char* kAdcSpanMessage = VEXA_TR_NOOP(
    "Messages", "\n\rРазница между мин. и максим. уровнем АЦП не должно быть больше гистерезиса");
inline constexpr const char* kAdcTimeMessage =
    VEXA_TR_NOOP("Messages", "\n\rНеверное значение времени реакции на выход датчика из строя");
inline constexpr const char* kOutZeroMessage =
    VEXA_TR_NOOP("Messages", "\n\rНеверное значение смещения нуля аналогового выхода");

// The texts the fill shows for a block.
ChanTexts ChanelTexts(const TChanSet& chan);

// A value the accept refused: its message and the text fields it concerns (two or three for the
// checks between the ADC fields).
struct ChanelRefusal {
  const char* message;
  std::vector<ChanText> fields;
};

// Stores the entry into the block in the dialog's order. Refused values leave their field as it
// was; the result lists the refusals in order, empty when everything passed.
std::vector<ChanelRefusal> AcceptChanelFields(TChanSet& chan, const ChanelEntry& entry);

// The same with the refusals' messages appended as the dialog shows them (each but the first of
// the table starts with "\n\r").
std::string AcceptChanel(TChanSet& chan, const ChanelEntry& entry);

// The output test's zero offset: the number read from 4 characters, floored, at most 4095.
std::uint16_t OutZeroFromText(const std::string& text);
