// SPDX-License-Identifier: GPL-3.0-or-later
// A long faulty line, on a clock the test moves: each fault the simulator injects is counted by the
// record of exchanges as what it was, kind by kind.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "link/exchange_record.h"
#include "sim/in_process_line.h"
#include "tests/link/fakes.h"

namespace {

class LinePort : public ILinkPort {
 public:
  explicit LinePort(sim::InProcessLine& line) : line_(line) {}
  void WriteByte(std::uint8_t byte) override { line_.Write(byte); }
  bool ReadByte(std::uint8_t& byte) override { return line_.Read(byte); }
  int Waiting() override { return 0; }  // the line's bytes come on the ticks that make them due

 private:
  sim::InProcessLine& line_;
};

TEST(FaultyLine, EachInjectedFaultIsCountedAsWhatItWas) {
  double now = 0;
  sim::Options options;
  options.faults.faultRate = 0.1;
  options.faults.seed = 1;
  options.keepLog = false;
  sim::InProcessLine line(options, [&] { return now; });
  LinePort port(line);
  link_test::FakeWindow window;
  TModuleSettings record{};
  LinkEngine engine(port, window, record);
  const auto epoch = std::chrono::steady_clock::time_point{};
  ExchangeRecord exchanges(
      [] { return std::chrono::system_clock::time_point{}; },
      [&] { return epoch + std::chrono::microseconds(static_cast<long long>(now * 1000)); });
  engine.SetExchangeRecord(&exchanges);

  // Polled as the window polls, the line closed when the link is lost (what is still on its way is
  // lost with it); the engineer connects again a second later.
  int downTicks = 0;
  std::size_t downs = 0;
  while (exchanges.Counters().exchanges < 1500 || engine.Wait_reply || engine.Poll_count != 10) {
    now += 10;
    if (const std::size_t due = line.Due(); due > 0) engine.SioComm1OnRxChar(static_cast<int>(due));
    engine.Timer1Timer();
    for (; downs < window.log.size(); ++downs)
      if (window.log[downs] == "no_connect") line.Close();
    if (engine.Connected || engine.Wait_reply || engine.Request_code != 0) {
      downTicks = 0;
    } else if (++downTicks == 100) {
      engine.Disconnect_req = 0;
      engine.Request_code = Req_setup;
    }
    ASSERT_LT(now, 3600'000) << "the engine stopped polling";
  }

  const sim::FaultCounts injected = line.Injected();
  const ExchangeCounters& n = exchanges.Counters();
  EXPECT_GE(injected.Total(), 100U) << "enough faults to tell";
  EXPECT_GT(injected.delayed, 0U);
  EXPECT_EQ(n.noAnswer, injected.dropped);
  EXPECT_EQ(n.cut, injected.cut + injected.restLost) << "a rest the closing cut off leaves it cut";
  EXPECT_EQ(n.late, injected.delayed - injected.restLost);
  EXPECT_EQ(n.garbled, injected.changed + injected.overlapped) << "a late rest is the next answer's start";
  EXPECT_EQ(n.tooLong, injected.extra);
  EXPECT_EQ(n.refused, injected.refused);
  EXPECT_EQ(n.answered, n.exchanges - injected.Total() - injected.overlapped);
  // What the window said: no answer for each exchange without one, as the counter says.
  EXPECT_EQ(static_cast<std::uint64_t>(std::count(window.boxes.begin(), window.boxes.end(),
                                                  "Ошибка связи: Нет ответа от модуля Ixor")),
            n.noAnswer);
}

}  // namespace
