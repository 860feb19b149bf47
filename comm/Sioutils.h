// SPDX-License-Identifier: GPL-3.0-or-later
// Utility routines, timers and the port probe of the serial component.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/win32_types.h"

int MinInteger(int a, int b);
char CN(char ch);
bool BitOn(std::int32_t value, std::int32_t bit);
bool BitOff(std::int32_t value, std::int32_t bit);

// Caret notation to control characters: "^M^J" is CR LF; a caret before anything but a letter stays
// as written ("a^1" is unchanged). A caret before a caret is such a case too, so "^^A" gives "^^A"
// (the conversion just goes on), and a caret at the very end is kept.
std::string StrCtrl(const std::string& text);

// Sets the reference to none, then frees what it held.
template <class T>
void FreeObject(std::unique_ptr<T>& object) {
  std::unique_ptr<T> held = std::move(object);
  held.reset();
}

// The path separator of this system ("/" here) is appended unless path is empty or ends with one.
std::string AddPathSlash(const std::string& path);

// Size of the first file matching the name (wildcards allowed, folders match with size 0), or -1.
std::int32_t GetFileSize(const std::string& fileName);

// The name itself when free, else name-1.ext, name-2.ext, ... in the same folder.
std::string CreateUniqueFileName(const std::string& fileName);

struct TSioTimeEvent {
  platform::DWORD start = 0;
  platform::DWORD timeout = 0;
};
void InitTimer(TSioTimeEvent& timer, platform::DWORD timeout);
// Expired once strictly more than the timeout has passed; counts across the wrap of the tick count.
bool TimerExpired(const TSioTimeEvent& timer);

// What SysDelay runs on each pass when asked to keep the application responsive; the owner of the
// event loop sets it (nothing by default).
void SetSioMessagePump(std::function<void()> pump);
void SysDelay(platform::DWORD ms, bool processMessages);

// 1: present and free, 2: no such port, 0: present but not available.
int GetPortState(int port);
