// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/exchange_record.h"

#include "link/wall_clock.h"
#include "settings/c_format.h"
#include "settings/user_text.h"

void ExchangeRecord::Sent(const std::uint8_t* data, int length) {
  End();
  restBefore_ = restOpen_;
  restOpen_ = false;
  if (!restBefore_) rest_.clear();
  open_ = true;
  current_ = Exchange{};
  current_.sent = clock_();
  sentAt_ = timer_();
  current_.request.assign(data, data + length);
  counters_.bytesOut += static_cast<std::uint64_t>(length);
}

void ExchangeRecord::Received(std::uint8_t byte) {
  ++counters_.bytesIn;
  if (open_) {
    if (current_.answer.size() < kAnswerKept) current_.answer.push_back(byte);
    lastByte_ = timer_();
    return;
  }
  // Perhaps the rest of an answer taken as cut: kept aside until it makes that answer whole, and
  // dropped when it cannot.
  if (!restOpen_ || entries_.empty() || entries_.back().verdict != Verdict::Cut) return;
  rest_.push_back(byte);
  Exchange& last = entries_.back();
  const Rest rest = Joined(last, rest_);
  if (rest == Rest::Partial) return;
  restOpen_ = false;
  if (rest == Rest::Whole) {
    last.answer.insert(last.answer.end(), rest_.begin(), rest_.end());
    FoundLate(last);
  }
  rest_.clear();
}

ExchangeRecord::Rest ExchangeRecord::Joined(const Exchange& cut, std::span<const std::uint8_t> rest) {
  std::vector<std::uint8_t> whole = cut.answer;
  whole.insert(whole.end(), rest.begin(), rest.end());
  const Verdict verdict = JudgeAnswer(cut.request, whole);
  if (verdict == Verdict::Answered || verdict == Verdict::Refused) return Rest::Whole;
  return verdict == Verdict::Cut && whole.size() < kAnswerKept ? Rest::Partial : Rest::None;
}

bool ExchangeRecord::TakeRest(Exchange& cut, const std::vector<std::uint8_t>& before, const Exchange& next) {
  std::vector<std::uint8_t> rest = before;
  for (std::size_t i = 0; i < next.answer.size(); ++i) {
    rest.push_back(next.answer[i]);
    const Rest joined = Joined(cut, rest);
    if (joined == Rest::None) return false;
    if (joined == Rest::Partial) continue;
    // What follows must be an answer to the next request, at least its head, or nothing (its own
    // answer lost): a garbled answer alone can fill the cut one's length without being its rest.
    const std::span<const std::uint8_t> own(next.answer.data() + i + 1, next.answer.size() - i - 1);
    if (JudgeAnswer(next.request, own) == Verdict::Garbled) return false;
    cut.answer.insert(cut.answer.end(), rest.begin(), rest.end());
    return true;
  }
  return false;
}

void ExchangeRecord::FoundLate(Exchange& exchange) {
  Count(Verdict::Cut, -1);
  exchange.verdict = Verdict::Late;
  Count(Verdict::Late, 1);
  if (OnExchange) OnExchange(exchange);
}

void ExchangeRecord::End() {
  if (!open_) return;
  open_ = false;
  current_.verdict = JudgeAnswer(current_.request, current_.answer);
  if (!current_.answer.empty())
    current_.roundTripMs = std::chrono::duration<double, std::milli>(lastByte_ - sentAt_).count();
  // A request that went out before the rest of a cut answer came gets that rest first: the cut one
  // was late, and this one's answer another request's.
  const bool late = restBefore_ && current_.verdict == Verdict::Garbled && !entries_.empty() &&
                    entries_.back().verdict == Verdict::Cut && TakeRest(entries_.back(), rest_, current_);
  restBefore_ = false;
  rest_.clear();
  if (late) FoundLate(entries_.back());
  ++counters_.exchanges;
  Count(current_.verdict, 1);
  if (current_.verdict == Verdict::Answered) counters_.lastRoundTripMs = current_.roundTripMs;
  restOpen_ = current_.verdict == Verdict::Cut;
  if (entries_.size() == kKept) entries_.pop_front();
  entries_.push_back(std::move(current_));
  ++recorded_;
  if (OnExchange) OnExchange(entries_.back());
}

void ExchangeRecord::Count(Verdict verdict, int by) {
  const auto add = [by](std::uint64_t& counter) { counter += static_cast<std::uint64_t>(by); };
  switch (verdict) {
    case Verdict::Answered:
      add(counters_.answered);
      break;
    case Verdict::NoAnswer:
      add(counters_.noAnswer);
      break;
    case Verdict::Cut:
      add(counters_.cut);
      break;
    case Verdict::Late:
      add(counters_.late);
      break;
    case Verdict::Garbled:
      add(counters_.garbled);
      break;
    case Verdict::Long:
      add(counters_.tooLong);
      break;
    case Verdict::Refused:
      add(counters_.refused);
      break;
  }
}

void ExchangeRecord::NewConnection(std::string port) {
  open_ = false;
  restOpen_ = restBefore_ = false;
  rest_.clear();
  entries_.clear();
  counters_ = {};
  port_ = std::move(port);
  connectedAt_ = clock_();
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
    case Verdict::Late:
      return VEXA_TR_NOOP("Messages", "с паузой");
    case Verdict::Long:
      return VEXA_TR_NOOP("Messages", "длиннее");
  }
  return "";
}

std::string ClockText(std::chrono::system_clock::time_point time) {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count();
  const std::tm local = LocalTime(ms / 1000);
  return CFormat("%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min, local.tm_sec,
                 static_cast<int>(ms % 1000));
}

std::string DateClockText(std::chrono::system_clock::time_point time) {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count();
  const std::tm local = LocalTime(ms / 1000);
  return CFormat("%04d-%02d-%02d ", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday) + ClockText(time);
}

std::string ExchangeLine(const Exchange& exchange, bool withDate) {
  std::string line = (withDate ? DateClockText(exchange.sent) : ClockText(exchange.sent)) + "  " +
                     HexBytes(exchange.request) + "  ->  " +
                     (exchange.answer.empty() ? std::string("-") : HexBytes(exchange.answer)) + "  " +
                     Translated("Messages", VerdictText(exchange.verdict));
  if (!exchange.answer.empty())
    line += CFormat(Translated("Messages", "  %.1f мс").c_str(), exchange.roundTripMs);
  return line;
}
