// SPDX-License-Identifier: GPL-3.0-or-later
// The graphic-control base of the component library's widgets: an update counter that holds back
// repaints, and the notices a control passes on to optional handlers.
#pragma once

#include <QWidget>
#include <functional>

class TSioGraphicControl : public QWidget {
 public:
  explicit TSioGraphicControl(QWidget* parent = nullptr);

  using TNotifyHandler = std::function<void(TSioGraphicControl* sender)>;
  TNotifyHandler OnMouseEnter, OnMouseLeave, OnFontChanged, OnTextChanged;

  void BeginUpdate() { ++updateCount_; }
  void EndUpdate();
  int UpdateCount() const { return updateCount_; }
  // No form designer and no streaming from forms here: both queries are always false.
  bool IsDesigning() const { return false; }
  bool IsLoading() const { return false; }
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool value);

  // Position and size; descendants that keep buffers of their size override it.
  virtual void SetBounds(int left, int top, int width, int height) { setGeometry(left, top, width, height); }

 protected:
  // Repaints unless updates are held back.
  virtual void UpdateControlCanvas();
  virtual void UpdateControlBounds();
  virtual void AdjustControlSize();
  virtual void MouseEnter();
  virtual void MouseLeave();
  virtual void FontChanged();
  virtual void TextChanged();

  void ClearClientCanvas(QPainter& canvas, const QColor& color);
  void ShowDesignFrame(QPainter& canvas);

  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  int updateCount_ = 0;
  bool autoSize_ = false;
};
