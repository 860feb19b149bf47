// SPDX-License-Identifier: GPL-3.0-or-later
// Live status decoding: the module's status blocks turned into texts and lamp colours of the window.
#pragma once

#include <cstdint>
#include <string>

// Where a decoder puts a text or a colour; the window binds its widgets to these.
class ITextTarget {
 public:
  virtual ~ITextTarget() = default;
  virtual void SetText(const std::string& text) = 0;
};
class ILampTarget {
 public:
  virtual ~ILampTarget() = default;
  virtual void SetColor(std::uint32_t color) = 0;
};
// The window's part of the module status: the two write menu items with the channel dialog's
// output-zero controls, and the check mark of the output-blocking item.
class IWritePermission {
 public:
  virtual ~IWritePermission() = default;
  virtual void SetWritePermission(bool allowed) = 0;
  virtual void SetBlockChecked(bool checked) = 0;
};

struct TChanelView {
  ITextTarget* value = nullptr;
  ITextTarget* current = nullptr;
  ITextTarget* adc = nullptr;
  ITextTarget* dac = nullptr;
  ILampTarget* lamp[8] = {};
  std::uint32_t onColor[8] = {};
};

struct TModuleView {
  ILampTarget* logic[12] = {};
  ILampTarget* module[6] = {};
  std::uint32_t moduleOnColor[6] = {};
  ITextTarget* version = nullptr;
};

// The window's widgets for the views; Init_views adds the fixed on-colours.
struct ViewBinding {
  struct Channel {
    ITextTarget *value, *current, *adc, *dac;
    ILampTarget* lamp[8];
  } channel[4];
  ILampTarget* logic[12];
  ILampTarget* module[6];
  ITextTarget* version;
};

// The firmware version of a module status block, as the window shows it ("01.07").
std::string VersionText(const std::uint8_t* data);

class LiveStatus {
 public:
  explicit LiveStatus(IWritePermission& permission) : permission_(permission) {}

  TChanelView Chanel_view[4];
  TModuleView Module_view;

  // Binds the views to the window's widgets and clears the settings record.
  void Init_views(const ViewBinding& binding);
  void Out_chanel_status(int ch, const std::uint8_t* data);
  void Out_module_status(const std::uint8_t* data);

 private:
  IWritePermission& permission_;
};
