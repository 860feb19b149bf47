// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/exchange_record.h"

#include "link/wall_clock.h"
#include "settings/c_format.h"
#include "settings/user_text.h"

void ExchangeRecord::Sent(const std::uint8_t* data, int length) {
  End();
  open_ = true;
  current_ = Exchange{};
  current_.sent = clock_();
  sentAt_ = timer_();
  current_.request.assign(data, data + length);
  counters_.bytesOut += static_cast<std::uint64_t>(length);
}

void ExchangeRecord::Received(std::uint8_t byte) {
  ++counters_.bytesIn;
  if (!open_) return;
  if (current_.answer.size() < kAnswerKept) current_.answer.push_back(byte);
  lastByte_ = timer_();
}

void ExchangeRecord::End() {
  if (!open_) return;
  open_ = false;
  current_.verdict = JudgeAnswer(current_.request, current_.answer);
  if (!current_.answer.empty())
    current_.roundTripMs = std::chrono::duration<double, std::milli>(lastByte_ - sentAt_).count();
  ++counters_.exchanges;
  switch (current_.verdict) {
    case Verdict::Answered:
      ++counters_.answered;
      counters_.lastRoundTripMs = current_.roundTripMs;
      break;
    case Verdict::NoAnswer:
      ++counters_.noAnswer;
      break;
    case Verdict::Cut:
      ++counters_.cut;
      break;
    case Verdict::Garbled:
      ++counters_.garbled;
      break;
    case Verdict::Refused:
      ++counters_.refused;
      break;
  }
  if (entries_.size() == kKept) entries_.pop_front();
  entries_.push_back(std::move(current_));
  if (OnExchange) OnExchange(entries_.back());
}

const char* VerdictText(Verdict verdict) {
  switch (verdict) {
    case Verdict::Answered:
      return VEXA_TR_NOOP("Messages", "ответ");
    case Verdict::NoAnswer:
      return VEXA_TR_NOOP("Messages", "нет ответа");
    case Verdict::Cut:
      return VEXA_TR_NOOP("Messages", "обрезан");
    case Verdict::Garbled:
      return VEXA_TR_NOOP("Messages", "искажен или чужой");
    case Verdict::Refused:
      return VEXA_TR_NOOP("Messages", "отказ");
  }
  return "";
}

std::string ClockText(std::chrono::system_clock::time_point time) {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count();
  const std::tm local = LocalTime(ms / 1000);
  return CFormat("%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min, local.tm_sec,
                 static_cast<int>(ms % 1000));
}

std::string ExchangeLine(const Exchange& exchange) {
  std::string line = ClockText(exchange.sent) + "  " + HexBytes(exchange.request) + "  ->  " +
                     (exchange.answer.empty() ? std::string("-") : HexBytes(exchange.answer)) + "  " +
                     Translated("Messages", VerdictText(exchange.verdict));
  if (!exchange.answer.empty())
    line += CFormat(Translated("Messages", "  %.1f мс").c_str(), exchange.roundTripMs);
  return line;
}
