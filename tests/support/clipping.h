// SPDX-License-Identifier: GPL-3.0-or-later
// Every caption and shown text of a window fits its control (hidden controls aside), and no text
// of a window laid out by hand covers another.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QWidget>

#include <initializer_list>
#include <utility>
#include <vector>

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

// No label's text of a window laid out by hand is covered by another label's text or by a control.
inline void ExpectNoLabelsOverlap(QWidget* window) {
  std::vector<std::pair<QLabel*, QRect>> texts;
  for (QLabel* label : window->findChildren<QLabel*>()) {
    if (!label->isVisibleTo(window) || label->text().isEmpty() || label->wordWrap()) continue;
    const QSize size(label->fontMetrics().horizontalAdvance(label->text()), label->fontMetrics().height());
    const QRect inLabel =
        QStyle::alignedRect(label->layoutDirection(), label->alignment(), size, label->contentsRect());
    texts.emplace_back(label, QRect(label->mapTo(window, inLabel.topLeft()), inLabel.size()));
  }
  for (std::size_t i = 0; i < texts.size(); ++i)
    for (std::size_t j = i + 1; j < texts.size(); ++j)
      EXPECT_FALSE(texts[i].second.intersects(texts[j].second))
          << texts[i].first->text().toStdString() << " / " << texts[j].first->text().toStdString();
  for (QWidget* control : window->findChildren<QWidget*>()) {
    const bool isControl = qobject_cast<QLineEdit*>(control) != nullptr ||
                           qobject_cast<QAbstractButton*>(control) != nullptr ||
                           qobject_cast<QComboBox*>(control) != nullptr;
    if (!isControl || !control->isVisibleTo(window)) continue;
    const QRect area(control->mapTo(window, QPoint(0, 0)), control->size());
    for (const auto& [label, text] : texts)
      EXPECT_FALSE(text.intersects(area))
          << label->text().toStdString() << " / " << control->objectName().toStdString();
  }
}

}  // namespace testing_support
