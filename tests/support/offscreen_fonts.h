// SPDX-License-Identifier: GPL-3.0-or-later
// Test support: the window's tests on Windows (under Wine) with the fonts Linux's offscreen platform
// finds. Qt's offscreen platform on Windows reads fonts from a folder only, and Wine passes no QT_
// variable on, so the folder is named here: Linux's DejaVu, also for the calculator's Arial, so
// that texts measure alike. Without VEXA_TEST_FONT_DIR (Linux) both steps do nothing.
#pragma once

#include <QApplication>
#include <QFont>

namespace testing_support {

// Before the QApplication is made.
inline void NameOffscreenFontFolder() {
#ifdef VEXA_TEST_FONT_DIR
  qputenv("QT_QPA_FONTDIR", VEXA_TEST_FONT_DIR);
#endif
}

// Once it is made.
inline void UseOffscreenFonts() {
#ifdef VEXA_TEST_FONT_DIR
  QApplication::setFont(QFont(QStringLiteral("DejaVu Sans"), 9));
  QFont::insertSubstitution(QStringLiteral("Arial"), QStringLiteral("DejaVu Sans"));
#endif
}

}  // namespace testing_support
