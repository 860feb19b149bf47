// SPDX-License-Identifier: GPL-3.0-or-later
// The serial component on Windows's own serial API, against vexa_sim behind a COM port (under Wine,
// the prefix's COM5 names the simulator's pseudo-terminal; VEXA_COM_PORT names another).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "comm/SioComm.h"
#include "platform/ports.h"
#include "platform/serial.h"
#include "tests/support/gui_pump.h"

// After this layer's headers, so that it cannot turn their names into macros.
#include <windows.h>

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

namespace {

std::string Port() {
  const char* port = std::getenv("VEXA_COM_PORT");
  return port != nullptr ? port : "COM5";
}

class ComTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TSioCustomComm::SetClosePause(0);
    comm_ = std::make_unique<TSioComm>();
    comm_->SetSyncCall([this](const std::function<void()>& step) { pump_.Call(step); });
    comm_->SetDeviceName(Port());
    comm_->SetBaudrate(br19200);
    // As the link engine reads: the bytes the event counted. (Under Wine a read with nothing
    // queued waits for the next byte instead of returning at once, for the read time-out.)
    comm_->OnRxChar = [this](TSioCustomComm* sender, int count) {
      char ch;
      for (int i = 0; i < count && sender->ReadChar(ch); ++i)
        received_.push_back(static_cast<std::uint8_t>(ch));
    };
  }
  void TearDown() override {
    comm_.reset();
    EXPECT_TRUE(pump_.PumpUntil([] { return TSioThread::RunningCount() == 0; }));
    TSioCustomComm::SetClosePause(300);
  }

  // Sends a request to the simulator and returns what has come once want bytes have, or after 2 s.
  Bytes Ask(const Bytes& request, std::size_t want) {
    received_.clear();
    EXPECT_EQ(comm_->WriteBuf(request.data(), static_cast<int>(request.size())),
              static_cast<int>(request.size()));
    EXPECT_TRUE(pump_.PumpUntil([&] { return received_.size() >= want; }, 2s))
        << "request " << static_cast<int>(request[0]) << " unanswered";
    pump_.PumpFor(20ms);
    return received_;
  }

  testing_support::GuiPump pump_;
  std::unique_ptr<TSioComm> comm_;
  Bytes received_;
};

TEST_F(ComTest, TheSimulatorsAnswersArriveWholeThroughTheEventThread) {
  int txEmpty = 0;
  comm_->OnTxEmpty = [&](TSioCustomComm*) { ++txEmpty; };
  comm_->Open();
  EXPECT_EQ(comm_->DeviceEventMask(), 0x81U);
  EXPECT_EQ(Ask({0x10, 0x28, 0x30}, 2), (Bytes{0x10, 0x28})) << "set-up step 1";
  EXPECT_EQ(Ask({0x40, 0x28, 0x00}, 2), (Bytes{0x40, 0x28})) << "the module opened";
  // The whole system block: 5 bytes of head and 54 of data, the module's number first.
  const Bytes block = Ask({0x44, 0x28, 0x00, 0xC0, 0x36, 0x00}, 59);
  ASSERT_EQ(block.size(), 59U);
  EXPECT_EQ(Bytes(block.begin(), block.begin() + 5), (Bytes{0x44, 0x28, 0x00, 0xC0, 0x36}));
  EXPECT_EQ(block[5] | block[6] << 8, 1234);
  EXPECT_TRUE(pump_.PumpUntil([&] { return txEmpty >= 3; }))
      << "output-empty after each request: " << txEmpty;
  comm_->PurgeWrite();
  comm_->PurgeWrite();
  comm_->PurgeReadWrite();
  EXPECT_EQ(comm_->WriteBufUsed(), 0);
}

// 38400 bit/s and two stop bits reach the device through SetCommState and stay there after the
// close: the port opened again through the plain API reports them. (A pseudo-terminal keeps 8 data
// bits without parity whatever it is told, so those cannot be seen here.)
TEST_F(ComTest, LineSettingsReachTheDevice) {
  comm_->SetBaudrate(br38400);
  comm_->SetStopbits(sb2);
  comm_->Open();
  comm_->Close();
  const HANDLE h = CreateFileA(("\\\\.\\" + Port()).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                               OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  EXPECT_TRUE(::GetCommState(h, &dcb));
  EXPECT_EQ(dcb.BaudRate, 38400U);
  EXPECT_EQ(dcb.StopBits, TWOSTOPBITS);
  // Back to the simulator's line for the tests that follow.
  dcb.BaudRate = 19200;
  dcb.StopBits = ONESTOPBIT;
  EXPECT_TRUE(::SetCommState(h, &dcb));
  ::CloseHandle(h);
}

TEST_F(ComTest, AMissingPortIsSaidByName) {
  TSioComm missing;
  missing.SetDeviceName("COM87");
  try {
    missing.Open();
    FAIL() << "opened";
  } catch (const ESioCommError& e) {
    EXPECT_STREQ(e.what(), "Specified device not found (COM87).");
    EXPECT_EQ(e.SystemCode(), static_cast<std::uint32_t>(ERROR_FILE_NOT_FOUND));
  }
  EXPECT_FALSE(missing.Active());
}

// The ports the registry names: the BIOS's serial ports as they come, then the drivers' ports
// each once (the test writes its own keys, and takes them away again).
TEST_F(ComTest, PortNamesComeFromTheRegistry) {
  HKEY bios = nullptr, map = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Enum\\BIOS\\*PNP0501\\vexa_test", 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &bios, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &map, nullptr),
            ERROR_SUCCESS);
  const auto put = [](HKEY key, const char* name, const char* text) {
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                   static_cast<DWORD>(std::strlen(text) + 1));
  };
  put(bios, "PortName", "COM61");
  put(map, "\\Device\\VexaTest0", "COM61");
  put(map, "\\Device\\VexaTest1", "COM62");
  std::vector<std::string> names;
  TSioCustomComm::GetComPortNames(names);
  const std::vector<platform::SerialPortInfo> ports = platform::ListSerialPorts();
  RegDeleteValueA(map, "\\Device\\VexaTest0");
  RegDeleteValueA(map, "\\Device\\VexaTest1");
  RegCloseKey(map);
  RegCloseKey(bios);
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Enum\\BIOS\\*PNP0501\\vexa_test");
  EXPECT_EQ(std::count(names.begin(), names.end(), "COM61"), 1);
  EXPECT_EQ(std::count(names.begin(), names.end(), "COM62"), 1);
  const auto at = [&](const std::string& name) {
    return std::find(names.begin(), names.end(), name) - names.begin();
  };
  EXPECT_LT(at("COM61"), at("COM62"));
  const auto com61 =
      std::find_if(ports.begin(), ports.end(), [](const auto& p) { return p.name == "COM61"; });
  ASSERT_NE(com61, ports.end());
  EXPECT_TRUE(com61->uart);
  EXPECT_EQ(com61->path, "\\\\.\\COM61");
}

// What a path typed as a port names: COM names that exist, files and folders (by UTF-8 name).
TEST_F(ComTest, TypedPathsAreToldApart) {
  EXPECT_EQ(platform::KindOfPath(Port()), platform::PathKind::Device);
  EXPECT_EQ(platform::KindOfPath("COM199"), platform::PathKind::Missing);
  wchar_t temp[MAX_PATH];
  ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0U);
  const std::wstring dir = std::wstring(temp) + L"\u043f\u043e\u0440\u0442";  // "порт"
  CreateDirectoryW(dir.c_str(), nullptr);
  const HANDLE file =
      CreateFileW((dir + L"\\x.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  ::CloseHandle(file);
  char utf8[3 * MAX_PATH];
  ASSERT_GT(WideCharToMultiByte(CP_UTF8, 0, dir.c_str(), -1, utf8, sizeof utf8, nullptr, nullptr), 0);
  EXPECT_EQ(platform::KindOfPath(utf8), platform::PathKind::Folder);
  EXPECT_EQ(platform::KindOfPath(std::string(utf8) + "\\x.txt"), platform::PathKind::RegularFile);
  EXPECT_EQ(platform::KindOfPath(std::string(utf8) + "\\y.txt"), platform::PathKind::Missing);
  DeleteFileW((dir + L"\\x.txt").c_str());
  RemoveDirectoryW(dir.c_str());
}

// An answer left unread at the close stays in the port's input queue (a pseudo-terminal keeps it):
// the next opening must not take it for the answer to its own first request.
TEST_F(ComTest, AnAnswerLeftAtTheCloseIsNotTheNextOpenings) {
  comm_->Open();
  ASSERT_TRUE(comm_->WriteText(std::string("\x40\x28\x00", 3)));
  std::this_thread::sleep_for(300ms);  // answered meanwhile; the event waits for this thread
  comm_->Close();
  comm_->Open();
  EXPECT_EQ(Ask({0x10, 0x28, 0x30}, 2), (Bytes{0x10, 0x28}));
  pump_.PumpFor(100ms);
  EXPECT_EQ(received_, (Bytes{0x10, 0x28}));
}

// Every fifth cycle closes behind a full write queue (zeros, which the adapter drops as noise), so
// that the close may cut a write short; the next cycle must talk as before.
TEST_F(ComTest, OpenTalkCloseAgainAndAgain) {
  const Bytes noise(2048, 0);
  for (int cycle = 0; cycle < 20; ++cycle) {
    comm_->Open();
    ASSERT_EQ(Ask({0x10, 0x28, 0x30}, 2), (Bytes{0x10, 0x28})) << "cycle " << cycle;
    if (cycle % 5 == 4) {
      EXPECT_EQ(comm_->WriteBuf(noise.data(), 2048), 2048);
    }
    comm_->Close();
    EXPECT_FALSE(comm_->Active());
  }
  EXPECT_TRUE(pump_.PumpUntil([] { return TSioThread::RunningCount() == 0; }));
  TSioCustomComm::SetClosePause(300);
  comm_->Open();
  const auto start = std::chrono::steady_clock::now();
  comm_->Close();
  EXPECT_GE(std::chrono::steady_clock::now() - start, 300ms) << "the close's pause";
}

}  // namespace
