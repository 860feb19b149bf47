// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/module_picture.h"

#include <QPainter>

namespace {

constexpr qreal kWidth = 64, kHeight = 44;

// Draws in the picture's own 64 x 44 coordinates.
void PaintModule(QPainter& p) {
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  p.setPen(QPen(QColor(40, 40, 40), 1));
  p.setBrush(QColor(70, 90, 120));
  p.drawRoundedRect(QRectF(1.5, 1.5, 61, 41), 4, 4);
  p.setBrush(QColor(20, 30, 40));
  p.drawRect(QRectF(6.5, 6.5, 51, 14));
  p.setPen(QColor(120, 255, 140));
  QFont font("DejaVu Sans Mono");
  font.setPixelSize(11);
  font.setBold(true);
  p.setFont(font);
  p.drawText(QRectF(6, 6, 52, 15), Qt::AlignCenter, "VEXA");
  const QColor leds[] = {QColor(255, 210, 0), QColor(255, 210, 0), QColor(230, 40, 40), QColor(80, 220, 90)};
  for (int i = 0; i < 4; ++i) {
    p.setPen(Qt::NoPen);
    p.setBrush(leds[i]);
    p.drawEllipse(QPointF(12 + 13 * i, 31), 3, 3);
  }
}

}  // namespace

QPixmap ModulePicture() {
  QPixmap picture(static_cast<int>(kWidth), static_cast<int>(kHeight));
  picture.fill(Qt::transparent);
  QPainter p(&picture);
  PaintModule(p);
  return picture;
}

QImage ModuleIcon(int size) {
  QImage icon(size, size, QImage::Format_ARGB32_Premultiplied);
  icon.fill(Qt::transparent);
  QPainter p(&icon);
  const qreal scale = size / kWidth;
  p.translate(0, (size - kHeight * scale) / 2);
  p.scale(scale, scale);
  PaintModule(p);
  return icon;
}
