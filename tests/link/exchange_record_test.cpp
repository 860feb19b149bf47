// SPDX-License-Identifier: GPL-3.0-or-later
// The record of exchanges as the engine feeds it: bytes, verdicts, times and counters by kind.
#include <gtest/gtest.h>

#include <ctime>

#include "link/exchange_record.h"
#include "tests/link/fakes.h"

namespace {

using link_test::Bytes;
using namespace std::chrono_literals;

TEST(ExchangeRecord, EveryExchangeOfTheEngineWithItsBytesVerdictAndRoundTrip) {
  link_test::Harness h;
  std::chrono::system_clock::time_point now{};
  std::chrono::steady_clock::time_point elapsed{};
  ExchangeRecord record([&] { return now; }, [&] { return elapsed; });
  std::vector<std::string> told;
  record.OnExchange = [&](const Exchange& e) { told.push_back(VerdictText(e.verdict)); };
  h.engine.SetExchangeRecord(&record);
  h.Connect();
  ASSERT_EQ(record.Entries().size(), 4U) << "set-up 1 and 2, the opening, the header read";

  const Bytes statusRead = {0x44, 0x28, 0x01, 0xC0, 0x10, 0x00};
  const Bytes full = link_test::ReadAnswer(0x01, 0xC0, 16);
  const auto nextRequest = [&] {
    for (int i = 0; i < 60; ++i) {
      h.Tick();
      if (Bytes sent = h.Sent(); !sent.empty()) return sent;
    }
    return Bytes{};
  };
  const struct {
    Bytes answer;
    Verdict verdict;
  } cases[] = {
      {Bytes(full.begin(), full.begin() + 12), Verdict::Cut},
      {link_test::ReadAnswer(0x01, 0x30, 11), Verdict::Garbled},
      {{}, Verdict::NoAnswer},  // the link is lost: the engine asks no more by itself
      {{0xC4, 0x28, 0x01, 0xC0, 0x10}, Verdict::Refused},
      {full, Verdict::Answered},
  };
  std::uint64_t bytesIn = 2 + 2 + 2 + 8, bytesOut = 3 + 3 + 3 + 6;
  for (const auto& c : cases) {
    if (!h.engine.Connected) h.engine.Request_code = Req_status;
    ASSERT_EQ(nextRequest(), statusRead);
    now += 1h;  // the wall clock set forward meanwhile: no part of a round trip
    elapsed += 7ms;
    if (c.answer.empty()) {
      h.Tick(110);
    } else {
      h.Reply(c.answer);
    }
    const Exchange& e = record.Entries().back();
    EXPECT_EQ(e.verdict, c.verdict) << HexBytes(c.answer);
    EXPECT_EQ(e.request, statusRead);
    EXPECT_EQ(e.answer, c.answer);
    EXPECT_DOUBLE_EQ(e.roundTripMs, c.answer.empty() ? 0.0 : 7.0);
    bytesIn += c.answer.size();
    bytesOut += statusRead.size();
    if (c.verdict == Verdict::Answered) break;  // its chain goes on with the channels
  }
  const ExchangeCounters& n = record.Counters();
  EXPECT_EQ(n.exchanges, 9U);
  EXPECT_EQ(n.answered, 5U);
  EXPECT_EQ(n.cut, 1U);
  EXPECT_EQ(n.garbled, 1U);
  EXPECT_EQ(n.noAnswer, 1U);
  EXPECT_EQ(n.refused, 1U);
  EXPECT_EQ(n.bytesIn, bytesIn);
  EXPECT_EQ(n.bytesOut, bytesOut + 6) << "and the first channel's read, under way";
  EXPECT_DOUBLE_EQ(n.lastRoundTripMs, 7.0);
  EXPECT_EQ(told.size(), 9U);
  EXPECT_EQ(told[4], "обрезан");

  EXPECT_EQ(ExchangeLine(record.Entries()[4]),
            ClockText(record.Entries()[4].sent) +
                "  44 28 01 C0 10 00  ->  44 28 01 C0 10 00 00 00 00 00 00 00" + "  обрезан  7.0 мс");
  EXPECT_EQ(ExchangeLine(record.Entries()[6]),
            ClockText(record.Entries()[6].sent) + "  44 28 01 C0 10 00  ->  -  нет ответа");
  EXPECT_EQ(ExchangeLine(record.Entries()[6], true),
            DateClockText(record.Entries()[6].sent) + "  44 28 01 C0 10 00  ->  -  нет ответа");
  // A new connection: counters and list start again together, numbering goes on.
  now += 1h;
  record.NewConnection("/dev/ttyUSB0");
  EXPECT_EQ(record.Counters().exchanges, 0U);
  EXPECT_TRUE(record.Entries().empty());
  EXPECT_EQ(record.Recorded(), 9U);
  EXPECT_EQ(record.Port(), "/dev/ttyUSB0");
  EXPECT_EQ(record.ConnectedAt(), now);
}

// An answer taken as cut whose rest comes after, before the next request or at the start of its
// answer, was a late one; bytes that do not complete it are no rest.
TEST(ExchangeRecord, ACutAnswerWhoseRestComesLaterIsLate) {
  const Bytes status = {0x44, 0x28, 0x01, 0xC0, 0x10, 0x00};
  const Bytes full = link_test::ReadAnswer(0x01, 0xC0, 16, 7);
  const Bytes head(full.begin(), full.begin() + 10), rest(full.begin() + 10, full.end());
  const Bytes channel = {0x44, 0x28, 0x01, 0x00, 0x0B, 0x00};
  const Bytes channelAnswer = link_test::ReadAnswer(0x01, 0x00, 11);
  const struct {
    const char* what;
    Bytes after;            // bytes before the next request
    Bytes nextAnswer;       // the next request's answer as it came
    Verdict first, second;  // the two exchanges' verdicts
  } cases[] = {
      {"rest before the next request", rest, channelAnswer, Verdict::Late, Verdict::Answered},
      {"rest at the next answer's start",
       {},
       [&] {
         Bytes b = rest;
         b.insert(b.end(), channelAnswer.begin(), channelAnswer.end());
         return b;
       }(),
       Verdict::Late,
       Verdict::Garbled},
      {"rest split by the next request", Bytes(rest.begin(), rest.begin() + 4),
       [&] {
         Bytes b(rest.begin() + 4, rest.end());
         b.insert(b.end(), channelAnswer.begin(), channelAnswer.end());
         return b;
       }(),
       Verdict::Late, Verdict::Garbled},
      {"rest alone, the next answer lost", {}, rest, Verdict::Late, Verdict::Garbled},
      {"bytes that are no rest", {0x55}, channelAnswer, Verdict::Cut, Verdict::Answered},
      {"nothing more", {}, channelAnswer, Verdict::Cut, Verdict::Answered},
  };
  for (const auto& c : cases) {
    ExchangeRecord record;
    int told = 0;
    record.OnExchange = [&](const Exchange&) { ++told; };
    record.Sent(status.data(), 6);
    for (const std::uint8_t b : head) record.Received(b);
    record.End();
    for (const std::uint8_t b : c.after) record.Received(b);
    record.Sent(channel.data(), 6);
    for (const std::uint8_t b : c.nextAnswer) record.Received(b);
    record.End();
    ASSERT_EQ(record.Entries().size(), 2U) << c.what;
    EXPECT_EQ(record.Entries()[0].verdict, c.first) << c.what;
    EXPECT_EQ(record.Entries()[1].verdict, c.second) << c.what;
    EXPECT_EQ(record.Entries()[0].answer, c.first == Verdict::Late ? full : head) << c.what;
    const ExchangeCounters& n = record.Counters();
    EXPECT_EQ(n.late, c.first == Verdict::Late ? 1U : 0U) << c.what;
    EXPECT_EQ(n.cut, c.first == Verdict::Cut ? 1U : 0U) << c.what;
    EXPECT_EQ(n.garbled + n.answered, 1U) << c.what;
    EXPECT_EQ(told, c.first == Verdict::Late ? 3 : 2) << c.what << ": told again when found late";
  }
}

// The last thousand are kept, and an answer that never ends is kept to a frame's length.
TEST(ExchangeRecord, BoundedInCountAndLength) {
  ExchangeRecord record;
  const std::uint8_t request[] = {0x44, 0x28, 0x01, 0xC0, 0x10, 0x00};
  for (int i = 0; i < 1005; ++i) {
    record.Sent(request, 6);
    for (int b = 0; b < (i == 1004 ? 5000 : 1); ++b) record.Received(static_cast<std::uint8_t>(i));
  }
  record.End();
  EXPECT_EQ(record.Entries().size(), ExchangeRecord::kKept);
  EXPECT_EQ(record.Entries().front().answer, Bytes{5});
  EXPECT_EQ(record.Entries().back().answer.size(), 128U);
  EXPECT_EQ(record.Counters().exchanges, 1005U);
  EXPECT_EQ(record.Recorded(), 1005U);
  EXPECT_EQ(record.Counters().bytesIn, 1004U + 5000U);
}

TEST(ExchangeRecord, ClockTextIsLocalTimeToTheMillisecond) {
  std::tm local{};
  local.tm_year = 126;
  local.tm_mon = 11;
  local.tm_mday = 8;
  local.tm_hour = 14;
  local.tm_min = 3;
  local.tm_sec = 27;
  local.tm_isdst = -1;
  const auto time = std::chrono::system_clock::from_time_t(std::mktime(&local)) + 415ms;
  EXPECT_EQ(ClockText(time), "14:03:27.415");
  EXPECT_EQ(DateClockText(time), "2026-12-08 14:03:27.415");
}

}  // namespace
