// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "comm/SioComm.h"
#include "sim/pty_simulator.h"
#include "tests/support/gui_pump.h"

namespace {

// The serial component and the simulator together, as the tool will use them: the handshake and a
// status read, every byte written with WriteChar and read in OnRxChar.
TEST(CommWithSimulator, HandshakeAndStatusThroughTheComponent) {
  TSioCustomComm::SetClosePause(0);
  sim::PtySimulator simulator;
  testing_support::GuiPump pump;
  std::string received;
  {
    TSioComm comm;
    comm.SetSyncCall([&](const std::function<void()>& step) { pump.Call(step); });
    comm.SetDeviceName(simulator.DevicePath());
    comm.SetBaudrate(br19200);
    comm.OnRxChar = [&](TSioCustomComm* sender, int count) {
      for (int i = 0; i < count; ++i) {
        char ch;
        if (sender->ReadChar(ch)) received += ch;
      }
    };
    comm.Open();
    const auto ask = [&](const std::string& request, std::size_t answerSize) {
      received.clear();
      for (const char ch : request) EXPECT_TRUE(comm.WriteChar(ch));
      EXPECT_TRUE(pump.PumpUntil([&] { return received.size() >= answerSize; }));
      return received;
    };
    EXPECT_EQ(ask(std::string("\x10\x28\x30", 3), 2), std::string("\x10\x28", 2));
    EXPECT_EQ(ask(std::string("\x10\x22\x30", 3), 2), std::string("\x10\x22", 2));
    EXPECT_EQ(ask(std::string("\x40\x28\x00", 3), 2), std::string("\x40\x28", 2));
    const std::string status = ask(std::string("\x44\x28\x01\xC0\x10\x00", 6), 21);
    ASSERT_EQ(status.size(), 21U);
    EXPECT_EQ(static_cast<unsigned char>(status[5]), 123);
  }
  EXPECT_TRUE(pump.PumpUntil([] { return TSioThread::RunningCount() == 0; }));
  TSioCustomComm::SetClosePause(300);
}

// An adapter pulled and plugged back (a new device, possibly at the same path): a component that
// saw the old one vanish opens and talks to the new one.
TEST(CommWithSimulator, DeviceBackAfterAHangUp) {
  TSioCustomComm::SetClosePause(0);
  testing_support::GuiPump pump;
  std::string received;
  {
    TSioComm comm;
    comm.SetSyncCall([&](const std::function<void()>& step) { pump.Call(step); });
    comm.SetBaudrate(br19200);
    comm.OnRxChar = [&](TSioCustomComm* sender, int count) {
      for (int i = 0; i < count; ++i) {
        char ch;
        if (sender->ReadChar(ch)) received += ch;
      }
    };
    auto first = std::make_unique<sim::PtySimulator>();
    comm.SetDeviceName(first->DevicePath());
    comm.Open();
    sim::Faults pulled;
    pulled.hangUpAfter = 0;
    first->SetFaults(pulled);
    for (const char ch : std::string("\x10\x28\x30", 3)) comm.WriteChar(ch);
    EXPECT_TRUE(pump.PumpUntil([&] { return first->HungUp(); }));
    pump.PumpFor(std::chrono::milliseconds(100));
    comm.Close();
    first.reset();
    sim::PtySimulator second;
    comm.SetDeviceName(second.DevicePath());
    comm.Open();
    received.clear();
    for (const char ch : std::string("\x10\x28\x30", 3)) EXPECT_TRUE(comm.WriteChar(ch));
    EXPECT_TRUE(pump.PumpUntil([&] { return received.size() >= 2; })) << "log " << second.Log().size();
    EXPECT_EQ(received, std::string("\x10\x28", 2));
  }
  EXPECT_TRUE(pump.PumpUntil([] { return TSioThread::RunningCount() == 0; }));
  TSioCustomComm::SetClosePause(300);
}

}  // namespace
