// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cstring>

#include "link/module_commands.h"
#include "tests/link/fakes.h"

using namespace link_test;

namespace {

TEST(LinkEngine, ConnectHandshakeHeaderReadAndFirstPoll) {
  Harness h;
  h.engine.Request_code = Req_setup;
  h.Tick();
  EXPECT_EQ(h.Sent(), (Bytes{0x10, 0x28, 0x30}));
  EXPECT_EQ(h.Reply({0x10, 0x28}), (Bytes{0x10, 0x22, 0x30}));
  EXPECT_EQ(h.Reply({0x10, 0x22}), (Bytes{0x40, 0x28, 0x00}));
  EXPECT_EQ(h.Reply({0x40, 0x28}), (Bytes{0x44, 0x28, 0x00, 0xC0, 0x03, 0x00}));
  EXPECT_EQ(h.engine.Connected, 1);
  EXPECT_EQ(h.engine.Head_only, 1);
  EXPECT_EQ(h.window.log, (std::vector<std::string>{"connect"}));

  std::memset(&h.record.SysSet, 0x5A, sizeof h.record.SysSet);
  Bytes header = {0x44, 0x28, 0x00, 0xC0, 0x03, 0x39, 0x30, 0x07};  // 12345: out of range
  EXPECT_TRUE(h.Reply(header).empty()) << "the header read is not followed by channel reads";
  EXPECT_EQ(h.record.SysSet.Number, 0);
  EXPECT_EQ(h.record.SysSet.Year, 7);
  EXPECT_EQ(h.record.SysSet.RS485_WrLock, 0x5A) << "only number and year change";
  EXPECT_EQ(h.window.log.back(), "refresh 7");
  EXPECT_EQ(h.window.log[h.window.log.size() - 2], "show [   0][ 7]");

  // The divider started at 50 with the engine: it first expires on tick 51.
  Harness fresh;
  fresh.engine.Connected = 1;
  fresh.Tick(50);
  EXPECT_TRUE(fresh.Sent().empty());
  fresh.Tick();
  EXPECT_EQ(fresh.Sent(), (Bytes{0x44, 0x28, 0x01, 0xC0, 0x10, 0x00}));
  EXPECT_EQ(fresh.window.lamp, kColorLime);
}

TEST(LinkEngine, StatusCycleRunsFiveExchanges) {
  Harness h;
  h.Connect();
  h.engine.Request_code = Req_status;
  h.Tick();
  h.Sent();
  EXPECT_EQ(h.Reply(ReadAnswer(0x01, 0xC0, 16)), (Bytes{0x44, 0x28, 0x01, 0x00, 0x0B, 0x00}));
  EXPECT_EQ(h.window.lamp, kColorSilver);
  EXPECT_EQ(h.Reply(ReadAnswer(0x01, 0x00, 11)), (Bytes{0x44, 0x28, 0x01, 0x30, 0x0B, 0x00}));
  EXPECT_EQ(h.Reply(ReadAnswer(0x01, 0x30, 11)), (Bytes{0x44, 0x28, 0x01, 0x60, 0x0B, 0x00}));
  EXPECT_EQ(h.Reply(ReadAnswer(0x01, 0x60, 11)), (Bytes{0x44, 0x28, 0x01, 0x90, 0x0B, 0x00}));
  EXPECT_TRUE(h.Reply(ReadAnswer(0x01, 0x90, 11)).empty());
  EXPECT_EQ(h.window.log,
            (std::vector<std::string>{"module 0", "channel 0", "channel 1", "channel 2", "channel 3"}));
}

TEST(LinkEngine, NoAnswerOnTheExactTickAndOnlyTheFirstByteStopsTheWatch) {
  Harness h;
  h.Connect();
  h.engine.Request_code = Req_status;
  h.Tick();  // sends; the countdown goes 100 -> 99 on this tick already
  h.Tick(99);
  EXPECT_TRUE(h.window.boxes.empty());
  EXPECT_EQ(h.engine.Connected, 1);
  h.Tick();
  ASSERT_EQ(h.window.boxes.size(), 1U);
  EXPECT_EQ(h.window.boxes[0], "Ошибка связи: Нет ответа от модуля Ixor");
  EXPECT_EQ(h.window.log.back(), "no_connect");
  EXPECT_EQ(h.engine.Connected, 0);
  EXPECT_EQ(h.window.lamp, kColorSilver);

  Harness g;
  g.Connect();
  g.engine.Request_code = Req_status;
  g.Tick();
  g.engine.Connected = 0;  // no polls of its own during the watch
  g.Answer({0x44});        // a reply that stops short
  g.Tick(200);
  EXPECT_TRUE(g.window.boxes.empty());
  EXPECT_EQ(g.engine.Rx_len, 0) << "dispatched as it stood";
}

// A receive event that comes after its bytes (a busy machine): the bytes waiting are taken when the
// watch or the quiet time ends, not reported missing or cut; an event left for bytes already taken
// changes nothing.
TEST(LinkEngine, BytesWaitingForALateEventAreTakenBeforeAnyVerdict) {
  Harness h;
  h.Connect();
  h.engine.Connected = 0;  // no polls of its own
  h.engine.Request_code = Req_status;
  h.Tick();
  h.Sent();
  const Bytes answer = ReadAnswer(0x01, 0xC0, 16);
  h.port.incoming.assign(answer.begin(), answer.begin() + 6);  // no event yet
  h.Tick(100);
  EXPECT_TRUE(h.window.boxes.empty());
  EXPECT_EQ(h.engine.Rx_len, 6);
  h.port.incoming.insert(h.port.incoming.end(), answer.begin() + 6, answer.end());
  h.Tick(4);  // the quiet time ends with the rest waiting: taken, and the quiet time starts again
  EXPECT_EQ(h.engine.Rx_len, static_cast<int>(answer.size()));
  EXPECT_TRUE(h.Sent().empty());
  h.Tick(3);
  EXPECT_EQ(h.Sent(), (Bytes{0x44, 0x28, 0x01, 0x00, 0x0B, 0x00})) << "dispatched whole";
  h.engine.SioComm1OnRxChar(static_cast<int>(answer.size()));  // the late events, nothing to read
  h.Tick(100);
  EXPECT_TRUE(h.window.boxes.empty());
  h.Tick();
  ASSERT_EQ(h.window.boxes.size(), 1U) << "the next request's watch still runs";
  EXPECT_EQ(h.window.boxes[0], "Ошибка связи: Нет ответа от модуля Ixor");
}

TEST(LinkEngine, Refusals) {
  Harness h;
  h.engine.Request_code = Req_setup;
  h.Tick();
  h.Reply({0x90, 0x28});
  EXPECT_EQ(h.window.boxes,
            (std::vector<std::string>{"Ошибка связи: Режим работы не поддерживается модулем Ixor"}));
  EXPECT_EQ(h.window.log, (std::vector<std::string>{"no_connect"}));

  // No VEXA: set-up step 1 goes out with Disconnect_req set; its answer, arriving while the box is
  // still open, closes the connection.
  Harness g;
  g.engine.Request_code = Req_setup;
  g.Tick();
  g.Reply({0x10, 0x28});
  g.Reply({0x10, 0x22});
  g.window.duringBox = [&] {
    EXPECT_EQ(g.Sent(), (Bytes{0x10, 0x28, 0x30}));
    EXPECT_EQ(g.engine.Disconnect_req, 1);
    g.Reply({0x10, 0x28});
  };
  g.Reply({0xC0, 0x28});
  EXPECT_EQ(g.window.boxes, (std::vector<std::string>{"Ошибка связи: Модуль VEXA не обнаружен."}));
  EXPECT_EQ(g.window.log, (std::vector<std::string>{"no_connect"}));

  for (const std::uint8_t refused : {std::uint8_t{0xC4}, std::uint8_t{0xC2}}) {
    Harness r;
    r.Connect();
    r.engine.Request_code = Req_read_param;
    r.Tick();
    r.Sent();
    EXPECT_TRUE(r.Reply({refused, 0x28, 0x00, 0xC0, 0x36}).empty());
    EXPECT_EQ(r.window.lamp, kColorYellow);
    r.Tick(10);
    EXPECT_EQ(r.engine.Done_message, 0);
    EXPECT_TRUE(r.window.boxes.empty());
  }
}

TEST(LinkEngine, QuietTimeAndLongReplies) {
  Harness h;
  h.Connect();
  h.engine.Request_code = Req_status;
  h.Tick();
  h.Sent();
  h.Answer(ReadAnswer(0x01, 0xC0, 16));
  h.Tick(3);
  EXPECT_TRUE(h.Sent().empty()) << "not on the third tick";
  h.Tick();
  EXPECT_FALSE(h.Sent().empty()) << "on the fourth";

  Harness l;
  l.Connect();
  l.engine.Request_code = Req_status;
  l.Tick();
  Bytes longReply(120);
  for (std::size_t i = 0; i < longReply.size(); ++i) longReply[i] = static_cast<std::uint8_t>(i);
  l.Answer(longReply);
  EXPECT_EQ(l.engine.Rx_len, 99);
  EXPECT_EQ(l.engine.Rx_buf[98], 98);
  EXPECT_EQ(l.engine.Rx_buf[99], 119);
}

TEST(LinkEngine, RequestsWaitForTheChainAndStrayBytesAreDropped) {
  Harness h;
  h.Connect();
  h.engine.Request_code = Req_status;
  h.Tick();
  h.Sent();
  h.Reply(ReadAnswer(0x01, 0xC0, 16));
  h.engine.Request_code = Req_block;
  h.engine.Request_code = Req_unblock;  // the later one wins
  h.Reply(ReadAnswer(0x01, 0x00, 11));
  h.Reply(ReadAnswer(0x01, 0x30, 11));
  h.Reply(ReadAnswer(0x01, 0x60, 11));
  EXPECT_TRUE(h.Reply(ReadAnswer(0x01, 0x90, 11)).empty());
  h.Tick();
  EXPECT_EQ(h.Sent(), (Bytes{0x42, 0x28, 0xFF, 0xE0, 0x01, 0x41, 0x00}));
  // Its acknowledgement starts a status cycle at once.
  h.Reply(WriteAck(0xFF, 0xE0, 1));
  EXPECT_EQ(h.engine.Request_code, Req_status);
  h.Tick();
  EXPECT_EQ(h.Sent(), (Bytes{0x44, 0x28, 0x01, 0xC0, 0x10, 0x00}));
  h.Reply(ReadAnswer(0x01, 0xC0, 16));

  // Disconnecting during the cycle: step 1 goes out after the last answer, its answer closes.
  h.engine.Disconnect_req = 1;
  h.engine.Request_code = Req_setup;
  for (std::uint8_t block : {0x00, 0x30, 0x60}) EXPECT_EQ(h.Reply(ReadAnswer(0x01, block, 11))[0], 0x44);
  EXPECT_TRUE(h.Reply(ReadAnswer(0x01, 0x90, 11)).empty());
  h.Tick();
  EXPECT_EQ(h.Sent(), (Bytes{0x10, 0x28, 0x30}));
  h.Reply({0x10, 0x28});
  EXPECT_EQ(h.window.log.back(), "no_connect");

  // Idle: stray bytes are read and dropped, and never start the next answer.
  h.Answer({0x44, 0x28, 0x01});
  h.Tick(10);
  EXPECT_EQ(h.engine.Rx_len, 0);
  EXPECT_TRUE(h.port.incoming.empty());
}

TEST(LinkEngine, SettingsReadAndWriteChains) {
  Harness h;
  h.Connect();
  h.engine.Request_code = Req_read_param;
  h.Tick();
  EXPECT_EQ(h.Sent(), (Bytes{0x44, 0x28, 0x00, 0xC0, 0x36, 0x00}));
  EXPECT_EQ(h.engine.Head_only, 0);
  EXPECT_EQ(h.Reply(ReadAnswer(0x00, 0xC0, 54, 0x01)), (Bytes{0x44, 0x28, 0x00, 0x00, 0x2C, 0x00}));
  EXPECT_EQ(h.record.SysSet.Number, 0x0101);
  EXPECT_EQ(h.Reply(ReadAnswer(0x00, 0x00, 44, 0x02)), (Bytes{0x44, 0x28, 0x00, 0x30, 0x2C, 0x00}));
  EXPECT_EQ(h.Reply(ReadAnswer(0x00, 0x30, 44)), (Bytes{0x44, 0x28, 0x00, 0x60, 0x2C, 0x00}));
  EXPECT_EQ(h.Reply(ReadAnswer(0x00, 0x60, 44)), (Bytes{0x44, 0x28, 0x00, 0x90, 0x2C, 0x00}));
  h.Answer(ReadAnswer(0x00, 0x90, 44, 0x03));
  h.Tick(4);
  EXPECT_EQ(h.engine.Done_message, 1);
  EXPECT_EQ(h.engine.Rx_buf[3], 0x95);
  EXPECT_EQ(h.record.ChanSet[0].Aprox, 0x02);
  EXPECT_EQ(h.record.ChanSet[3].OutZero, 0x0303);
  EXPECT_TRUE(h.window.timer2) << "the tick starts Timer2";
  h.engine.Timer2Timer();
  EXPECT_EQ(h.window.boxes, (std::vector<std::string>{"Сообщение: Параметры работы из модуля прочитаны."}));
  EXPECT_FALSE(h.window.timer2);

  // Write: the 60-byte system frame with the window's number and year, then a 50-byte frame after
  // each acknowledgement.
  h.window.boxes.clear();
  h.engine.Request_code = Req_write_param;
  EXPECT_TRUE(h.engine.Writing()) << "pending";
  h.Tick();
  Bytes frame = h.Sent();
  ASSERT_EQ(frame.size(), 60U);
  EXPECT_EQ(frame[5], 42) << "number from the window's field";
  EXPECT_EQ(frame[7], 7);
  const std::uint8_t blocks[] = {0xC0, 0x00, 0x30, 0x60};
  for (int i = 0; i < 4; ++i) {
    EXPECT_TRUE(h.engine.Writing()) << "block " << i;
    frame = h.Reply(WriteAck(0x00, blocks[i], i == 0 ? 0x36 : 0x2C));
    ASSERT_EQ(frame.size(), 50U);
    EXPECT_EQ(frame[3], static_cast<std::uint8_t>(0x30 * i));
  }
  EXPECT_TRUE(h.Reply(WriteAck(0x00, 0x90, 0x2C)).empty());
  EXPECT_EQ(h.engine.Done_message, 2);
  EXPECT_FALSE(h.engine.Writing());
  h.engine.Timer2Timer();
  EXPECT_EQ(h.window.boxes, (std::vector<std::string>{"Сообщение: Параметры работы в модуль загружены."}));
  // The last acknowledgement is marked done: dispatched again, it completes nothing a second time.
  h.engine.Rx_len = 5;
  h.Tick(4);
  EXPECT_EQ(h.engine.Done_message, 0);
  EXPECT_TRUE(h.Sent().empty());

  // Refused at the third block: the chain stops, no completion.
  Harness r;
  r.Connect();
  r.engine.Request_code = Req_write_param;
  r.Tick();
  r.Sent();
  r.Reply(WriteAck(0x00, 0xC0, 0x36));
  r.Reply(WriteAck(0x00, 0x00, 0x2C));
  EXPECT_TRUE(r.Reply({0xC2, 0x28, 0x00, 0x30, 0x2C}).empty());
  EXPECT_FALSE(r.engine.Writing()) << "a refusal ends the write";
  r.Tick(20);
  EXPECT_EQ(r.engine.Done_message, 0);
  EXPECT_EQ(r.window.lamp, kColorYellow);
}

// A read aside fills its own record and tells its end; the window's record, fields, dialogs and
// completion box stay out of it, and it never takes over a read or a command of the window's.
TEST(LinkEngine, AReadAsideKeepsToItsOwnRecord) {
  const auto readAll = [](Harness& h) {
    h.Tick();
    h.Sent();
    h.Reply(ReadAnswer(0x00, 0xC0, 54, 0xFF));  // number 0xFFFF: kept as the module holds it
    for (const std::uint8_t block : {0x00, 0x30, 0x60}) h.Reply(ReadAnswer(0x00, block, 44, 0x05));
    h.Answer(ReadAnswer(0x00, 0x90, 44, 0x05));
    h.Tick(4);
  };
  Harness h;
  h.Connect();
  TModuleSettings aside{};
  std::vector<bool> ends;
  h.engine.ReadAside(aside, [&](bool whole) { ends.push_back(whole); });
  readAll(h);
  EXPECT_EQ(ends, (std::vector<bool>{true}));
  EXPECT_EQ(aside.SysSet.Number, 0xFFFF);
  EXPECT_EQ(aside.ChanSet[3].Aprox, 0x05);
  EXPECT_EQ(h.record.ChanSet[3].Aprox, 0) << "the window's record untouched";
  EXPECT_TRUE(h.window.log.empty()) << ::testing::PrintToString(h.window.log);
  EXPECT_EQ(h.engine.Done_message, 0);
  // The next read is the window's again.
  h.engine.Request_code = Req_read_param;
  readAll(h);
  EXPECT_EQ(h.engine.Done_message, 1);
  EXPECT_EQ(h.record.ChanSet[3].Aprox, 0x05);

  // Asked while the window's read runs: that read ends as the window's, then the aside one goes.
  Harness w;
  w.Connect();
  w.engine.Request_code = Req_read_param;
  w.Tick();
  w.Sent();
  w.Reply(ReadAnswer(0x00, 0xC0, 54, 0x01));
  TModuleSettings second{};
  ends.clear();
  w.engine.ReadAside(second, [&](bool whole) { ends.push_back(whole); });
  for (const std::uint8_t block : {0x00, 0x30, 0x60}) w.Reply(ReadAnswer(0x00, block, 44, 0x02));
  w.Answer(ReadAnswer(0x00, 0x90, 44, 0x02));
  w.Tick(4);
  EXPECT_EQ(w.engine.Done_message, 1);
  EXPECT_EQ(w.record.ChanSet[3].Aprox, 0x02);
  EXPECT_TRUE(ends.empty());
  w.engine.Timer2Timer();
  readAll(w);
  EXPECT_EQ(ends, (std::vector<bool>{true}));
  EXPECT_EQ(second.ChanSet[3].Aprox, 0x05);

  // Ended short: a refused block (said at the next request), a command put in its place, the link lost.
  Harness r;
  r.Connect();
  ends.clear();
  r.engine.ReadAside(aside, [&](bool whole) { ends.push_back(whole); });
  r.Tick();
  r.Sent();
  r.Reply(ReadAnswer(0x00, 0xC0, 54));
  r.Reply({0xC4, 0x28, 0x00, 0x00, 0x2C});
  EXPECT_TRUE(ends.empty());
  r.Tick(60);  // the next status poll
  EXPECT_EQ(ends, (std::vector<bool>{false}));
  Harness c;
  c.Connect();
  c.engine.ReadAside(aside, [&](bool whole) { ends.push_back(whole); });
  c.engine.Request_code = Req_block;
  c.Tick();
  EXPECT_EQ(ends, (std::vector<bool>{false, false}));
  c.Reply({0x42, 0x28, 0xFF, 0xE0, 0x01});
  c.engine.ReadAside(aside, [&](bool whole) { ends.push_back(whole); });
  c.engine.Status_no_connect();
  EXPECT_EQ(ends, (std::vector<bool>{false, false, false}));
  EXPECT_FALSE(c.engine.ReadingAside());
}

TEST(LinkEngine, RequestFramesNameTheirCommand) {
  const std::pair<Bytes, int> frames[] = {
      {{0x42, 0x28, 0xFF, 0xE0, 0x01, 0x40, 0x00}, Req_block},
      {{0x42, 0x28, 0xFF, 0xE0, 0x01, 0x41, 0x00}, Req_unblock},
      {{0x42, 0x28, 0xFF, 0xE2, 0x01, 0x53, 0x00}, Req_save_eeprom},
      {{0x44, 0x28, 0x00, 0xC0, 0x36, 0x00}, Req_read_param},
      {{0x44, 0x28, 0x00, 0x60, 0x2C, 0x00}, Req_read_param},
      {{0x42, 0x28, 0x00, 0x30, 0x2C, 0x00}, Req_write_param},
      {{0x44, 0x28, 0x00, 0xC0, 0x03, 0x00}, 0},  // the set-up's header read
      {{0x44, 0x28, 0x01, 0xC0, 0x10, 0x00}, 0},  // a status read
      {{0x10, 0x28, 0x30}, 0},
  };
  for (const auto& [frame, command] : frames) EXPECT_EQ(CommandOfRequest(frame), command);
}

TEST(LinkEngine, AcknowledgementsThatEndTheExchange) {
  Harness h;
  h.Connect();
  h.engine.Request_code = Req_save_eeprom;
  h.Tick();
  EXPECT_EQ(h.Sent(), (Bytes{0x42, 0x28, 0xFF, 0xE2, 0x01, 0x53, 0x00}));
  EXPECT_TRUE(h.Reply(WriteAck(0xFF, 0xE2, 1)).empty());
  EXPECT_EQ(h.engine.Request_code, 0);

  const Bytes zero = {0x42, 0x28, 0x00, 0x2A, 0x02, 0x34, 0x12, 0x00};
  std::memcpy(h.engine.Tx_buf, zero.data(), 8);
  h.engine.Request_code = Req_out_zero;
  h.Tick();
  EXPECT_EQ(h.Sent(), zero);
  EXPECT_TRUE(h.Reply(WriteAck(0x00, 0x2A, 2)).empty());
  EXPECT_EQ(h.engine.Request_code, 0);
  EXPECT_EQ(h.engine.Done_message, 0);
}

TEST(LinkEngine, CommandFrames) {
  const std::pair<int, Bytes> frames[] = {
      {Req_block, {0x42, 0x28, 0xFF, 0xE0, 0x01, 0x40, 0x00}},
      {Req_unblock, {0x42, 0x28, 0xFF, 0xE0, 0x01, 0x41, 0x00}},
      {Req_reset, {0x42, 0x28, 0xFF, 0xE0, 0x01, 0xF2, 0x00}},
      {Req_save_eeprom, {0x42, 0x28, 0xFF, 0xE2, 0x01, 0x53, 0x00}},
  };
  for (const auto& [code, bytes] : frames) {
    Harness h;
    h.Connect();
    h.engine.Request_code = code;
    h.Tick();
    EXPECT_EQ(h.Sent(), bytes) << code;
  }
}

// The poll divider offers a status cycle every 51 ticks; an offer that finds a request pending or
// an answer awaited is dropped, and the next comes a whole period later.
TEST(LinkEngine, PollOffersWhileBusyAreDropped) {
  Harness h;
  h.Connect();
  h.engine.Poll_count = 0;
  h.engine.Request_code = Req_save_eeprom;
  h.Tick();
  EXPECT_EQ(h.Sent(), (Bytes{0x42, 0x28, 0xFF, 0xE2, 0x01, 0x53, 0x00})) << "the pending request is kept";
  h.Tick(50);
  EXPECT_EQ(h.engine.Poll_count, 0);
  h.Tick();  // the offer, while the store's answer is awaited
  EXPECT_EQ(h.engine.Request_code, 0);
  h.Reply(WriteAck(0xFF, 0xE2, 1));
  int ticks = 4;
  for (; ticks < 200 && h.Sent().empty(); ++ticks) h.Tick();
  EXPECT_EQ(ticks, 51) << "from the dropped offer to the next status request";
}

// A reply too short for its kind is not read with the bytes an earlier reply left in the buffer.
TEST(LinkEngine, ShortRepliesAreNotDispatched) {
  Harness h;
  h.Connect();
  h.engine.Request_code = Req_write_param;
  h.Tick();
  h.Sent();
  EXPECT_EQ(h.Reply(WriteAck(0x00, 0xC0, 0x36)).size(), 50U);
  EXPECT_TRUE(h.Reply({0x42}).empty()) << "one byte is no acknowledgement of the next block";
  EXPECT_EQ(h.window.lamp, kColorYellow);
  EXPECT_FALSE(h.engine.Writing());

  h.engine.Request_code = Req_read_param;
  h.Tick();
  h.Sent();
  const TModuleSettings before = h.record;
  Bytes cut = ReadAnswer(0x00, 0xC0, 54, 0x77);
  cut.resize(30);
  EXPECT_TRUE(h.Reply(cut).empty());
  EXPECT_EQ(std::memcmp(&before, &h.record, sizeof before), 0) << "a cut answer decodes nothing";
  EXPECT_EQ(h.engine.Done_message, 0);

  // An answer to another request than the one sent: a write acknowledgement while a status read
  // is awaited starts no write.
  h.engine.Request_code = Req_status;
  h.Tick();
  h.Sent();
  EXPECT_TRUE(h.Reply(WriteAck(0x00, 0x30, 0x2C)).empty());
  EXPECT_EQ(h.window.lamp, kColorYellow);
}

// Whatever else answers on the line, the window ends up connected or closed with one message, never
// stuck between them with neither "Соединить" nor "Отключить" available.
TEST(LinkEngine, ALineThatIsNoAdapterEndsTheSetUp) {
  const std::vector<Bytes> setUp = {{0x10, 0x28}, {0x10, 0x22}};  // the answers that lead on
  const struct {
    const char* name;
    int step;  // answered well up to this step
    Bytes answer;
  } cases[] = {
      {"garbage to step 1", 0, {0x55, 0xAA, 0x55}},
      {"one byte", 0, {0x10}},
      {"unknown step answer", 0, {0x10, 0x99}},
      {"garbage to the module opening", 2, {0x44, 0x28, 0x00, 0xC0, 0x03}},
  };
  for (const auto& c : cases) {
    Harness h;
    h.engine.Request_code = Req_setup;
    h.Tick();
    for (int i = 0; i < c.step; ++i) h.Reply(setUp[i]);
    h.Reply(c.answer);
    h.Tick(200);
    EXPECT_EQ(h.window.log, std::vector<std::string>{"no_connect"}) << c.name;
    EXPECT_EQ(h.window.boxes, std::vector<std::string>{"Ошибка связи: Ответ модуля Ixor не распознан"})
        << c.name;
  }

  // A device that never stops sending: the answer never gets its quiet time.
  Harness h;
  h.Connect();
  h.engine.Request_code = Req_status;
  h.Tick();
  int ticks = 0;
  for (; ticks < 1000 && h.window.boxes.empty(); ++ticks) {
    h.Answer({0x44});
    h.Tick();
  }
  EXPECT_EQ(ticks, 301);
  EXPECT_EQ(h.window.log, std::vector<std::string>{"no_connect"});
  h.Tick(500);
  EXPECT_EQ(h.window.boxes, std::vector<std::string>{"Ошибка связи: Ответ модуля Ixor не распознан"});
}

// A request pending when the link is lost is not sent into the closed port afterwards.
TEST(LinkEngine, RequestPendingWhenTheLinkDropsIsForgotten) {
  Harness h;
  h.Connect();
  h.engine.Request_code = Req_status;
  h.Tick();
  h.Sent();
  h.engine.Request_code = Req_block;  // waits behind the status read, which never gets its answer
  h.Tick(101);
  ASSERT_EQ(h.window.boxes, std::vector<std::string>{"Ошибка связи: Нет ответа от модуля Ixor"});
  h.Tick(200);
  EXPECT_TRUE(h.Sent().empty());
  EXPECT_EQ(h.window.boxes.size(), 1U) << "one message for one lost link";
  EXPECT_EQ(h.engine.Wait_reply, 0) << "the next connection's set-up is not held back";
}

TEST(LinkEngine, AnswerArrivingUnderABoxIsNotLost) {
  // The "no VEXA" box opens at the end of a dispatch; under it the answer to the set-up step that
  // dispatch sent arrives and is still waiting for its quiet time when the box closes.
  Harness h;
  h.engine.Request_code = Req_setup;
  h.Tick();
  h.Reply({0x10, 0x28});
  h.Reply({0x10, 0x22});
  h.Sent();
  h.window.duringBox = [&] {
    EXPECT_EQ(h.Sent(), (Bytes{0x10, 0x28, 0x30}));
    h.Answer({0x10, 0x28});
    h.Tick();  // one nested tick: not yet quiet long enough
  };
  h.Reply({0xC0, 0x28});
  ASSERT_EQ(h.window.boxes.size(), 1U);
  EXPECT_EQ(h.engine.Rx_len, 2) << "the interrupted dispatch must not wipe the new answer";
  EXPECT_TRUE(h.window.log.empty() || h.window.log.back() != "no_connect");
  h.Tick(4);
  EXPECT_EQ(h.window.log.back(), "no_connect") << "the answer is dispatched once, after the box";
  EXPECT_TRUE(h.Sent().empty()) << "nothing is sent twice";
}

class Host : public ICommandHost {
 public:
  bool BlockChecked() override { return checked; }
  bool Confirm(std::string_view text) override {
    asked.emplace_back(text);
    return yes;
  }
  void Warn(std::string_view text) override { warned.emplace_back(text); }
  bool checked = false, yes = true;
  std::vector<std::string> asked, warned;
};

TEST(ModuleCommands, ConfirmationsAndPrecondition) {
  Harness h;
  Host host;
  MenuExec_BlockClick(h.engine, host);
  EXPECT_EQ(h.engine.Request_code, Req_block);
  host.checked = true;
  MenuExec_BlockClick(h.engine, host);
  EXPECT_EQ(h.engine.Request_code, Req_unblock);

  h.engine.Request_code = 0;
  host.yes = false;
  MenuExec_ResetClick(h.engine, host);
  EXPECT_EQ(h.engine.Request_code, 0);
  EXPECT_EQ(host.asked.back(), "Выполнить сброс модуля?");
  host.yes = true;
  MenuExec_ResetClick(h.engine, host);
  EXPECT_EQ(h.engine.Request_code, Req_reset);

  MenuExec_ReadParamClick(h.engine, host);
  EXPECT_EQ(h.engine.Request_code, Req_read_param);

  h.engine.Request_code = 0;
  host.checked = false;
  MenuExec_WriteParamClick(h.engine, host);
  EXPECT_EQ(h.engine.Request_code, 0);
  EXPECT_EQ(host.warned.back(), "При загрузке параметров логические выходы должны быть заблокированы!");
  MenuExec_SaveEEPROMClick(h.engine, host);
  EXPECT_EQ(host.warned.back(), "При записи параметров логические выходы должны быть заблокированы!");
  host.checked = true;
  MenuExec_SaveEEPROMClick(h.engine, host);
  EXPECT_EQ(h.engine.Request_code, Req_save_eeprom);
  MenuExec_WriteParamClick(h.engine, host);
  EXPECT_EQ(h.engine.Request_code, Req_write_param);
  EXPECT_EQ(host.asked.back(), "Выполнить загрузку параметров в модуль VEXA?");

  // No to the write and to the store: nothing is sent.
  Harness idle;
  idle.Connect();
  host.yes = false;
  MenuExec_WriteParamClick(idle.engine, host);
  MenuExec_SaveEEPROMClick(idle.engine, host);
  EXPECT_EQ(idle.engine.Request_code, 0);
  idle.Tick();
  EXPECT_TRUE(idle.Sent().empty());
}

}  // namespace
