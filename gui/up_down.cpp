// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/up_down.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "gui/text_edit.h"
#include "settings/text_number.h"

TUpDown::TUpDown(TMaskEdit* associate, int min, int max, QWidget* parent)
    : QWidget(parent), associate_(associate), min_(min), max_(max) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  const auto arrow = [&](Qt::ArrowType type, Button button) {
    auto* b = new QToolButton(this);
    b->setArrowType(type);
    b->setAutoRepeat(true);
    b->setFocusPolicy(Qt::NoFocus);
    b->setFixedSize(16, 11);
    connect(b, &QToolButton::clicked, this, [this, button] { Step(button); });
    layout->addWidget(b);
    return b;
  };
  up_ = arrow(Qt::UpArrow, Button::Up);
  down_ = arrow(Qt::DownArrow, Button::Down);
  associate_->installEventFilter(this);
}

void TUpDown::Step(Button button) {
  // A box opened by the handler runs its own event loop, in which a held arrow's repeat would step
  // again and open box after box.
  if (stepping_) return;
  stepping_ = true;
  const std::optional<int> current = Current ? Current() : std::nullopt;
  const double shown = current ? *current : TextToNumber(associate_->Text(), associate_->Text().size());
  const int position = static_cast<int>(std::clamp<double>(std::floor(shown), min_, max_));
  const int next = std::clamp(position + (button == Button::Up ? 1 : -1), min_, max_);
  associate_->EnterText(QString::number(next).rightJustified(associate_->maxLength()));
  if (OnClick) OnClick(button);
  stepping_ = false;
  // Such a box also took the mouse release: end the repeat unless the button is really still held.
  if (QGuiApplication::mouseButtons() == Qt::NoButton) {
    up_->setDown(false);
    down_->setDown(false);
  }
}

bool TUpDown::eventFilter(QObject* watched, QEvent* event) {
  if (watched == associate_ && event->type() == QEvent::KeyPress && isEnabled() &&
      !associate_->isReadOnly()) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Up || key == Qt::Key_Down) {
      Step(key == Qt::Key_Up ? Button::Up : Button::Down);
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}
