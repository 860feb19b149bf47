// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "comm/SioComm.h"
#include "link/link_engine.h"
#include "settings/settings_codec.h"
#include "sim/pty_simulator.h"
#include "tests/support/gui_pump.h"

namespace {

using Clock = std::chrono::steady_clock;

class CommPort : public ILinkPort {
 public:
  explicit CommPort(TSioComm& comm) : comm_(comm) {}
  void WriteByte(std::uint8_t byte) override { comm_.WriteChar(static_cast<char>(byte)); }
  bool ReadByte(std::uint8_t& byte) override {
    char ch;
    if (!comm_.ReadChar(ch)) return false;
    byte = static_cast<std::uint8_t>(ch);
    return true;
  }
  int Waiting() override { return UnreadBytes(comm_); }

 private:
  TSioComm& comm_;
};

// Records when each exchange was sent and dispatched, in ticks.
class Window : public ILinkWindow {
 public:
  explicit Window(TSioComm& comm) : comm_(comm) {}
  void Status_connect() override {}
  void Status_no_connect() override { comm_.Close(); }
  void SetExchangeLamp(std::uint32_t color) override {
    if (color == kColorLime) cycleStart = *ticks;  // a status cycle's first request goes out
  }
  void MessageBox(std::string_view text, std::string_view) override { boxes.emplace_back(text); }
  void Out_module_status(const std::uint8_t* data) override {
    moduleStatus = data[15];
    ++moduleAnswers;
  }
  void Out_chanel_status(int ch, const std::uint8_t*) override {
    if (ch != 3) return;
    ++cycles;
    cycleTicks.push_back(*ticks - cycleStart);
  }
  std::string NumberText() override { return "  57"; }
  std::string YearText() override { return "26"; }
  void ShowNumberAndYear(const std::string&, const std::string&) override {}
  void RefreshViews(unsigned) override {}
  bool Timer2Running() override { return timer2; }
  void StartTimer2() override { timer2 = true; }
  void StopTimer2() override { timer2 = false; }

  const long* ticks = nullptr;
  long cycleStart = 0;
  std::vector<long> cycleTicks;
  std::vector<std::string> boxes;
  int cycles = 0, moduleAnswers = 0;
  std::uint8_t moduleStatus = 0;
  bool timer2 = false;

 private:
  TSioComm& comm_;
};

TEST(LinkIntegration, TimedEngineWithTheComponentAndTheSimulator) {
  TSioCustomComm::SetClosePause(0);
  sim::PtySimulator simulator;
  testing_support::GuiPump pump;
  TModuleSettings record{};
  {
    TSioComm comm;
    comm.SetSyncCall([&](const std::function<void()>& step) { pump.Call(step); });
    comm.SetDeviceName(simulator.DevicePath());
    comm.SetBaudrate(br19200);
    CommPort port(comm);
    Window window(comm);
    LinkEngine engine(port, window, record);
    comm.OnRxChar = [&](TSioCustomComm*, int count) { engine.SioComm1OnRxChar(count); };

    // The event loop: steps of the serial component as they come, a tick every 10 ms.
    long ticks = 0;
    window.ticks = &ticks;
    auto next = Clock::now();
    const auto runUntil = [&](const std::function<bool()>& done, long maxTicks) {
      for (long n = 0; n < maxTicks; ++n) {
        // As a timer does: after a stall the next tick is 10 ms away, not due at once.
        next = std::max(next, Clock::now()) + std::chrono::milliseconds(10);
        pump.PumpUntil([&] { return Clock::now() >= next; }, std::chrono::milliseconds(50));
        engine.Timer1Timer();
        if (window.timer2) engine.Timer2Timer();
        ++ticks;
        if (done()) return true;
      }
      return false;
    };

    comm.Open();
    engine.Request_code = Req_setup;
    ASSERT_TRUE(runUntil([&] { return engine.Connected && !engine.Wait_reply; }, 200));
    EXPECT_EQ(record.SysSet.Number, 1234) << "the header read brings the module's number";

    // Status cycles; each five exchanges long.
    ASSERT_TRUE(runUntil([&] { return window.cycles >= 3; }, 400));

    // Settings read.
    engine.Request_code = Req_read_param;
    long start = ticks;
    ASSERT_TRUE(runUntil([&] { return !window.boxes.empty(); }, 300));
    const long readTicks = ticks - start;
    EXPECT_EQ(window.boxes.back(), "Параметры работы из модуля прочитаны.");
    EXPECT_FLOAT_EQ(record.ChanSet[0].ParamCoff_B, 0.0999984741F) << "the simulator's default, as 24 bits";

    // Settings write: the module's memory then holds the record's wire image.
    record.ChanSet[2].Point0 = 12.5F;
    record.ChanSet[2].OutZero = 77;
    record.SysSet.Logic[3] = 0x5B;
    engine.Request_code = Req_write_param;
    start = ticks;
    ASSERT_TRUE(runUntil([&] { return window.boxes.size() == 2; }, 300));
    const long writeTicks = ticks - start;
    EXPECT_EQ(window.boxes.back(), "Параметры работы в модуль загружены.");
    const sim::ModuleMemory memory = simulator.Working();
    std::array<std::uint8_t, kChanFrameSize> frame{};
    for (int ch = 0; ch < 4; ++ch) {
      Build_chan_frame(record.ChanSet[ch], ch, frame);
      EXPECT_EQ(std::memcmp(memory.chan[ch].data(), frame.data() + 5, kChanPayloadSize), 0)
          << "channel " << ch;
    }
    EXPECT_EQ(std::memcmp(memory.sys.data(), &record.SysSet, kSysSetSize), 0);
    EXPECT_EQ(record.SysSet.Number, 57) << "number from the window's field";

    // Disconnect.
    engine.Disconnect_req = 1;
    engine.Request_code = Req_setup;
    ASSERT_TRUE(runUntil([&] { return !comm.Active(); }, 200));
    EXPECT_EQ(engine.Connected, 0);

    // Lengths in ticks beside the protocol's bound. An exchange sent on tick T whose answer's last
    // byte arrives L ms later (2 ms turnaround, 0.52 ms a byte) is dispatched no earlier than on tick
    // T + floor(L / 10) + 4 (three quiet ticks, then the dispatch), and the dispatch sends the next.
    const auto bound = [](std::initializer_list<int> answerBytes) {
      long total = 0;
      for (int n : answerBytes) total += static_cast<long>((2.0 + n * 10.0 / 19.2) / 10) + 4;
      return total;
    };
    const long statusBound = bound({21, 16, 16, 16, 16});
    const long readBound = bound({59, 49, 49, 49, 49}) + 1;  // + the tick that sends the first request
    const long writeBound = bound({5, 5, 5, 5, 5}) + 1;
    // The target is one tick per exchange above the bound; a loaded test machine delays answers in
    // tick terms, so the check here is only that nothing waits for a time-out or a poll.
    for (long cycle : window.cycleTicks) EXPECT_LE(cycle, 2 * statusBound);
    EXPECT_LE(readTicks, 2 * readBound);
    EXPECT_LE(writeTicks, 2 * writeBound);
    std::printf("status cycle: %ld ticks (first of %zu), bound %ld\n", window.cycleTicks.front(),
                window.cycleTicks.size(), statusBound);
    std::printf("settings read: %ld ticks, bound %ld\n", readTicks, readBound);
    std::printf("settings write: %ld ticks, bound %ld\n", writeTicks, writeBound);
  }
  EXPECT_TRUE(pump.PumpUntil([] { return TSioThread::RunningCount() == 0; }));
  TSioCustomComm::SetClosePause(300);
}

}  // namespace
