// SPDX-License-Identifier: GPL-3.0-or-later
// Test support for the link engine: a port and a window that record everything, ticked by hand.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "link/link_engine.h"

namespace link_test {

using Bytes = std::vector<std::uint8_t>;

class FakePort : public ILinkPort {
 public:
  void WriteByte(std::uint8_t byte) override { written.push_back(byte); }
  bool ReadByte(std::uint8_t& byte) override {
    if (incoming.empty()) return false;
    byte = incoming.front();
    incoming.pop_front();
    return true;
  }
  int Waiting() override { return static_cast<int>(incoming.size()); }
  Bytes written;
  std::deque<std::uint8_t> incoming;
};

class FakeWindow : public ILinkWindow {
 public:
  void Status_connect() override { log.push_back("connect"); }
  void Status_no_connect() override { log.push_back("no_connect"); }
  void SetExchangeLamp(std::uint32_t color) override { lamp = color; }
  void MessageBox(std::string_view text, std::string_view caption) override {
    boxes.push_back(std::string(caption) + ": " + std::string(text));
    if (duringBox) {
      auto nested = std::move(duringBox);
      nested();
    }
  }
  void Out_module_status(const std::uint8_t* data) override {
    log.push_back("module " + std::to_string(data[0]));
  }
  void Out_chanel_status(int ch, const std::uint8_t*) override {
    log.push_back("channel " + std::to_string(ch));
  }
  std::string NumberText() override { return number; }
  std::string YearText() override { return year; }
  void ShowNumberAndYear(const std::string& n, const std::string& y) override {
    log.push_back("show [" + n + "][" + y + "]");
  }
  void RefreshViews(unsigned refresh) override { log.push_back("refresh " + std::to_string(refresh)); }
  bool Timer2Running() override { return timer2; }
  void StartTimer2() override { timer2 = true; }
  void StopTimer2() override { timer2 = false; }

  std::vector<std::string> log;
  std::vector<std::string> boxes;
  std::uint32_t lamp = 0;
  bool timer2 = false;
  std::string number = "  42", year = " 7";
  std::function<void()> duringBox;  // runs inside the next box, as a nested event loop would
};

struct Harness {
  FakePort port;
  FakeWindow window;
  TModuleSettings record{};
  LinkEngine engine{port, window, record};

  void Tick(int n = 1) {
    for (int i = 0; i < n; ++i) engine.Timer1Timer();
  }
  void Answer(const Bytes& bytes) {
    port.incoming.insert(port.incoming.end(), bytes.begin(), bytes.end());
    engine.SioComm1OnRxChar(static_cast<int>(bytes.size()));
  }
  // What was written since the last call.
  Bytes Sent() {
    Bytes out;
    out.swap(port.written);
    return out;
  }
  // Delivers an answer and ticks until it is dispatched (four ticks).
  Bytes Reply(const Bytes& bytes) {
    Answer(bytes);
    Tick(4);
    return Sent();
  }
  // Brings the engine through the handshake to idle and connected.
  void Connect() {
    engine.Request_code = Req_setup;
    Tick();
    Sent();
    Reply({0x10, 0x28});
    Reply({0x10, 0x22});
    Reply({0x40, 0x28});
    Bytes header = {0x44, 0x28, 0x00, 0xC0, 0x03, 0x2A, 0x00, 0x07};
    Reply(header);
    window.log.clear();
  }
};

inline Bytes ReadAnswer(std::uint8_t high, std::uint8_t low, std::size_t count, std::uint8_t fill = 0) {
  Bytes b = {0x44, 0x28, high, low, static_cast<std::uint8_t>(count)};
  b.resize(5 + count, fill);
  return b;
}

inline Bytes WriteAck(std::uint8_t high, std::uint8_t low, std::uint8_t count) {
  return {0x42, 0x28, high, low, count};
}

}  // namespace link_test
