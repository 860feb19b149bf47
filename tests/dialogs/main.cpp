// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QApplication>

#include "tests/support/offscreen_fonts.h"

int main(int argc, char** argv) {
  // Offscreen unless a platform is asked for (xcb on Xvfb for the screenshots).
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  testing_support::NameOffscreenFontFolder();
  QApplication app(argc, argv);
  testing_support::UseOffscreenFonts();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
