// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <dirent.h>
#include <termios.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "comm/SioComm.h"
#include "platform/kernel.h"
#include "tests/support/gui_pump.h"
#include "tests/support/pty.h"

using namespace std::chrono_literals;
using testing_support::GuiPump;
using testing_support::Pty;
using namespace platform;

namespace {

int ProcessThreads() {
  int n = 0;
  if (DIR* d = opendir("/proc/self/task")) {
    while (const dirent* e = readdir(d)) n += e->d_name[0] != '.';
    closedir(d);
  }
  return n;
}

class CommTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TSioCustomComm::SetClosePause(0);
    comm_ = std::make_unique<TSioComm>();
    comm_->SetSyncCall([this](const std::function<void()>& step) { pump_.Call(step); });
    comm_->SetDeviceName(pty_.slave());
    comm_->SetBaudrate(br19200);
  }
  void TearDown() override {
    comm_.reset();
    // Workers end by themselves; a step they still wait on must be run (it finds no component).
    EXPECT_TRUE(pump_.PumpUntil([] { return TSioThread::RunningCount() == 0; }));
    TSioCustomComm::SetClosePause(300);
  }

  GuiPump pump_;
  Pty pty_;
  std::unique_ptr<TSioComm> comm_;
};

TEST_F(CommTest, RxCharCountsWaitingBytesAndLeftoversComeWithNewOnes) {
  std::vector<int> counts;
  std::string read;
  comm_->OnRxChar = [&](TSioCustomComm* sender, int count) {
    counts.push_back(count);
    char ch;
    if (sender->ReadChar(ch)) read += ch;  // reads one byte only
  };
  comm_->Open();
  pty_.Write("ab");
  ASSERT_TRUE(pump_.PumpUntil([&] { return !counts.empty(); }));
  EXPECT_EQ(counts, std::vector<int>{2});
  pump_.PumpFor(150ms);
  EXPECT_EQ(counts.size(), 1U) << "the byte left over does not signal again";
  pty_.Write("c");
  ASSERT_TRUE(pump_.PumpUntil([&] { return counts.size() == 2; }));
  EXPECT_EQ(counts[1], 2);
  EXPECT_EQ(read, "ab");
  char ch = 0;
  EXPECT_TRUE(comm_->ReadChar(ch));
  EXPECT_EQ(ch, 'c');
  EXPECT_FALSE(comm_->ReadChar(ch)) << "nothing waiting: false at once";
}

class Recorder : public TSioCommComponent {
 public:
  void DataChanged(PSioData data, int count) override {
    log += "data:" + std::string(reinterpret_cast<const char*>(data), static_cast<std::size_t>(count)) + ";";
  }
  void LineChanged(platform::DWORD mask) override { log += "line:" + std::to_string(mask) + ";"; }
  std::string log;
};

// Unsafe corners: counts that are not counts, a handler destroying a later client, pointers left to
// a freed display or port, an index outside the table, an open that would run handlers on workers.
TEST_F(CommTest, UnsafeCornersAreRefused) {
  TSioComm unsynced;
  unsynced.SetDeviceName(pty_.slave());
  try {
    unsynced.Open();
    FAIL() << "opened without a synchronous call";
  } catch (const ESioCommError& e) {
    EXPECT_STREQ(e.what(), "No synchronous call set: events cannot reach the user's thread");
  }
  EXPECT_FALSE(unsynced.Active());

  EXPECT_EQ(comm_->EventChars().EventChar(0), '\0');
  EXPECT_EQ(comm_->EventChars().EventChar(6), '\0');

  comm_->Buffers().SetWriteTimeout(50);
  for (bool direct : {false, true}) {
    comm_->SetDirectWrite(direct);
    comm_->Open();
    const char bytes[4] = {'a', 'b', 'c', 'd'};
    char into[4] = {};
    EXPECT_EQ(comm_->WriteBuf(bytes, -1), 0);
    EXPECT_EQ(comm_->WriteBuf(bytes, 0), 0);
    pty_.Write("123456");  // more than the caller's 4 bytes are waiting
    ASSERT_TRUE(pump_.PumpUntil([&] { return comm_->ReadBufUsed() == 6; }));
    EXPECT_EQ(comm_->ReadBuf(into, -1), 0);
    EXPECT_EQ(comm_->ReadBuf(into, 4), 4) << "the bytes were there";
    EXPECT_EQ(comm_->WriteBufUsed(), 0);
    EXPECT_EQ(pty_.Read(1, 100ms), "") << "nothing was sent, direct " << direct;
    comm_->Close();
  }

  // The first client's handler destroys the second, which must then not be called.
  auto second = std::make_unique<Recorder>();
  struct Destroyer : Recorder {
    std::unique_ptr<Recorder>* victim = nullptr;
    void DataChanged(PSioData data, int count) override {
      Recorder::DataChanged(data, count);
      victim->reset();
    }
  } first;
  first.victim = &second;
  first.SetComm(comm_.get());
  second->SetComm(comm_.get());
  comm_->Open();
  pty_.Write("x");
  ASSERT_TRUE(pump_.PumpUntil([&] { return !first.log.empty(); }));
  EXPECT_EQ(second, nullptr);
  first.SetComm(nullptr);
  comm_->Close();

  // A display destroyed before its port, and a port destroyed before its display and its client.
  struct Display : TSioDisplayBase {
    void UpdateDisplay(TSioCustomComm*) override { ++updates; }
    int updates = 0;
  };
  auto display = std::make_unique<Display>();
  comm_->SetDisplay(display.get());
  comm_->Open();
  pty_.Write("y");
  ASSERT_TRUE(pump_.PumpUntil([&] { return display->updates > 0; }));
  display.reset();
  EXPECT_EQ(comm_->Display(), nullptr);
  pty_.Write("z");
  pump_.PumpFor(100ms);
  Display kept;
  Recorder client;
  {
    TSioComm port;
    port.SetDisplay(&kept);
    client.SetComm(&port);
  }
  EXPECT_EQ(client.Comm(), nullptr) << "the client forgets a port that is gone";
}

TEST_F(CommTest, ClientsGetTheBytesThenOnRxBufAndDisableControlsSilencesOnlyClients) {
  Recorder client;
  client.SetComm(comm_.get());
  bool rxChar = false;
  comm_->OnRxChar = [&](TSioCustomComm*, int) { rxChar = true; };
  comm_->OnRxBuf = [&](TSioCustomComm*, PSioData data, int count) {
    client.log +=
        "buf:" + std::string(reinterpret_cast<const char*>(data), static_cast<std::size_t>(count)) + ";";
  };
  comm_->Open();
  pty_.Write("hi");
  ASSERT_TRUE(pump_.PumpUntil([&] { return client.log.find("buf:") != std::string::npos; }));
  EXPECT_EQ(client.log, "data:hi;buf:hi;");
  EXPECT_FALSE(rxChar);

  client.log.clear();
  comm_->DisableControls();
  pty_.Write("yo");
  ASSERT_TRUE(pump_.PumpUntil([&] { return !client.log.empty(); }));
  EXPECT_EQ(client.log, "buf:yo;");
  comm_->EnableControls();
  client.SetComm(nullptr);
  client.log.clear();
  pty_.Write("!");
  bool direct = false;
  comm_->OnRxChar = [&](TSioCustomComm*, int) { direct = true; };
  ASSERT_TRUE(pump_.PumpUntil([&] { return direct; })) << "without clients OnRxChar is back";
  EXPECT_EQ(client.log, "");
}

TEST_F(CommTest, TxEmptyOnceAfterDrainAndNotAfterClose) {
  int txEmpty = 0;
  comm_->OnTxEmpty = [&](TSioCustomComm*) { ++txEmpty; };
  comm_->Open();
  EXPECT_EQ(comm_->DeviceEventMask(), 0x81U);
  ASSERT_TRUE(comm_->WriteText("hello"));
  EXPECT_EQ(pty_.Read(5), "hello");
  ASSERT_TRUE(pump_.PumpUntil([&] { return txEmpty == 1; }));
  pump_.PumpFor(100ms);
  EXPECT_EQ(txEmpty, 1);

  // Fill the terminal so the write thread's write stays pending, then close.
  comm_->Close();
  comm_->Buffers().SetWriteSize(256 * 1024);
  comm_->Open();
  txEmpty = 0;
  const std::string big(200 * 1024, 'z');
  ASSERT_TRUE(comm_->WriteText(big));
  pump_.PumpFor(50ms);
  comm_->Close();
  pump_.PumpFor(200ms);
  EXPECT_EQ(txEmpty, 0);
}

// A purge from a step the write thread waits on clears the queue at once: the thread cannot answer
// the usual purge handshake from there.
TEST_F(CommTest, PurgeWriteFromTxEmptyDropsTheQueuedBytes) {
  std::chrono::steady_clock::duration purgeTook{};
  bool once = false;
  comm_->OnTxEmpty = [&](TSioCustomComm* sender) {
    if (once) return;
    once = true;
    sender->WriteText("late");
    const auto start = std::chrono::steady_clock::now();
    sender->PurgeWrite();
    purgeTook = std::chrono::steady_clock::now() - start;
  };
  comm_->Open();
  ASSERT_TRUE(comm_->WriteText("first"));
  EXPECT_EQ(pty_.Read(5), "first");
  ASSERT_TRUE(pump_.PumpUntil([&] { return once; }));
  EXPECT_LT(purgeTook, 1500ms) << "answered, not given up after two seconds";
  pump_.PumpFor(100ms);
  EXPECT_EQ(pty_.Read(1, 100ms), "") << "the purged bytes never went out";
  EXPECT_EQ(comm_->WriteBufUsed(), 0);
}

// The tool's 19200 8N1 record reaches the device, and so does each flag the line can honour; the
// device's own settings come back through ResetPortParameters.
TEST_F(CommTest, LineSettingsReachTheDeviceAndComeBack) {
  struct Case {
    const char* name;
    std::function<void(TSioComm&)> set;
    tcflag_t cflag, iflag;  // bits expected set on the device
  };
  const Case cases[] = {
      {"tool record", [](TSioComm&) {}, CS8, 0},
      {"CTS flow", [](TSioComm& c) { c.FlowControl().SetOutCtsFlow(true); }, CRTSCTS, 0},
      {"RTS handshake", [](TSioComm& c) { c.FlowControl().SetControlRts(rtsHandshake); }, CRTSCTS, 0},
      {"Xon/Xoff out", [](TSioComm& c) { c.FlowControl().SetXonXoffOut(true); }, 0, IXON},
      {"Xon/Xoff in", [](TSioComm& c) { c.FlowControl().SetXonXoffIn(true); }, 0, IXOFF},
      {"parity check", [](TSioComm& c) { c.SetOptions({coParityCheck}); }, 0, INPCK},
      {"two stop bits", [](TSioComm& c) { c.SetStopbits(sb2); }, CSTOPB, 0},
  };
  for (const Case& c : cases) {
    TSioComm port;
    port.SetSyncCall([this](const std::function<void()>& step) { pump_.Call(step); });
    port.SetDeviceName(pty_.slave());
    port.SetBaudrate(br19200);
    c.set(port);
    port.Open();
    termios tio{};
    ASSERT_EQ(tcgetattr(pty_.master(), &tio), 0);
    EXPECT_EQ(cfgetospeed(&tio), B19200) << c.name;
    EXPECT_EQ(tio.c_cflag & c.cflag, c.cflag) << c.name;
    EXPECT_EQ(tio.c_iflag & c.iflag, c.iflag) << c.name;
    if (c.cflag != CRTSCTS) {
      EXPECT_EQ(tio.c_cflag & CRTSCTS, 0U) << c.name;
    }
    port.Close();
  }

  // The platform's default record (9600 8N1, DTR and RTS on) and the control-field mappings.
  comm_->ResetPortParameters();
  EXPECT_EQ(comm_->Baudrate(), br9600);
  EXPECT_EQ(comm_->Databits(), db8);
  EXPECT_EQ(comm_->Parity(), paNone);
  EXPECT_EQ(comm_->Stopbits(), sb1);
  EXPECT_EQ(comm_->FlowControl().ControlDtr(), dtrEnabled);
  EXPECT_EQ(comm_->FlowControl().ControlRts(), rtsEnabled);
  struct Mapping {
    DWORD flags;
    TSioControlDtr dtr;
    TSioControlRts rts;
  };
  const Mapping mappings[] = {
      {0, dtrDisabled, rtsDisabled},
      {DCB_DTR_CONTROL_HANDSHAKE | DCB_RTS_CONTROL_HANDSHAKE, dtrHandshake, rtsHandshake},
      {DCB_DTR_CONTROL_MASK | DCB_RTS_CONTROL_TOGGLE, dtrHandshake, rtsToggle},
  };
  for (const Mapping& m : mappings) {
    DCB dcb{};
    dcb.BaudRate = 12345;
    dcb.ByteSize = 7;
    dcb.Parity = ODDPARITY;
    dcb.StopBits = TWOSTOPBITS;
    dcb.Flags = m.flags;
    comm_->ReadDCB(dcb);
    EXPECT_EQ(comm_->FlowControl().ControlDtr(), m.dtr) << m.flags;
    EXPECT_EQ(comm_->FlowControl().ControlRts(), m.rts) << m.flags;
    EXPECT_EQ(comm_->Baudrate(), brUser);
    EXPECT_EQ(comm_->Databits(), db7);
    EXPECT_EQ(comm_->Parity(), paOdd);
    EXPECT_EQ(comm_->Stopbits(), sb2);
  }
}

// A purge drops what is still queued, and a device that vanishes with bytes queued closes cleanly.
TEST_F(CommTest, PurgeDropsQueuedBytesAndAVanishedDeviceCloses) {
  comm_->Buffers().SetWriteSize(256 * 1024);
  comm_->Open();
  const std::string big(200 * 1024, 'q');  // more than the terminal takes: most of it stays queued
  ASSERT_TRUE(comm_->WriteText(big));
  pump_.PumpFor(50ms);
  ASSERT_GT(comm_->WriteBufUsed(), 0);
  comm_->PurgeWrite();
  EXPECT_EQ(comm_->WriteBufUsed(), 0);
  std::size_t arrived = 0;
  while (pty_.Read(4096, 100ms).size() > 0) arrived += 4096;
  EXPECT_LT(arrived, big.size()) << "the purged bytes did not go out";

  ASSERT_TRUE(comm_->WriteText(big));
  pump_.PumpFor(20ms);
  pty_.CloseMaster();
  pump_.PumpFor(200ms);
  comm_->Close();
  EXPECT_FALSE(comm_->Active());
}

TEST_F(CommTest, WriteLargerThanTheQueueRaisesAfterTheWriteTimeout) {
  comm_->Buffers().SetWriteSize(16);
  comm_->Buffers().SetWriteTimeout(100);
  comm_->Open();
  const std::string tooBig(17, 'x');
  const auto start = std::chrono::steady_clock::now();
  try {
    comm_->WriteText(tooBig);
    FAIL() << "no exception";
  } catch (const ESioCommError& e) {
    EXPECT_STREQ(e.what(), "Output buffer is full. Please check comm status.");
  }
  EXPECT_GE(std::chrono::steady_clock::now() - start, 100ms);
  EXPECT_EQ(comm_->WriteBufUsed(), 0) << "a refused write queues nothing";
}

TEST_F(CommTest, PurgeWriteTwiceEachAnswered) {
  comm_->Open();
  for (int i = 0; i < 2; ++i) {
    const auto start = std::chrono::steady_clock::now();
    comm_->PurgeWrite();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1500ms) << "call " << i << " was not answered";
  }
  comm_->PurgeRead();
  comm_->PurgeReadWrite();
}

TEST_F(CommTest, PropertyRulesAndRefusals) {
  EXPECT_EQ(comm_->GetDeviceName(), pty_.slave());
  TSioComm named;
  EXPECT_EQ(named.GetDeviceName(), "COM0");
  named.SetPortNum(3);
  EXPECT_EQ(named.GetDeviceName(), "COM3");
  named.SetDeviceName("COM2");
  EXPECT_EQ(named.GetDeviceName(), "COM2");
  named.SetDeviceName("/dev/%s%n%d");
  EXPECT_EQ(named.GetDeviceName(), "/dev/%s%n3") << "only %d is filled in";

  comm_->SetUserBaudrate(1000);
  EXPECT_EQ(comm_->Baudrate(), brUser);
  comm_->SetBaudrate(br9600);
  EXPECT_EQ(comm_->UserBaudrate(), 0);

  comm_->FlowControl().SetControlRts(rtsToggle);
  EXPECT_THROW(
      {
        try {
          comm_->SetRTS(true);
        } catch (const ESioCommError& e) {
          EXPECT_STREQ(e.what(),
                       "RTS line updates not allowed when flowcontrol is set to Handshake or Toggle.");
          throw;
        }
      },
      ESioCommError);
  comm_->FlowControl().SetControlRts(rtsDisabled);
  comm_->SetBreak(true);  // closed: nothing
  EXPECT_FALSE(comm_->GetModemStatus(2));
  EXPECT_FALSE(comm_->GetComStat(9));
  EXPECT_FALSE(comm_->WriteChar('x'));
  char ch;
  EXPECT_FALSE(comm_->ReadChar(ch));
  EXPECT_THROW(comm_->GetProperties(), ESioCommError);

  comm_->Open();
  const auto refused = [&](auto&& action) {
    try {
      action();
      ADD_FAILURE() << "not refused";
    } catch (const ESioCommError& e) {
      EXPECT_STREQ(e.what(), "Can't perform this operation while port is open");
    }
  };
  refused([&] { comm_->Open(); });
  refused([&] { comm_->SetDeviceName("COM1"); });
  refused([&] { comm_->SetPortNum(1); });
  refused([&] { comm_->SetMonitorEvents({}); });
  refused([&] { comm_->SetDirectWrite(true); });
  refused([&] { comm_->Buffers().SetReadSize(100); });
  EXPECT_EQ(comm_->Buffers().ReadSize(), 100) << "stored before the refusal";
  EXPECT_TRUE(comm_->Active()) << "still open";
  comm_->GetProperties();
  EXPECT_EQ(comm_->Properties().wPacketLength, 64);
  termios tio{};
  ASSERT_EQ(tcgetattr(pty_.master(), &tio), 0);
  EXPECT_EQ(cfgetospeed(&tio), B9600);
}

TEST_F(CommTest, MissingDeviceAndUpdateDcbOff) {
  TSioComm missing;
  missing.SetDeviceName("/dev/ttyNoSuchDevice");
  try {
    missing.Open();
    FAIL();
  } catch (const ESioCommError& e) {
    EXPECT_STREQ(e.what(), "Specified device not found (/dev/ttyNoSuchDevice).");
  }
  EXPECT_FALSE(missing.Active());

  comm_->Open();
  TSioComm busy;
  busy.SetDeviceName(pty_.slave());
  try {
    busy.Open();
    FAIL();
  } catch (const ESioCommError& e) {
    EXPECT_EQ(std::string(e.what()),
              "Can't open specified device " + pty_.slave() + " (Error 16, Device or resource busy)");
  }
  comm_->Close();

  termios tio{};
  ASSERT_EQ(tcgetattr(pty_.master(), &tio), 0);
  cfsetospeed(&tio, B2400);
  cfsetispeed(&tio, B2400);
  ASSERT_EQ(tcsetattr(pty_.master(), TCSANOW, &tio), 0);
  comm_->SetUpdateDCB(false);
  comm_->Open();
  comm_->SetBaudrate(br38400);
  ASSERT_EQ(tcgetattr(pty_.master(), &tio), 0);
  EXPECT_EQ(cfgetospeed(&tio), B2400) << "UpdateDCB false leaves the line alone";
}

TEST_F(CommTest, EventMaskRulesAndNoEventThreadWithoutEvents) {
  comm_->SetDirectWrite(true);
  comm_->Open();
  EXPECT_EQ(comm_->DeviceEventMask(), 0x85U);
  EXPECT_EQ(comm_->WriteBuf("dw", 2), 2);
  EXPECT_EQ(pty_.Read(2), "dw");
  comm_->Close();
  ASSERT_TRUE(pump_.PumpUntil([] { return TSioThread::RunningCount() == 0; }))
      << "closed threads end on their own";

  comm_->SetDirectWrite(false);
  comm_->SetMonitorEvents({});
  int txEmpty = 0;
  bool rx = false;
  comm_->OnTxEmpty = [&](TSioCustomComm*) { ++txEmpty; };
  comm_->OnRxChar = [&](TSioCustomComm*, int) { rx = true; };
  comm_->Open();
  EXPECT_EQ(comm_->DeviceEventMask(), 0U);
  EXPECT_EQ(TSioThread::RunningCount(), 1) << "only the write thread";
  ASSERT_TRUE(comm_->WriteText("abc"));
  EXPECT_EQ(pty_.Read(3), "abc");
  ASSERT_TRUE(pump_.PumpUntil([&] { return txEmpty == 1; }));
  pty_.Write("q");
  pump_.PumpFor(100ms);
  EXPECT_FALSE(rx);
}

TEST_F(CommTest, OnCloseExceptWhenDestroyed) {
  int closes = 0, opens = 0;
  comm_->OnOpen = [&](TSioCustomComm*) {
    ++opens;
    throw std::runtime_error("handler failure stays inside Open");
  };
  comm_->OnClose = [&](TSioCustomComm*) { ++closes; };
  std::vector<std::string> reported;
  SetSioApplicationErrorHandler([&](std::exception_ptr e) {
    try {
      std::rethrow_exception(e);
    } catch (const std::exception& x) {
      reported.push_back(x.what());
    }
  });
  comm_->Open();
  comm_->Close();
  comm_->Close();  // closed: nothing
  EXPECT_EQ(closes, 1);
  comm_->Open();
  comm_.reset();
  EXPECT_EQ(closes, 1) << "destroying closes without OnClose";
  EXPECT_EQ(opens, 2);
  EXPECT_EQ(reported.size(), 2U);
  SetSioApplicationErrorHandler(nullptr);
}

TEST_F(CommTest, TimedClosePausesThreeHundredMilliseconds) {
  TSioCustomComm::SetClosePause(300);
  comm_->Open();
  auto start = std::chrono::steady_clock::now();
  comm_->Close();
  EXPECT_GE(std::chrono::steady_clock::now() - start, 300ms);
  // A longer pause tells a second Close's missing pause from a busy machine's delay.
  TSioCustomComm::SetClosePause(2000);
  start = std::chrono::steady_clock::now();
  comm_->Close();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1500ms) << "closed: no pause";
}

TEST_F(CommTest, StepQueuedAtDestructionDoesNotRun) {
  std::atomic<int> calls{0};
  comm_->OnRxChar = [&](TSioCustomComm*, int) { ++calls; };
  comm_->Open();
  pty_.Write("x");
  // Let the event thread block in the synchronous call without running it, then destroy.
  std::this_thread::sleep_for(100ms);
  comm_.reset();
  pump_.PumpFor(100ms);
  EXPECT_EQ(calls, 0);
}

// Clients get the bytes read, not the count the queue showed: with null stripping the queue counts
// the nulls the read then drops.
TEST_F(CommTest, ClientsGetOnlyTheBytesRead) {
  Recorder client;
  client.SetComm(comm_.get());
  comm_->SetOptions({coNullStrip});
  comm_->Open();
  pty_.Write(std::string("a\0\0b", 4));
  ASSERT_TRUE(pump_.PumpUntil([&] { return !client.log.empty(); }));
  EXPECT_EQ(client.log, "data:ab;");
  client.SetComm(nullptr);
}

// The same across Close and Open: a step of the old opening does not run in the new one.
TEST_F(CommTest, StepQueuedBeforeCloseDoesNotRunAfterOpen) {
  int txEmpty = 0;
  comm_->OnTxEmpty = [&](TSioCustomComm*) { ++txEmpty; };
  comm_->Open();
  ASSERT_TRUE(comm_->WriteText("x"));
  EXPECT_EQ(pty_.Read(1), "x");
  std::this_thread::sleep_for(100ms);  // the write thread now waits in the synchronous call
  comm_->Close();
  comm_->Open();
  pump_.PumpFor(100ms);
  EXPECT_EQ(txEmpty, 0) << "the old opening's output-empty";
  ASSERT_TRUE(comm_->WriteText("y"));
  ASSERT_TRUE(pump_.PumpUntil([&] { return txEmpty == 1; }));
}

TEST_F(CommTest, StressOpenTrafficClose) {
  // One cycle first: sanitizer runtimes start helper threads of their own on the first thread.
  comm_->Open();
  comm_->Close();
  ASSERT_TRUE(pump_.PumpUntil([] { return TSioThread::RunningCount() == 0; }));
  platform::Sleep(50);
  const int threadsBefore = ProcessThreads();
  int received = 0;
  comm_->OnRxChar = [&](TSioCustomComm* sender, int) {
    char ch;
    while (sender->ReadChar(ch)) ++received;
  };
  for (int cycle = 0; cycle < 300; ++cycle) {
    comm_->Open();
    ASSERT_TRUE(comm_->WriteText("ping"));
    ASSERT_EQ(pty_.Read(4), "ping") << "cycle " << cycle;
    pty_.Write("pong");
    ASSERT_TRUE(pump_.PumpUntil([&] { return received == 4 * (cycle + 1); })) << "cycle " << cycle;
    comm_->Close();
  }
  ASSERT_TRUE(pump_.PumpUntil([] { return TSioThread::RunningCount() == 0; }));
  // Detached threads leave the task list a moment after they return.
  ASSERT_TRUE(pump_.PumpUntil([&] { return ProcessThreads() <= threadsBefore; }));
}

}  // namespace
