// SPDX-License-Identifier: GPL-3.0-or-later
// The modem-line indicator: a row of up to nine lamps for the four modem input lines and the five
// transmit-hold flags of a serial component, refreshed by the component on every batch of events.
#pragma once

#include <QImage>
#include <array>
#include <cstdint>
#include <functional>

#include "comm/SioComm.h"
#include "comm/Siocontrols.h"

class TSioComponent;

// Colours as the component library gives them: red in the low byte, then green, then blue.
using TSioColor = std::uint32_t;

class TSioDisplay : public TSioGraphicControl, public TSioDisplayBase {
 public:
  explicit TSioDisplay(QWidget* parent = nullptr) : TSioGraphicControl(parent) {}
  // sender: what asks for the update; only a serial component can answer the display's reads.
  virtual void UpdateDisplay(TSioComponent* sender) = 0;
  void UpdateDisplay(TSioCustomComm* sender) override { UpdateDisplay(static_cast<TSioComponent*>(sender)); }
};

enum TSioDisplayType { ltRounded, ltRectangle };
enum TSioDisplayMode { ltHide, ltScale };

class TSioLEDDisplay : public TSioDisplay {
 public:
  explicit TSioLEDDisplay(QWidget* parent = nullptr);

  static constexpr int kLamps = 9;
  static constexpr const char* kCaptions[kLamps] = {"CTS",  "DSR",  "RING", "RLSD", "CTSH",
                                                    "DSRH", "LSDH", "XH",   "XS"};

  void UpdateDisplay(TSioComponent* sender) override;
  using TSioDisplay::UpdateDisplay;
  void SetBounds(int left, int top, int width, int height) override;

  // Published properties; each setter repaints when the value changes.
  TSioColor Color() const { return color_; }
  void SetColor(TSioColor value) { Set(color_, value); }
  // Lamp k (0..8, table order: CTS, DSR, RING, RLSD, CTS hold, DSR hold, RLSD hold, Xoff hold,
  // Xoff sent) shown or not; the named setters are the properties ShowCTS .. ShowXOffSent.
  bool Show(int lamp) const { return lamp >= 0 && lamp < kLamps && show_[lamp]; }
  void SetShow(int lamp, bool value) {
    if (lamp >= 0 && lamp < kLamps) Set(show_[lamp], value);
  }
  void SetShowCTS(bool v) { SetShow(0, v); }
  void SetShowDSR(bool v) { SetShow(1, v); }
  void SetShowRING(bool v) { SetShow(2, v); }
  void SetShowRLSD(bool v) { SetShow(3, v); }
  void SetShowCTSHold(bool v) { SetShow(4, v); }
  void SetShowDSRHold(bool v) { SetShow(5, v); }
  void SetShowRLSDHold(bool v) { SetShow(6, v); }
  void SetShowXOffHold(bool v) { SetShow(7, v); }
  void SetShowXOffSent(bool v) { SetShow(8, v); }
  TSioColor OnColor() const { return onColor_; }
  void SetOnColor(TSioColor value) { Set(onColor_, value); }
  TSioColor OffColor() const { return offColor_; }
  void SetOffColor(TSioColor value) { Set(offColor_, value); }
  TSioDisplayType DisplayType() const { return type_; }
  void SetDisplayType(TSioDisplayType value) { Set(type_, value); }
  TSioDisplayMode DisplayMode() const { return mode_; }
  void SetDisplayMode(TSioDisplayMode value) { Set(mode_, value); }
  bool Displaycaption() const { return caption_; }
  void SetDisplaycaption(bool value) { Set(caption_, value); }
  TSioColor FontColor() const { return fontColor_; }
  void SetFontColor(TSioColor value) { Set(fontColor_, value); }

  // The lamps' states as last read.
  bool State(int lamp) const { return lamp >= 0 && lamp < kLamps && states_[lamp]; }
  // The system beep for a sender that cannot be read; replaceable for tests.
  std::function<void()> Beep;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  template <class T>
  void Set(T& field, T value) {
    if (field == value) return;
    field = value;
    UpdateControlCanvas();
  }
  void Paint();
  void FitBitmap(const QSize& size);
  void DrawLamp(QPainter& canvas, int x, int width, TSioColor color, const char* caption);

  TSioColor color_;
  std::array<bool, kLamps> show_{true, true, true, true, true, true, true, true, true};
  TSioColor onColor_ = 0xFF0000;   // pure blue
  TSioColor offColor_ = 0x800000;  // dark blue
  TSioDisplayType type_ = ltRounded;
  TSioDisplayMode mode_ = ltScale;
  bool caption_ = true;
  TSioColor fontColor_ = 0xFFFFFF;
  std::array<bool, kLamps> states_{};
  QImage bitmap_;  // drawn off screen, then copied onto the control
};
