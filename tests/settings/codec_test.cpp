// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#include "settings/float24.h"
#include "settings/settings_codec.h"

namespace {

template <class T>
void FillDistinct(T& block, std::uint8_t seed) {
  auto* bytes = reinterpret_cast<std::uint8_t*>(&block);
  for (std::size_t i = 0; i < sizeof(T); ++i) bytes[i] = static_cast<std::uint8_t>(seed + 7 * i);
}

template <class T>
std::uint8_t ByteAt(const T& block, std::size_t offset) {
  return reinterpret_cast<const std::uint8_t*>(&block)[offset];
}

TEST(Float24, KnownValuesDropTheLowByteOnTheWire) {
  struct Case {
    float value;
    std::uint32_t bits;
    std::array<std::uint8_t, 3> wire;
  };
  const Case cases[] = {
      {1.0F, 0x3F800000, {0x00, 0x80, 0x3F}},
      {100.0F, 0x42C80000, {0x00, 0xC8, 0x42}},
      {-2.5F, 0xC0200000, {0x00, 0x20, 0xC0}},
      {0.1F, 0x3DCCCCCD, {0xCC, 0xCC, 0x3D}},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(std::bit_cast<std::uint32_t>(c.value), c.bits);
    EXPECT_EQ(EncodeFloat24(c.value), c.wire) << c.value;
    EXPECT_EQ(std::bit_cast<std::uint32_t>(DecodeFloat24(c.wire)), c.bits & 0xFFFFFF00U) << c.value;
  }
  EXPECT_NEAR(DecodeFloat24(EncodeFloat24(0.1F)), 0.0999984741, 1e-10);
}

TEST(Codec, ChannelFrameCarriesEveryFieldAndComesBackWithFloatLowBytesZero) {
  for (int ch = 0; ch < kChannelCount; ++ch) {
    TChanSet source{};
    FillDistinct(source, static_cast<std::uint8_t>(11 + ch));
    const TChanSet before = source;
    std::array<std::uint8_t, kChanFrameSize> frame{};
    frame.fill(0xEE);
    Build_chan_frame(source, ch, frame);

    const std::array<std::uint8_t, 5> header = {0x42, 0x28, 0x00, static_cast<std::uint8_t>(0x30 * ch), 0x2C};
    EXPECT_TRUE(std::equal(header.begin(), header.end(), frame.begin())) << "channel " << ch;
    EXPECT_EQ(frame[kChanFrameSize - 1], 0x00);
    EXPECT_EQ(std::memcmp(&before, &source, sizeof source), 0) << "building must not touch the record";

    TChanSet decoded;
    std::memset(&decoded, 0xA5, sizeof decoded);
    const DecodeOutcome outcome =
        Decode_chan_settings(decoded, std::span(frame).subspan<5, kChanPayloadSize>());
    EXPECT_EQ(outcome.refresh, kRefreshChanel);
    EXPECT_FALSE(outcome.numberText || outcome.yearText);

    for (std::size_t i = 0; i < kChanSetSize; ++i) {
      const bool floatLowByte = i >= 5 && i < 49 && (i - 5) % 4 == 0;
      EXPECT_EQ(ByteAt(decoded, i), floatLowByte ? 0 : ByteAt(source, i)) << "offset " << i;
    }
  }
}

TEST(Codec, ChannelPayloadUsesThreeByteFloatsAtTheWireOffsets) {
  TChanSet chan{};
  chan.Point1 = -2.5F;
  chan.OutCurrMax = 20.0F;
  chan.AdcMax = 0x0302;
  chan.OutZero = 4095;
  std::array<std::uint8_t, kChanFrameSize> frame{};
  Build_chan_frame(chan, 3, frame);
  const std::uint8_t* payload = frame.data() + 5;
  EXPECT_EQ(frame[3], 0x90);
  EXPECT_EQ((std::array{payload[8], payload[9], payload[10]}), EncodeFloat24(-2.5F));
  EXPECT_EQ((std::array{payload[35], payload[36], payload[37]}), EncodeFloat24(20.0F));
  EXPECT_EQ(payload[40], 0x02);
  EXPECT_EQ(payload[41], 0x03);
  EXPECT_EQ(payload[42], 0xFF);
  EXPECT_EQ(payload[43], 0x0F);
}

TEST(Codec, SystemFrameTakesNumberAndYearFromTheWindowTexts) {
  TSysSet sys;
  FillDistinct(sys, 3);
  std::array<std::uint8_t, kSysFrameSize> frame{};
  frame.fill(0xEE);
  Build_sys_frame(sys, "  42", " 7", frame);

  EXPECT_EQ(sys.Number, 42);
  EXPECT_EQ(sys.Year, 7);
  const std::array<std::uint8_t, 5> header = {0x42, 0x28, 0x00, 0xC0, 0x36};
  EXPECT_TRUE(std::equal(header.begin(), header.end(), frame.begin()));
  EXPECT_EQ(std::memcmp(frame.data() + 5, &sys, kSysSetSize), 0);
  EXPECT_EQ(frame[kSysFrameSize - 1], 0x00);
  EXPECT_EQ(frame[5], 42);
  EXPECT_EQ(frame[7], 7);

  struct Case {
    const char* number;
    const char* year;
    unsigned wantNumber, wantYear;
  };
  const Case cases[] = {
      {"9999", "99", 9999, 99}, {"123456", "456", 1234, 45},  // only 4 and 2 characters are read
      {"", "", 0, 0},           {"    ", "  ", 0, 0},
      {"12 4", "1_", 12, 1},    {"-5", "-1", 0, 0},  // masks forbid a sign; never wrap round
  };
  for (const Case& c : cases) {
    Build_sys_frame(sys, c.number, c.year, frame);
    EXPECT_EQ(sys.Number, c.wantNumber) << '"' << c.number << '"';
    EXPECT_EQ(sys.Year, c.wantYear) << '"' << c.year << '"';
  }
}

TEST(Codec, SystemDecodeHeadOnlyTakesNumberAndYearAlone) {
  TSysSet sys;
  FillDistinct(sys, 1);
  const TSysSet before = sys;
  std::array<std::uint8_t, kSysPayloadSize> payload{};
  payload.fill(0x55);
  payload[0] = 0x39;  // 1337
  payload[1] = 0x05;
  payload[2] = 26;

  const DecodeOutcome outcome = Decode_sys_settings(sys, payload, true);
  EXPECT_EQ(sys.Number, 1337);
  EXPECT_EQ(sys.Year, 26);
  for (std::size_t i = 3; i < kSysSetSize; ++i)
    EXPECT_EQ(ByteAt(sys, i), ByteAt(before, i)) << "offset " << i;
  EXPECT_EQ(outcome.numberText, "1337");
  EXPECT_EQ(outcome.yearText, "26");
  EXPECT_EQ(outcome.refresh, kRefreshLogic | kRefreshInterface | kRefreshLedTenu);

  Decode_sys_settings(sys, payload, false);
  EXPECT_EQ(std::memcmp(&sys, payload.data(), kSysSetSize), 0);
}

TEST(Codec, SystemDecodeZeroesOutOfRangeNumberAndYear) {
  TSysSet sys{};
  std::array<std::uint8_t, kSysPayloadSize> payload{};
  payload[0] = 12345 & 0xFF;
  payload[1] = 12345 >> 8;
  payload[2] = 150;
  payload[10] = 0x77;
  DecodeOutcome outcome = Decode_sys_settings(sys, payload, false);
  EXPECT_EQ(sys.Number, 0);
  EXPECT_EQ(sys.Year, 0);
  EXPECT_EQ(sys.CAN_1, 0x77);
  EXPECT_EQ(outcome.numberText, "   0");
  EXPECT_EQ(outcome.yearText, " 0");

  payload[0] = 7;
  payload[1] = 0;
  payload[2] = 7;
  outcome = Decode_sys_settings(sys, payload, true);
  EXPECT_EQ(outcome.numberText, "   7");
  EXPECT_EQ(outcome.yearText, " 7");
}

}  // namespace
