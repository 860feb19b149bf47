// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/lamp.h"

#include <QPainter>

#include "gui/colors.h"

TShape::TShape(QWidget* parent) : QWidget(parent) { setFixedSize(9, 9); }

void TShape::SetColor(std::uint32_t bgr) {
  if (bgr == color_) return;
  color_ = bgr;
  update();
}

void TShape::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(Qt::black, 1));
  painter.setBrush(ColorFromBgr(color_));
  painter.drawEllipse(QRectF(0.5, 0.5, width() - 1.0, height() - 1.0));
}
