// SPDX-License-Identifier: GPL-3.0-or-later
// Every caption and shown text of a window fits its control (hidden controls aside).
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QWidget>

#include <initializer_list>

namespace testing_support {

inline void ExpectNothingClipped(std::initializer_list<QWidget*> windows) {
  for (QWidget* window : windows) {
    for (QWidget* w : window->findChildren<QWidget*>()) {
      if (!w->isVisibleTo(window)) continue;
      const auto fits = [&](const QString& text, int margin) {
        return w->fontMetrics().horizontalAdvance(text) + margin <= w->width();
      };
      if (auto* label = qobject_cast<QLabel*>(w); label != nullptr && !label->wordWrap()) {
        EXPECT_TRUE(fits(label->text(), 0)) << label->text().toStdString();
      } else if (auto* button = qobject_cast<QAbstractButton*>(w); button != nullptr) {
        EXPECT_TRUE(fits(button->text(), 8)) << button->text().toStdString();
      } else if (auto* edit = qobject_cast<QLineEdit*>(w); edit != nullptr) {
        EXPECT_TRUE(fits(edit->text(), 6)) << edit->objectName().toStdString();
      } else if (auto* list = qobject_cast<QComboBox*>(w); list != nullptr) {
        for (int i = 0; i < list->count(); ++i)
          EXPECT_TRUE(fits(list->itemText(i), 20)) << list->objectName().toStdString();
      }
    }
  }
}

}  // namespace testing_support
