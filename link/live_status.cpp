// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/live_status.h"

#include <span>

#include "link/link_interfaces.h"
#include "settings/c_format.h"
#include "settings/float24.h"
#include "settings/module_settings.h"

namespace {

constexpr std::uint32_t kChannelOn[8] = {kColorRed,    kColorYellow, kColorRed,    kColorRed,
                                         kColorYellow, kColorYellow, kColorYellow, kColorYellow};
constexpr std::uint32_t kModuleOn[6] = {kColorRed,    kColorYellow, kColorRed,
                                        kColorYellow, kColorYellow, kColorRed};

unsigned Word(const std::uint8_t* data) { return static_cast<unsigned>(data[0] | data[1] << 8); }

}  // namespace

void LiveStatus::Init_views(const ViewBinding& binding) {
  for (int ch = 0; ch < 4; ++ch) {
    TChanelView& view = Chanel_view[ch];
    const auto& widgets = binding.channel[ch];
    view.value = widgets.value;
    view.current = widgets.current;
    view.adc = widgets.adc;
    view.dac = widgets.dac;
    for (int i = 0; i < 8; ++i) {
      view.lamp[i] = widgets.lamp[i];
      view.onColor[i] = kChannelOn[i];
    }
  }
  for (int i = 0; i < 12; ++i) Module_view.logic[i] = binding.logic[i];
  for (int i = 0; i < 6; ++i) {
    Module_view.module[i] = binding.module[i];
    Module_view.moduleOnColor[i] = kModuleOn[i];
  }
  Module_view.version = binding.version;
  ClearSettings(ModuleSettings);
}

void LiveStatus::Out_chanel_status(int ch, const std::uint8_t* data) {
  const TChanelView& view = Chanel_view[ch];
  const float value = DecodeFloat24(std::span<const std::uint8_t, 3>(data, 3));
  const float current = DecodeFloat24(std::span<const std::uint8_t, 3>(data + 3, 3));
  view.value->SetText(CFormat("%7.3f", static_cast<double>(value)));
  view.current->SetText(CFormat("%5.2f", static_cast<double>(current)));
  view.adc->SetText(CFormat("%5u", Word(data + 6)));
  view.dac->SetText(CFormat("%5u", Word(data + 8)));
  for (int i = 0; i < 8; ++i) view.lamp[i]->SetColor((data[10] >> i) & 1U ? view.onColor[i] : kColorSilver);
}

std::string VersionText(const std::uint8_t* data) {
  unsigned version = Word(data);
  if (version > 9999) version = 0;
  return CFormat("%05.2f", version * 0.01);
}

void LiveStatus::Out_module_status(const std::uint8_t* data) {
  Module_view.version->SetText(VersionText(data));
  const unsigned outputs = Word(data + 4);
  const std::uint8_t status = data[15];
  const std::uint32_t logicOn = (status & 0x18) ? kColorYellow : kColorRed;
  permission_.SetWritePermission((status & 0x10) != 0);
  for (int i = 0; i < 12; ++i) Module_view.logic[i]->SetColor((outputs >> i) & 1U ? logicOn : kColorSilver);
  for (int i = 0; i < 6; ++i)
    Module_view.module[i]->SetColor((status >> i) & 1U ? Module_view.moduleOnColor[i] : kColorSilver);
  permission_.SetBlockChecked((status & 0x10) != 0);
}
