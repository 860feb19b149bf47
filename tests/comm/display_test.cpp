// SPDX-License-Identifier: GPL-3.0-or-later
// The modem-line indicator rendered to an image. The screenshot on a real X server:
//   xvfb-run -a env QT_QPA_PLATFORM=xcb build/tests/comm/comm_display_tests --gtest_filter='*Screenshot*'
#include <gtest/gtest.h>

#include <QApplication>
#include <QPainter>

#include "comm/Siodisplay.h"

namespace {

QColor Q(TSioColor c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

// A display drawn with rectangular lamps and no captions, so that pixels tell lamp from background.
struct Plain : TSioLEDDisplay {
  Plain() {
    SetDisplayType(ltRectangle);
    SetDisplaycaption(false);
    SetColor(0x00C0C0);
  }
  QColor At(int x) { return grab().toImage().pixelColor(x, 9); }
};

TEST(LedDisplay, LampWidthsForScaleAndHide) {
  Plain all;
  ASSERT_EQ(all.size(), QSize(316, 18));
  for (int k = 0; k < 9; ++k) {
    EXPECT_EQ(all.At(35 * k + 17), Q(0x800000)) << "lamp " << k << " off before any update";
    EXPECT_EQ(all.At(35 * k), Q(0x00C0C0)) << "background before lamp " << k;
  }
  EXPECT_EQ(all.At(315), Q(0x00C0C0)) << "one column of background remains";

  Plain one;
  for (int k = 1; k < 9; ++k) one.SetShow(k, false);
  EXPECT_EQ(one.At(300), Q(0x800000)) << "scaled: one lamp over the whole width";
  one.SetDisplayMode(ltHide);
  EXPECT_EQ(one.At(17), Q(0x800000));
  EXPECT_EQ(one.At(100), Q(0x00C0C0)) << "hidden: 35 pixels, the rest background";
  one.SetShow(0, false);
  for (int x : {0, 17, 150, 315}) EXPECT_EQ(one.At(x), Q(0x00C0C0)) << "no lamp at all";
}

TEST(LedDisplay, CaptionsOnlyWhenAskedFor) {
  // Light pixels inside the first lamp, which is dark blue: only the caption's white gives them.
  const auto whitePixels = [](TSioLEDDisplay& d) {
    const QImage image = d.grab().toImage();
    int n = 0;
    for (int y = 2; y < 16; ++y)
      for (int x = 8; x < 27; ++x) n += image.pixelColor(x, y).lightness() > 150 ? 1 : 0;
    return n;
  };
  for (TSioDisplayType type : {ltRounded, ltRectangle}) {
    TSioLEDDisplay d;
    d.SetDisplayType(type);
    EXPECT_GT(whitePixels(d), 0) << "\"CTS\" in white, type " << type;
    d.SetDisplaycaption(false);
    EXPECT_EQ(whitePixels(d), 0);
  }
}

TEST(LedDisplay, UpdatesReadAComponentAndBeepForAnythingElse) {
  TSioLEDDisplay d;
  int beeps = 0;
  d.Beep = [&] { ++beeps; };
  TSioCommComponent notAPort;
  d.UpdateDisplay(&notAPort);
  EXPECT_EQ(beeps, 1);
  TSioComm closed;
  closed.SetDisplay(&d);
  d.UpdateDisplay(&closed);
  EXPECT_EQ(beeps, 1);
  for (int k = 0; k < 9; ++k) EXPECT_FALSE(d.State(k)) << "a closed port shows every lamp off";
  EXPECT_EQ(closed.Display(), &d);
}

TEST(LedDisplay, Screenshot) {
  QWidget sheet;
  sheet.setFixedSize(336, 4 * 26 + 8);
  QPalette palette = sheet.palette();
  palette.setColor(QPalette::Window, Qt::white);
  sheet.setPalette(palette);
  sheet.setAutoFillBackground(true);
  TSioLEDDisplay rounded(&sheet), rectangle(&sheet), scaled(&sheet), hidden(&sheet);
  rounded.SetBounds(10, 8, 316, 18);
  rectangle.SetBounds(10, 34, 316, 18);
  rectangle.SetDisplayType(ltRectangle);
  rectangle.SetOffColor(0x008000);
  scaled.SetBounds(10, 60, 316, 18);
  hidden.SetBounds(10, 86, 316, 18);
  for (int k : {2, 5, 6, 7}) scaled.SetShow(k, false);
  for (int k : {2, 5, 6, 7}) hidden.SetShow(k, false);
  hidden.SetDisplayMode(ltHide);
  sheet.show();
  EXPECT_TRUE(sheet.grab().save(QString(VEXA_SHOT_DIR) + "/indicator.png"));
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
