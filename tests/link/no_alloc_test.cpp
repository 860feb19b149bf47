// SPDX-License-Identifier: GPL-3.0-or-later
// Its own program: it replaces the global allocator to count what the engine allocates.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "link/link_engine.h"

namespace {
std::atomic<long> gAllocations{0};
}

void* operator new(std::size_t size) {
  ++gAllocations;
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

// A port that answers every request at once from fixed tables, and a window that only counts.
class EchoPort : public ILinkPort {
 public:
  void WriteByte(std::uint8_t byte) override {
    if (length_ < static_cast<int>(sizeof request_)) request_[length_++] = byte;
  }
  bool ReadByte(std::uint8_t& byte) override {
    if (read_ >= answerLength_) return false;
    byte = answer_[read_++];
    return true;
  }
  int Waiting() override { return answerLength_ - read_; }
  // Turns the request written so far into its answer; returns the answer's length.
  int Answer() {
    const std::uint8_t cmd = request_[0];
    answerLength_ = 0;
    read_ = 0;
    answer_[0] = cmd;
    answer_[1] = request_[1];
    if (cmd == 0x10 || cmd == 0x40) {
      answerLength_ = 2;
    } else {
      answer_[2] = request_[2];
      answer_[3] = request_[3];
      answer_[4] = request_[4];
      answerLength_ = 5 + (cmd == 0x44 ? request_[4] : 0);
      for (int i = 5; i < answerLength_; ++i) answer_[i] = 0;
    }
    length_ = 0;
    return answerLength_;
  }

 private:
  std::uint8_t request_[64] = {};
  std::uint8_t answer_[64] = {};
  int length_ = 0, answerLength_ = 0, read_ = 0;
};

class CountingWindow : public ILinkWindow {
 public:
  void Status_connect() override {}
  void Status_no_connect() override {}
  void SetExchangeLamp(std::uint32_t) override {}
  void MessageBox(std::string_view, std::string_view) override { ++boxes; }
  void Out_module_status(const std::uint8_t*) override { ++cycles; }
  void Out_chanel_status(int, const std::uint8_t*) override {}
  std::string NumberText() override { return "1234"; }
  std::string YearText() override { return "26"; }
  void ShowNumberAndYear(const std::string&, const std::string&) override {}
  void RefreshViews(unsigned) override {}
  bool Timer2Running() override { return false; }
  void StartTimer2() override {}
  void StopTimer2() override {}
  int boxes = 0, cycles = 0;
};

TEST(LinkEngineMemory, NothingIsAllocatedPerExchange) {
  EchoPort port;
  CountingWindow window;
  TModuleSettings record{};
  LinkEngine engine(port, window, record);
  const auto run = [&](int ticks) {
    for (int i = 0; i < ticks; ++i) {
      engine.Timer1Timer();
      if (engine.Wait_reply && engine.Rx_len == 0 && engine.Wait_first_byte)
        engine.SioComm1OnRxChar(port.Answer());
    }
  };
  engine.Request_code = Req_setup;
  run(100);
  ASSERT_EQ(engine.Connected, 1);
  const long before = gAllocations;
  engine.Request_code = Req_read_param;
  run(200);
  engine.Request_code = Req_write_param;
  run(200);
  run(1000);  // status cycles
  EXPECT_EQ(gAllocations - before, 0);
  EXPECT_GT(window.cycles, 5);
  EXPECT_EQ(window.boxes, 0);
}

}  // namespace
