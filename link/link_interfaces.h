// SPDX-License-Identifier: GPL-3.0-or-later
// What the link engine reaches outside itself: the serial port and the main window.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "settings/settings_codec.h"

// Lamp colours, blue byte highest.
constexpr std::uint32_t kColorRed = 0x0000FF;
constexpr std::uint32_t kColorYellow = 0x00FFFF;
constexpr std::uint32_t kColorLime = 0x00FF00;
constexpr std::uint32_t kColorSilver = 0xC0C0C0;

class ILinkPort {
 public:
  virtual ~ILinkPort() = default;
  virtual void WriteByte(std::uint8_t byte) = 0;
  // False when no byte is waiting.
  virtual bool ReadByte(std::uint8_t& byte) = 0;
  // Bytes received and not yet read, whose receive event may still be on its way (0 for a port
  // that hands every byte in by its events before the next tick).
  virtual int Waiting() = 0;
};

class ILinkWindow {
 public:
  virtual ~ILinkWindow() = default;
  // The window's part of connecting and disconnecting (menus, Timer_TimeOut, closing the port).
  virtual void Status_connect() = 0;
  virtual void Status_no_connect() = 0;
  virtual void SetExchangeLamp(std::uint32_t color) = 0;
  // An OK box with no owner; it may run a nested event loop in which ticks and receive events go on.
  virtual void MessageBox(std::string_view text, std::string_view caption) = 0;
  // The live-status decoders.
  virtual void Out_module_status(const std::uint8_t* data) = 0;
  virtual void Out_chanel_status(int ch, const std::uint8_t* data) = 0;
  // The codec's window fields and the dialogs' fill steps (RefreshView bits, in their order).
  virtual std::string NumberText() = 0;
  virtual std::string YearText() = 0;
  virtual void ShowNumberAndYear(const std::string& number, const std::string& year) = 0;
  // The number and year as the module's memory holds them, told before ShowNumberAndYear, which
  // gets them as the window's fields can show them. A window without a use for them ignores them.
  virtual void StoredNumberAndYear(const ModuleIdentity&) {}
  // The number and year a settings write gives the module in place of the fields' texts: for a
  // host without fields that gives the module its own back.
  virtual std::optional<ModuleIdentity> IdentityToWrite() { return std::nullopt; }
  virtual void RefreshViews(unsigned refresh) = 0;
  // Timer2, which shows the completion message.
  virtual bool Timer2Running() = 0;
  virtual void StartTimer2() = 0;
  virtual void StopTimer2() = 0;
};
