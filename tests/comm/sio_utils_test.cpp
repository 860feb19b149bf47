// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "comm/SioPrst.h"
#include "comm/Sioutils.h"
#include "platform/kernel.h"

namespace fs = std::filesystem;

namespace {

TEST(SioUtils, SmallRoutines) {
  EXPECT_EQ(MinInteger(3, -2), -2);
  EXPECT_EQ(CN(0), ' ');
  EXPECT_EQ(CN('A'), 'A');
  EXPECT_TRUE(BitOn(0x81, 0x80));
  EXPECT_FALSE(BitOn(static_cast<std::int32_t>(0x80000000), static_cast<std::int32_t>(0x80000000)))
      << "a signed comparison: the sign bit alone is not 'on'";
  EXPECT_TRUE(BitOff(0x81, 0x02));

  EXPECT_EQ(StrCtrl("^M^J"), "\r\n");
  EXPECT_EQ(StrCtrl("a^1"), "a^1");
  EXPECT_EQ(StrCtrl("^c^Z"), std::string("\x03\x1A"));
  EXPECT_EQ(StrCtrl("^^A"), "^^A");
  EXPECT_EQ(StrCtrl("end^"), "end^");

  EXPECT_EQ(AddPathSlash(""), "");
  const std::string slash(1, static_cast<char>(fs::path::preferred_separator));
  EXPECT_EQ(AddPathSlash("/tmp"), "/tmp" + slash);
  EXPECT_EQ(AddPathSlash("/tmp/"), "/tmp/");

  std::unique_ptr<int> held = std::make_unique<int>(5);
  FreeObject(held);
  EXPECT_EQ(held, nullptr);
}

TEST(SioUtils, FilesAndUniqueNames) {
  const fs::path dir = fs::temp_directory_path() / ("vexa_utils_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const std::string log = (dir / "log.txt").string();
  EXPECT_EQ(CreateUniqueFileName(log), log) << "a free name is kept";
  std::ofstream(log) << "12345";
  std::ofstream(dir / "log-1.txt") << "x";
  EXPECT_EQ(CreateUniqueFileName(log), (dir / "log-2.txt").string());
  EXPECT_EQ(GetFileSize(log), 5);
  EXPECT_EQ(GetFileSize((dir / "log-*.txt").string()), 1);
  EXPECT_EQ(GetFileSize((dir / "none.txt").string()), -1);
  std::ofstream(dir / "run[1].log") << "abc";
  EXPECT_EQ(GetFileSize((dir / "run[1].log").string()), 3) << "brackets are part of the name";
#ifndef _WIN32
  std::ofstream(dir / "a\\b.log") << "ab";  // a name on Linux, a folder and a name on Windows
  EXPECT_EQ(GetFileSize((dir / "a\\b.log").string()), 2);
#endif
  fs::remove_all(dir);
}

TEST(SioTimers, TimedExpireAfterTheirTimeAcrossTheWrap) {
  TSioTimeEvent timer;
  InitTimer(timer, 0);
  // The tick is 1 ms on Linux and coarser on Windows: wait for it to move.
  for (int i = 0; i < 100 && platform::GetTickCount() == timer.start; ++i) platform::Sleep(1);
  EXPECT_TRUE(TimerExpired(timer)) << "a timer of 0 ms expires once the tick has moved";

  platform::SetTickCountBiasForTesting(0xFFFFFFFFU - platform::GetTickCount() - 20);
  const auto started = std::chrono::steady_clock::now();
  InitTimer(timer, 200);
  EXPECT_FALSE(TimerExpired(timer));
  platform::Sleep(40);  // now past the wrap
  // A loaded machine may oversleep; the check only means something while well inside the time.
  if (std::chrono::steady_clock::now() - started < std::chrono::milliseconds(180)) {
    EXPECT_FALSE(TimerExpired(timer));
  }
  // Past the time by more than a tick, which is coarse on Windows.
  while (std::chrono::steady_clock::now() - started < std::chrono::milliseconds(230)) platform::Sleep(5);
  EXPECT_TRUE(TimerExpired(timer));
  platform::SetTickCountBiasForTesting(0);

  int pumped = 0;
  SetSioMessagePump([&] { ++pumped; });
  SysDelay(10, true);
  SysDelay(5, false);
  SetSioMessagePump(nullptr);
  EXPECT_GT(pumped, 0);
}

TEST(SioSettings, UpdateCounterAndAssign) {
  TSioBuffers buffers;
  int calls = 0;
  buffers.SetOnChange([&](TSioPersistent*) { ++calls; });
  buffers.SetReadSize(4096);
  EXPECT_EQ(calls, 0) << "unchanged value: no notice";
  buffers.SetReadTimeout(5);
  EXPECT_EQ(calls, 0) << "time-outs never notify";
  buffers.SetWriteSize(100);
  EXPECT_EQ(calls, 1);
  TSioBuffers other;
  other.SetXonLimit(7);
  other.SetXoffLimit(9);
  buffers.Assign(other);
  EXPECT_EQ(calls, 2) << "Assign notifies once";
  EXPECT_EQ(buffers.WriteSize(), 2048);

  TSioEventChars chars;
  int charCalls = 0;
  chars.SetOnChange([&](TSioPersistent*) { ++charCalls; });
  chars.SetEventChar(1, 17);
  EXPECT_EQ(charCalls, 1) << "event characters always notify";
  EXPECT_EQ(chars.XoffChar(), 19);
}

}  // namespace
