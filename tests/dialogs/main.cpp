// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QApplication>
#include <QFont>

int main(int argc, char** argv) {
  // Offscreen unless a platform is asked for (xcb on Xvfb for the screenshots).
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
#ifdef VEXA_TEST_FONT_DIR
  // Qt's offscreen platform on Windows reads fonts from a folder only (Wine passes no QT_ variable
  // on): Linux's DejaVu, the family Linux's offscreen platform finds, also for the calculator's
  // Arial, so that texts measure alike.
  qputenv("QT_QPA_FONTDIR", VEXA_TEST_FONT_DIR);
#endif
  QApplication app(argc, argv);
#ifdef VEXA_TEST_FONT_DIR
  QApplication::setFont(QFont(QStringLiteral("DejaVu Sans"), 9));
  QFont::insertSubstitution(QStringLiteral("Arial"), QStringLiteral("DejaVu Sans"));
#endif
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
