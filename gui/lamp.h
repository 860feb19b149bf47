// SPDX-License-Identifier: GPL-3.0-or-later
// A lamp: a small filled circle whose brush colour the program sets (the framework's circular shape).
#pragma once

#include <QWidget>
#include <cstdint>

#include "link/live_status.h"

class TShape : public QWidget, public ILampTarget {
 public:
  explicit TShape(QWidget* parent = nullptr);
  void SetColor(std::uint32_t bgr) override;
  std::uint32_t Color() const { return color_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::uint32_t color_ = 0xC0C0C0;
};
