// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "link/link_interfaces.h"
#include "link/live_status.h"
#include "link/live_values.h"
#include "settings/module_settings.h"
#include "tests/support/russian_locale.h"

namespace {

struct Permission : IWritePermission {
  void SetWritePermission(bool a) override { allowed = a; }
  void SetBlockChecked(bool c) override { checked = c; }
  bool allowed = false, checked = false;
};

struct Views : LiveValues {
  Permission permission;
  LiveStatus live{permission};
  Views() { live.Init_views(Binding()); }
};

TEST(LiveStatus, ChannelValuesAndLamps) {
  ModuleSettings.SysSet.Number = 77;
  Views v;
  EXPECT_EQ(ModuleSettings.SysSet.Number, 0) << "Init_views clears the record";
  const std::uint8_t one[11] = {0x00, 0x80, 0x3F, 0x00, 0xA0, 0x40, 0xE8, 0x03, 0xFF, 0x0F, 0xFF};
  v.live.Out_chanel_status(1, one);
  EXPECT_EQ(v.value[1].text, "  1.000");
  EXPECT_EQ(v.current[1].text, " 5.00");
  EXPECT_EQ(v.adc[1].text, " 1000");
  EXPECT_EQ(v.dac[1].text, " 4095");
  const std::uint32_t on[8] = {kColorRed,    kColorYellow, kColorRed,    kColorRed,
                               kColorYellow, kColorYellow, kColorYellow, kColorYellow};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(v.chan[1][i].color, on[i]) << i;
  const std::uint8_t zero[11] = {};
  v.live.Out_chanel_status(1, zero);
  EXPECT_EQ(v.value[1].text, "  0.000");
  for (int i = 0; i < 8; ++i) EXPECT_EQ(v.chan[1][i].color, kColorSilver);

  // Under a Russian locale the values still print with a point.
  {
    const RussianLocale russian;
    ASSERT_TRUE(russian.Active());
    v.live.Out_chanel_status(0, one);
  }
  EXPECT_EQ(v.value[0].text, "  1.000");
}

TEST(LiveStatus, ModuleVersionLampsAndPermission) {
  Views v;
  std::uint8_t data[16] = {};
  const auto version = [&](std::uint8_t lo, std::uint8_t hi) {
    data[0] = lo;
    data[1] = hi;
    v.live.Out_module_status(data);
    return v.version.text;
  };
  EXPECT_EQ(version(0x7B, 0x00), "01.23");
  EXPECT_EQ(version(0x0F, 0x27), "99.99");
  EXPECT_EQ(version(0x10, 0x27), "00.00");

  data[4] = 0xFF;
  data[5] = 0xFF;  // bits 12..15 too: there are only twelve lamps
  data[15] = 0x18;
  v.live.Out_module_status(data);
  for (const LiveLamp& l : v.logic) EXPECT_EQ(l.color, kColorYellow);
  EXPECT_TRUE(v.permission.allowed);
  EXPECT_TRUE(v.permission.checked);
  EXPECT_EQ(v.module[3].color, kColorYellow);
  EXPECT_EQ(v.module[4].color, kColorYellow);
  EXPECT_EQ(v.module[0].color, kColorSilver);

  data[15] = 0x00;
  v.live.Out_module_status(data);
  for (const LiveLamp& l : v.logic) EXPECT_EQ(l.color, kColorRed);

  data[15] = 0x08;
  v.live.Out_module_status(data);
  EXPECT_FALSE(v.permission.allowed);
  EXPECT_FALSE(v.permission.checked);
  EXPECT_EQ(v.logic[0].color, kColorYellow) << "start blocking alone still colours them yellow";

  data[15] = 0xC0 | 0x25;  // bits 6 and 7 change nothing
  v.live.Out_module_status(data);
  EXPECT_EQ(v.module[0].color, kColorRed);
  EXPECT_EQ(v.module[2].color, kColorRed);
  EXPECT_EQ(v.module[5].color, kColorRed);
  EXPECT_EQ(v.module[1].color, kColorSilver);
}

}  // namespace
