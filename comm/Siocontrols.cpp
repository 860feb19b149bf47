// SPDX-License-Identifier: GPL-3.0-or-later
#include "comm/Siocontrols.h"

#include <QEvent>
#include <QPainter>

TSioGraphicControl::TSioGraphicControl(QWidget* parent) : QWidget(parent) {}

void TSioGraphicControl::EndUpdate() {
  if (updateCount_ > 0) --updateCount_;
  UpdateControlCanvas();
}

void TSioGraphicControl::SetAutoSize(bool value) {
  if (value == autoSize_) return;
  autoSize_ = value;
  UpdateControlBounds();
}

void TSioGraphicControl::UpdateControlCanvas() {
  if (!IsLoading() && updateCount_ == 0) update();
}

// Re-applies the bounds; a change repaints by itself, an unchanged size needs the explicit repaint.
void TSioGraphicControl::AdjustControlSize() {
  if (IsLoading()) return;
  const QRect before = geometry();
  SetBounds(before.x(), before.y(), before.width(), before.height());
  if (geometry() == before) UpdateControlCanvas();
}

void TSioGraphicControl::UpdateControlBounds() {
  if (autoSize_) {
    AdjustControlSize();
  } else {
    UpdateControlCanvas();
  }
}

void TSioGraphicControl::MouseEnter() {
  if (OnMouseEnter) OnMouseEnter(this);
}
void TSioGraphicControl::MouseLeave() {
  if (OnMouseLeave) OnMouseLeave(this);
}
void TSioGraphicControl::FontChanged() {
  if (OnFontChanged) OnFontChanged(this);
}
void TSioGraphicControl::TextChanged() {
  if (OnTextChanged) OnTextChanged(this);
}

void TSioGraphicControl::ClearClientCanvas(QPainter& canvas, const QColor& color) {
  canvas.fillRect(rect(), color);
}

void TSioGraphicControl::ShowDesignFrame(QPainter& canvas) {
  if (!IsDesigning()) return;
  canvas.setPen(QPen(Qt::black, 1, Qt::DotLine));
  canvas.setBrush(Qt::NoBrush);
  canvas.drawRect(rect().adjusted(0, 0, -1, -1));
}

void TSioGraphicControl::enterEvent(QEnterEvent* event) {
  QWidget::enterEvent(event);
  MouseEnter();
}

void TSioGraphicControl::leaveEvent(QEvent* event) {
  QWidget::leaveEvent(event);
  MouseLeave();
}

void TSioGraphicControl::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::FontChange) FontChanged();
  if (event->type() == QEvent::WindowTitleChange) TextChanged();
}
