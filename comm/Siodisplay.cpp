// SPDX-License-Identifier: GPL-3.0-or-later
#include "comm/Siodisplay.h"

#include <QApplication>
#include <QPainter>
#include <QPalette>

namespace {

QColor ToQColor(TSioColor c) {
  return QColor(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                static_cast<int>((c >> 16) & 0xFF));
}

TSioColor FromQColor(const QColor& c) {
  return static_cast<TSioColor>(c.red()) | static_cast<TSioColor>(c.green()) << 8 |
         static_cast<TSioColor>(c.blue()) << 16;
}

}  // namespace

TSioLEDDisplay::TSioLEDDisplay(QWidget* parent)
    : TSioDisplay(parent), color_(FromQColor(QApplication::palette().color(QPalette::Base))) {
  Beep = [] { QApplication::beep(); };
  QFont small = font();
  small.setPixelSize(9);  // "RING" and "CTSH" fit a 35-pixel lamp
  setFont(small);
  SetBounds(x(), y(), 316, 18);
}

void TSioLEDDisplay::SetBounds(int left, int top, int width, int height) {
  TSioDisplay::SetBounds(left, top, width, height);
  FitBitmap(QSize(width, height));
}

// A resize by a layout keeps the bitmap the size of the control too.
void TSioLEDDisplay::resizeEvent(QResizeEvent* event) {
  TSioDisplay::resizeEvent(event);
  FitBitmap(size());
}

void TSioLEDDisplay::FitBitmap(const QSize& size) {
  const QSize wanted(std::max(size.width(), 1), std::max(size.height(), 1));
  if (bitmap_.size() != wanted) bitmap_ = QImage(wanted, QImage::Format_RGB32);
}

void TSioLEDDisplay::UpdateDisplay(TSioComponent* sender) {
  auto* comm = dynamic_cast<TSioCustomComm*>(sender);
  if (comm == nullptr) {
    if (Beep) Beep();
    return;
  }
  // Each state is a read of its own, as the lamps are independent.
  for (int i = 0; i < 4; ++i) states_[i] = comm->GetModemStatus(i + 1);
  for (int i = 0; i < 5; ++i) states_[4 + i] = comm->GetComStat(i + 1);
  UpdateControlCanvas();
}

void TSioLEDDisplay::paintEvent(QPaintEvent*) {
  Paint();
  QPainter screen(this);
  screen.drawImage(0, 0, bitmap_);
}

void TSioLEDDisplay::Paint() {
  int shown = 0;
  for (bool s : show_) shown += s ? 1 : 0;
  const int lampWidth = mode_ == ltScale ? (shown > 0 ? width() / shown : 0) : width() / kLamps;
  QPainter canvas(&bitmap_);
  canvas.setPen(ToQColor(color_));
  canvas.setBrush(ToQColor(color_));
  canvas.drawRect(0, 0, width() - 1, height() - 1);
  int x = 0;
  for (int i = 0; i < kLamps; ++i) {
    if (!show_[i]) continue;
    DrawLamp(canvas, x, lampWidth, states_[i] ? onColor_ : offColor_, kCaptions[i]);
    x += lampWidth;
  }
  ShowDesignFrame(canvas);
}

void TSioLEDDisplay::DrawLamp(QPainter& canvas, int x, int width, TSioColor color, const char* caption) {
  if (width <= 1) return;
  canvas.setPen(Qt::black);
  canvas.setBrush(ToQColor(color));
  // The lamp's box runs from x + 1 to x + width - 1 over the whole height.
  const QRect box(x + 1, 0, width - 2, height() - 1);
  canvas.setRenderHint(QPainter::Antialiasing, type_ == ltRounded);
  if (type_ == ltRectangle) {
    canvas.drawRect(box);
  } else {
    canvas.drawEllipse(box);
  }
  canvas.setRenderHint(QPainter::Antialiasing, false);
  if (!caption_) return;
  canvas.setBrush(Qt::NoBrush);
  canvas.setFont(font());
  canvas.setPen(ToQColor(fontColor_));
  const int vertical = type_ == ltRounded ? Qt::AlignVCenter : Qt::AlignTop;
  canvas.drawText(box, Qt::AlignHCenter | vertical | Qt::TextSingleLine, caption);
}
