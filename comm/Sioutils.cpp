// SPDX-License-Identifier: GPL-3.0-or-later
#include "comm/Sioutils.h"

#include <filesystem>
#include <mutex>
#include <thread>

#include "platform/kernel.h"
#include "platform/ports.h"

namespace fs = std::filesystem;

namespace {

std::mutex gPumpMutex;
std::function<void()> gPump;

}  // namespace

int MinInteger(int a, int b) { return a < b ? a : b; }
char CN(char ch) { return ch == 0 ? ' ' : ch; }
bool BitOn(std::int32_t value, std::int32_t bit) { return (value & bit) > 0; }
bool BitOff(std::int32_t value, std::int32_t bit) { return (value & bit) == 0; }

std::string StrCtrl(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '^') {
      out += text[i];
      continue;
    }
    if (i + 1 == text.size()) {
      out += '^';
      break;
    }
    const char next = text[++i];
    if ((next >= 'A' && next <= 'Z') || (next >= 'a' && next <= 'z')) {
      const char upper = (next >= 'a') ? static_cast<char>(next - 32) : next;
      out += static_cast<char>(upper - 64);
    } else {
      out += '^';
      out += next;
    }
  }
  return out;
}

std::string AddPathSlash(const std::string& path) {
  constexpr char kSeparator = static_cast<char>(fs::path::preferred_separator);
  // Windows takes '/' as a separator as well.
  if (path.empty() || path.back() == kSeparator || path.back() == '/') return path;
  return path + kSeparator;
}

std::int32_t GetFileSize(const std::string& fileName) {
  std::error_code ec;
  const std::string absolute = fs::absolute(fileName, ec).string();
  if (ec) return -1;
  return platform::WildcardFileSize(absolute);
}

std::string CreateUniqueFileName(const std::string& fileName) {
  const fs::path path(fileName);
  const std::string folder =
      path.has_parent_path() ? AddPathSlash(path.parent_path().string()) : std::string();
  const std::string extension = path.extension().string();
  std::string name = path.filename().string();
  if (!extension.empty()) {
    const auto at = name.find(extension);
    if (at != std::string::npos) name.erase(at, extension.size());
  }
  std::error_code ec;
  std::string candidate = folder + name + extension;
  for (int n = 1; fs::exists(candidate, ec); ++n)
    candidate = folder + name + "-" + std::to_string(n) + extension;
  return candidate;
}

void InitTimer(TSioTimeEvent& timer, platform::DWORD timeout) {
  timer.start = platform::GetTickCount();
  timer.timeout = timeout;
}

bool TimerExpired(const TSioTimeEvent& timer) {
  const platform::DWORD now = platform::GetTickCount();
  // Kept as the library counts it: across the wrap one tick short of the modular difference.
  const platform::DWORD elapsed = now >= timer.start ? now - timer.start : (0xFFFFFFFFU - timer.start) + now;
  return elapsed > timer.timeout;
}

void SetSioMessagePump(std::function<void()> pump) {
  std::lock_guard lock(gPumpMutex);
  gPump = std::move(pump);
}

void SysDelay(platform::DWORD ms, bool processMessages) {
  TSioTimeEvent timer;
  InitTimer(timer, ms);
  while (!TimerExpired(timer)) {
    std::function<void()> pump;
    if (processMessages) {
      std::lock_guard lock(gPumpMutex);
      pump = gPump;
    }
    if (pump) pump();
    // A pass per millisecond: the wait needs no finer grain, and the CPU stays free.
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

int GetPortState(int port) { return static_cast<int>(platform::ProbePort("COM" + std::to_string(port))); }
