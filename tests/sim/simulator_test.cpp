// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "settings/float24.h"
#include "sim/adapter.h"
#include "sim/pty_simulator.h"
#include "tests/support/pty.h"

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

namespace {

// A client on the slave side, as the tool would be, but with plain system calls.
class Client {
 public:
  explicit Client(const std::string& path) : fd_(testing_support::OpenRawTerminal(path)) {}
  ~Client() { ::close(fd_); }

  void Send(const Bytes& bytes) {
    ASSERT_EQ(::write(fd_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }

  // Collects bytes until none came for quietMs, the first waited for up to a second (a simulator
  // thread that a busy machine holds back is late, not silent); arrival times kept per byte.
  Bytes Receive(int quietMs = 150, std::vector<double>* arrivals = nullptr) {
    Bytes got;
    for (;;) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, got.empty() ? std::max(quietMs, 1000) : quietMs) <= 0 || !(p.revents & POLLIN))
        return got;
      std::uint8_t buffer[256];
      const ssize_t n = ::read(fd_, buffer, sizeof buffer);
      if (n <= 0) {
        failed_ = true;
        return got;
      }
      const double at = std::chrono::duration<double, std::milli>(Clock::now().time_since_epoch()).count();
      for (ssize_t i = 0; i < n; ++i) {
        got.push_back(buffer[i]);
        if (arrivals) arrivals->push_back(at);
      }
    }
  }

  Bytes Ask(const Bytes& request) {
    Send(request);
    return Receive();
  }
  bool ReadFailed() {
    std::uint8_t byte;
    const ssize_t n = ::read(fd_, &byte, 1);
    return n == 0 || (n < 0 && errno != EAGAIN);
  }

 private:
  int fd_;
  bool failed_ = false;
};

double MaxGap(const std::vector<double>& arrivals) {
  double gap = 0;
  for (std::size_t i = 1; i < arrivals.size(); ++i) gap = std::max(gap, arrivals[i] - arrivals[i - 1]);
  return gap;
}

Bytes Connect(Client& client) {
  Bytes all;
  for (const Bytes& step : {Bytes{0x10, 0x28, 0x30}, Bytes{0x10, 0x22, 0x30}, Bytes{0x40, 0x28, 0x00}}) {
    const Bytes answer = client.Ask(step);
    all.insert(all.end(), answer.begin(), answer.end());
  }
  return all;
}

Bytes Header(std::uint8_t cmd, std::uint16_t address, std::uint8_t count) {
  return {cmd, 0x28, static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address), count};
}

Bytes ReadRequest(std::uint16_t address, std::uint8_t count) {
  Bytes r = Header(0x44, address, count);
  r.push_back(0x00);
  return r;
}

Bytes WriteRequest(std::uint16_t address, const Bytes& data) {
  Bytes r = Header(0x42, address, static_cast<std::uint8_t>(data.size()));
  r.insert(r.end(), data.begin(), data.end());
  r.push_back(0x00);
  return r;
}

TEST(Simulator, HandshakeStatusReadAndWriteByteForByte) {
  sim::PtySimulator simulator;
  Client client(simulator.DevicePath());
  EXPECT_EQ(Connect(client), (Bytes{0x10, 0x28, 0x10, 0x22, 0x40, 0x28}));

  const Bytes status = client.Ask(ReadRequest(0x01C0, 0x10));
  ASSERT_EQ(status.size(), 5U + 16U);
  EXPECT_EQ(Bytes(status.begin(), status.begin() + 5), Header(0x44, 0x01C0, 0x10));
  EXPECT_EQ(status[5] | status[6] << 8, 123) << "version 1.23";
  EXPECT_EQ(status[20] & 0x08, 0x08) << "start blocking right after power-up";

  const Bytes channel = client.Ask(ReadRequest(0x0130, 0x0B));
  ASSERT_EQ(channel.size(), 16U);
  EXPECT_EQ(Bytes(channel.begin(), channel.begin() + 5), Header(0x44, 0x0130, 0x0B));

  const Bytes head = client.Ask(ReadRequest(0x00C0, 3));
  EXPECT_EQ(head, (Bytes{0x44, 0x28, 0x00, 0xC0, 0x03, 1234 & 0xFF, 1234 >> 8, 26}));

  const sim::ModuleMemory before = simulator.Working();
  Bytes sys(before.sys.begin(), before.sys.end());
  const Bytes read = client.Ask(ReadRequest(0x00C0, 0x36));
  EXPECT_EQ(Bytes(read.begin() + 5, read.end()), sys);

  sys[0] = 0x39;  // 57
  sys[1] = 0x00;
  sys[40] = 0x75;
  EXPECT_EQ(client.Ask(WriteRequest(0x00C0, sys)), Header(0x42, 0x00C0, 0x36));
  Bytes chan(44, 0);
  for (std::size_t i = 0; i < chan.size(); ++i) chan[i] = static_cast<std::uint8_t>(i * 3);
  EXPECT_EQ(client.Ask(WriteRequest(0x0090, chan)), Header(0x42, 0x0090, 0x2C));
  const sim::ModuleMemory after = simulator.Working();
  EXPECT_EQ(Bytes(after.sys.begin(), after.sys.end()), sys);
  EXPECT_EQ(Bytes(after.chan[3].begin(), after.chan[3].end()), chan);
  const Bytes back = client.Ask(ReadRequest(0x0090, 0x2C));
  EXPECT_EQ(Bytes(back.begin() + 5, back.end()), chan);

  // Set-up step 1 leaves module mode: module requests go unanswered until the module is opened.
  EXPECT_EQ(client.Ask({0x10, 0x28, 0x30}), (Bytes{0x10, 0x28}));
  EXPECT_TRUE(client.Ask(ReadRequest(0x01C0, 0x10)).empty());

  const auto log = simulator.Log();
  ASSERT_GE(log.size(), 2U);
  EXPECT_TRUE(log[0].request);
  EXPECT_EQ(log[0].bytes, (Bytes{0x10, 0x28, 0x30}));
  EXPECT_FALSE(log[1].request);
}

TEST(Simulator, TimedAnswerIsPacedLikeTheLine) {
#ifdef __SANITIZE_THREAD__
  GTEST_SKIP() << "ThreadSanitizer slows the pacing thread by milliseconds; the other builds time it";
#endif
  sim::PtySimulator simulator;
  Client client(simulator.DevicePath());
  Connect(client);
  // 58 byte times of 0.52 ms between the first byte and the last. The grid has no gaps, but a
  // reader on a busy machine wakes late by a few ms, so a gap counts only above a quarter of the
  // span: an answer held back and then written in pieces shows one. One of ten answers must pass.
  const double lineSpan = 58 * 10.0 / 19.2;
  const double gapLimit = lineSpan / 4;
  std::string seen;
  bool paced = false;
  for (int attempt = 0; attempt < 10 && !paced; ++attempt) {
    std::vector<double> arrivals;
    client.Send(ReadRequest(0x00C0, 0x36));
    const Bytes answer = client.Receive(60, &arrivals);
    ASSERT_EQ(answer.size(), 59U);
    const double span = arrivals.back() - arrivals.front();
    paced = std::abs(span - lineSpan) <= 4.0 && MaxGap(arrivals) <= gapLimit;
    seen += " span " + std::to_string(span) + " gap " + std::to_string(MaxGap(arrivals)) + ";";
  }
  EXPECT_TRUE(paced) << "expected span " << lineSpan << " ms, no gap above " << gapLimit << " ms; seen"
                     << seen;
}

TEST(Simulator, StoreAndResetKeepOrBringBackSettings) {
  const auto state =
      std::filesystem::temp_directory_path() / ("vexa_sim_state_" + std::to_string(::getpid()));
  std::filesystem::remove(state);
  {
    sim::Options options;
    options.stateFile = state;
    sim::PtySimulator simulator(options);
    Client client(simulator.DevicePath());
    Connect(client);
    client.Ask(WriteRequest(0x00C0, {0x11, 0x11, 0x05}));
    EXPECT_EQ(client.Ask(WriteRequest(0xFFE2, {0x53})), Header(0x42, 0xFFE2, 0x01));
    client.Ask(WriteRequest(0x00C0, {0x22, 0x00, 0x09}));
    EXPECT_EQ(client.Ask(ReadRequest(0x00C0, 3)), (Bytes{0x44, 0x28, 0x00, 0xC0, 0x03, 0x22, 0x00, 0x09}));
    EXPECT_EQ(client.Ask(WriteRequest(0xFFE0, {0xF2})), Header(0x42, 0xFFE0, 0x01));
    EXPECT_EQ(client.Ask(ReadRequest(0x00C0, 3)), (Bytes{0x44, 0x28, 0x00, 0xC0, 0x03, 0x11, 0x11, 0x05}))
        << "reset brings back what was stored";
  }
  // A new run with the same state file starts from the stored settings.
  sim::Options options;
  options.stateFile = state;
  sim::PtySimulator simulator(options);
  EXPECT_EQ(simulator.Working().sys[0], 0x11);
  std::filesystem::remove(state);
}

TEST(Simulator, FaultsGiveTheirAnswers) {
  sim::PtySimulator simulator;
  Client client(simulator.DevicePath());

  sim::Faults f;
  f.setupRefused = true;
  simulator.SetFaults(f);
  EXPECT_EQ(client.Ask({0x10, 0x28, 0x30}), (Bytes{0x90, 0x28}));
  f = {};
  f.noModule = true;
  simulator.SetFaults(f);
  EXPECT_EQ(client.Ask({0x40, 0x28, 0x00}), (Bytes{0xC0, 0x28}));
  simulator.SetFaults({});
  Connect(client);

  f = {};
  f.refuseReadAt = 0x01C0;
  f.refuseWriteAt = 0xFFE0;
  simulator.SetFaults(f);
  EXPECT_EQ(client.Ask(ReadRequest(0x01C0, 0x10)), Header(0xC4, 0x01C0, 0x10));
  EXPECT_EQ(client.Ask(WriteRequest(0xFFE0, {0x40})), Header(0xC2, 0xFFE0, 0x01));
  EXPECT_EQ(client.Ask(ReadRequest(0x5000, 1)), Header(0xC4, 0x5000, 0x01)) << "unmapped memory";

  f = {};
  f.noAnswer = true;
  simulator.SetFaults(f);
  EXPECT_TRUE(client.Ask(ReadRequest(0x01C0, 0x10)).empty());

  f = {};
  f.cutTo = 7;
  simulator.SetFaults(f);
  EXPECT_EQ(client.Ask(ReadRequest(0x01C0, 0x10)).size(), 7U);

  f = {};
  f.delayMs = 40;
  simulator.SetFaults(f);
  const auto start = Clock::now();
  client.Send(ReadRequest(0x01C0, 0x10));
  std::vector<double> arrivals;
  client.Receive(100, &arrivals);
  ASSERT_FALSE(arrivals.empty());
  using Ms = std::chrono::duration<double, std::milli>;
  const double sent = Ms(start.time_since_epoch()).count();
  EXPECT_GE(arrivals.front() - sent, 40.0);

  f = {};
  f.gapMs = 15;
  simulator.SetFaults(f);
  arrivals.clear();
  client.Send(ReadRequest(0x01C0, 0x10));
  EXPECT_EQ(client.Receive(100, &arrivals).size(), 21U);
#ifndef __SANITIZE_THREAD__  // which delays the reads by milliseconds
  // Far above a byte time; a loaded machine reads the byte before the gap late, shortening it.
  EXPECT_GE(MaxGap(arrivals), 10.0);
#endif

  f = {};
  f.corruptProbability = 1.0;
  simulator.SetFaults(f);
  const Bytes corrupted = client.Ask(ReadRequest(0x00C0, 3));
  ASSERT_EQ(corrupted.size(), 8U);
  EXPECT_NE(corrupted[0], 0x44);
  f = {};
  f.dropProbability = 0.5;
  f.seed = 7;
  simulator.SetFaults(f);
  EXPECT_LT(client.Ask(ReadRequest(0x00C0, 0x36)).size(), 59U);

  f = {};
  f.hangUpAfter = 0;
  simulator.SetFaults(f);
  client.Ask(ReadRequest(0x01C0, 0x10));
  const auto deadline = Clock::now() + std::chrono::seconds(2);
  while (!simulator.HungUp() && Clock::now() < deadline) usleep(1000);
  EXPECT_TRUE(simulator.HungUp());
  EXPECT_TRUE(client.ReadFailed()) << "the client's reads fail once the line is gone";
}

// A long faulty line: every kind of random fault occurs, at the rate asked for, the same for a seed.
TEST(Simulator, RandomFaultsAtARateAndSeed) {
  const auto run = [](double rate, unsigned seed) {
    sim::VexaModule module;
    sim::Adapter adapter(module);
    sim::Faults f;
    f.faultRate = rate;
    f.seed = seed;
    adapter.SetFaults(f);
    adapter.Receive({0x40, 0x28, 0x00}, 0);
    std::size_t answered = 0;
    for (int i = 0; i < 3000; ++i)
      for (const sim::Exchange& e : adapter.Receive({0x44, 0x28, 0x01, 0xC0, 0x10, 0x00}, i * 100.0))
        answered += e.answer.has_value() ? 1 : 0;
    return std::pair{adapter.Injected(), answered};
  };
  const auto [all, answered] = run(1.0, 3);
  EXPECT_GT(all.dropped, 300U);
  EXPECT_GT(all.cut, 300U);
  EXPECT_GT(all.changed, 300U);
  EXPECT_GT(all.delayed, 300U);
  EXPECT_GT(all.extra, 300U);
  EXPECT_GT(all.refused, 300U);
  EXPECT_EQ(answered, 3000U - all.dropped);
  const auto [some, unused] = run(0.01, 3);
  EXPECT_GT(some.Total(), 10U);
  EXPECT_LT(some.Total(), 60U) << "about 1 % of 3000";
  EXPECT_EQ(run(0.01, 3).first.Total(), some.Total()) << "the same seed, the same faults";
}

TEST(Simulator, LiveDataFollowTheSettings) {
  sim::PtySimulator simulator;
  Client client(simulator.DevicePath());
  Connect(client);
  simulator.PinAdc(0, 500.0);  // parameter 50 with the default coefficients
  Bytes live = client.Ask(ReadRequest(0x0100, 0x0B));
  ASSERT_EQ(live.size(), 16U);
  EXPECT_NEAR(DecodeFloat24(std::span<const std::uint8_t, 3>(live.data() + 5, 3)), 50.0F, 0.01F);
  EXPECT_NEAR(DecodeFloat24(std::span<const std::uint8_t, 3>(live.data() + 8, 3)), 10.0F, 0.01F);
  EXPECT_EQ(live[11] | live[12] << 8, 500);
  EXPECT_EQ(live[13] | live[14] << 8, 2000) << "DAC = 40 x parameter";
  EXPECT_EQ(live[15] & 0x10, 0x10) << "set-point 1 (40) is below the value";
  EXPECT_EQ(live[15] & 0x20, 0x00) << "set-point 2 (60) is above it";

  // Set-point 2 moved below the value lights its bit; inverted, it goes out again.
  const auto point = EncodeFloat24(45.0F);
  client.Ask(WriteRequest(0x0008, Bytes(point.begin(), point.end())));
  live = client.Ask(ReadRequest(0x0100, 0x0B));
  EXPECT_EQ(live[15] & 0x20, 0x20);
  client.Ask(WriteRequest(0x0004, {0x20}));  // format byte: set-point 2 inverted
  live = client.Ask(ReadRequest(0x0100, 0x0B));
  EXPECT_EQ(live[15] & 0x20, 0x00);

  // Blocking the outputs shows in module status bit 4; releasing clears it.
  EXPECT_EQ(client.Ask(WriteRequest(0xFFE0, {0x40})), Header(0x42, 0xFFE0, 0x01));
  Bytes status = client.Ask(ReadRequest(0x01C0, 0x10));
  EXPECT_EQ(status[20] & 0x10, 0x10);
  EXPECT_EQ(status[9] & 0x01, 0x01) << "output 1 follows set-point 1 of channel 1";
  client.Ask(WriteRequest(0xFFE0, {0x41}));
  status = client.Ask(ReadRequest(0x01C0, 0x10));
  EXPECT_EQ(status[20] & 0x10, 0x00);
}

}  // namespace
