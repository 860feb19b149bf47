// SPDX-License-Identifier: GPL-3.0-or-later
// Live-status targets that keep what the decoders give them, for displays without widgets (the
// command line, tests), with the binding that connects them to the views.
#pragma once

#include <cstdint>
#include <string>

#include "link/link_interfaces.h"
#include "link/live_status.h"

struct LiveText : ITextTarget {
  void SetText(const std::string& t) override { text = t; }
  std::string text;
};

struct LiveLamp : ILampTarget {
  void SetColor(std::uint32_t c) override { color = c; }
  bool On() const { return color != kColorSilver; }
  std::uint32_t color = kColorSilver;
};

struct LiveValues {
  LiveText value[4], current[4], adc[4], dac[4], version;
  LiveLamp chan[4][8], logic[12], module[6];

  ViewBinding Binding() {
    ViewBinding b{};
    for (int ch = 0; ch < 4; ++ch) {
      b.channel[ch] = {&value[ch], &current[ch], &adc[ch], &dac[ch], {}};
      for (int i = 0; i < 8; ++i) b.channel[ch].lamp[i] = &chan[ch][i];
    }
    for (int i = 0; i < 12; ++i) b.logic[i] = &logic[i];
    for (int i = 0; i < 6; ++i) b.module[i] = &module[i];
    b.version = &version;
    return b;
  }
};
