// SPDX-License-Identifier: GPL-3.0-or-later
// What an exchange came to, from the bytes on the line; and a chain that is held.
#include <gtest/gtest.h>

#include "link/exchange_verdict.h"
#include "tests/link/fakes.h"

namespace {

using link_test::Bytes;

TEST(ExchangeVerdict, JudgedFromTheRequestAndWhatCameBack) {
  const Bytes statusRead = {0x44, 0x28, 0x01, 0xC0, 0x10, 0x00};
  const Bytes store = {0x42, 0x28, 0xFF, 0xE2, 0x01, 0x53, 0x00};
  const Bytes setup2 = {0x10, 0x22, 0x30};
  Bytes full = link_test::ReadAnswer(0x01, 0xC0, 16);
  const struct {
    Bytes request, answer;
    Verdict verdict;
    const char* said;
  } cases[] = {
      {statusRead, full, Verdict::Answered, ""},
      {statusRead,
       [&] {
         Bytes b = full;
         b.push_back(0x55);
         return b;
       }(),
       Verdict::Long, ""},
      {statusRead, {}, Verdict::NoAnswer, "no answer to the read of 01C0"},
      {statusRead, Bytes(full.begin(), full.begin() + 12), Verdict::Cut,
       "the answer to the read of 01C0 was truncated: 12 of 21 bytes (44 28 01 C0 10 00 00 00 ...)"},
      {statusRead, {0x44, 0x28, 0x01}, Verdict::Cut, "the answer to the read of 01C0 was truncated: 3 of 21"},
      {statusRead, link_test::ReadAnswer(0x01, 0x30, 11), Verdict::Garbled,
       "the answer to the read of 01C0 was corrupt or answered another request: 44 28 01 30 0B"},
      {statusRead,
       {0x42, 0x28, 0x01, 0xC0, 0x10},
       Verdict::Garbled,
       "the answer to the read of 01C0 was corrupt"},
      {statusRead, {0xC4, 0x28, 0x01, 0xC0, 0x10}, Verdict::Refused, "the module refused the read of 01C0"},
      {store, {0x42, 0x28, 0xFF, 0xE2, 0x01}, Verdict::Answered, ""},
      {store, {0xC2, 0x28, 0xFF, 0xE2, 0x01}, Verdict::Refused, "the module refused the write to FFE2"},
      {store,
       {0xC2, 0x28, 0xFF, 0xE2},
       Verdict::Cut,
       "the answer to the write to FFE2 was truncated: 4 of 5"},
      {setup2, {0x10, 0x22}, Verdict::Answered, ""},
      {setup2, {0x10, 0x28}, Verdict::Garbled, "the answer to set-up step 2 (10 22 30) was corrupt"},
      {setup2, {0x90, 0x22}, Verdict::Refused, "the adapter refused set-up step 2 (10 22 30)"},
      {setup2, {0x10}, Verdict::Cut, "the answer to set-up step 2 (10 22 30) was truncated: 1 of 2"},
      {{0x40, 0x28, 0x00}, {0xC0, 0x28}, Verdict::Refused, "the adapter refused the opening of the module"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(JudgeAnswer(c.request, c.answer), c.verdict) << c.said;
    EXPECT_EQ(DescribeExchange(c.request, c.answer).rfind(c.said, 0), 0U)
        << DescribeExchange(c.request, c.answer);
  }
}

TEST(LinkEngine, AHeldChainEndsWithTheExchangeUnderWay) {
  link_test::Harness h;
  h.Connect();
  h.engine.Request_code = Req_write_param;
  h.Tick();
  h.Sent();
  h.Reply(link_test::WriteAck(0x00, 0xC0, 0x36));
  h.engine.HoldChains(true);
  // Channel 1's acknowledgement is taken, channel 2's frame is not sent, and the engine is free.
  EXPECT_TRUE(h.Reply(link_test::WriteAck(0x00, 0x00, 0x2C)).empty());
  EXPECT_FALSE(h.engine.Wait_reply);
  EXPECT_FALSE(h.engine.Writing());
  EXPECT_EQ(h.engine.Done_message, 0);
  // A request still goes out: the disconnect that follows a hold.
  h.engine.Disconnect_req = 1;
  h.engine.Request_code = Req_setup;
  h.Tick();
  EXPECT_EQ(h.Sent(), (Bytes{0x10, 0x28, 0x30}));
  h.Reply({0x10, 0x28});
  EXPECT_EQ(h.window.log.back(), "no_connect");
}

}  // namespace
