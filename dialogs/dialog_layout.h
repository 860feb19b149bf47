// SPDX-License-Identifier: GPL-3.0-or-later
// Building blocks the settings dialogs lay themselves out with.
#pragma once

#include <QCheckBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include <vector>

#include "gui/text_edit.h"

// The events of a measurement channel in their bit and nibble order, as the logic and LED dialogs
// caption their rows.
inline constexpr const char* kChanelEventCaptions[8] = {QT_TRANSLATE_NOOP("Dialogs", "Ошибка параметров"),
                                                        QT_TRANSLATE_NOOP("Dialogs", "Коррекция параметров"),
                                                        QT_TRANSLATE_NOOP("Dialogs", "Неиспр. датчика мин."),
                                                        QT_TRANSLATE_NOOP("Dialogs", "Неиспр. датчика макс."),
                                                        QT_TRANSLATE_NOOP("Dialogs", "Выход за уставку 1"),
                                                        QT_TRANSLATE_NOOP("Dialogs", "Выход за уставку 2"),
                                                        QT_TRANSLATE_NOOP("Dialogs", "Выход за уставку 3"),
                                                        QT_TRANSLATE_NOOP("Dialogs", "Выход за уставку 4")};

// The system's events as the logic dialog's rows name them, and as the LED dialog's (events 6 and 7
// are its reserve).
inline constexpr const char* kLogicSystemEventCaptions[8] = {
    QT_TRANSLATE_NOOP("Dialogs", "Ошибка параметров"),
    QT_TRANSLATE_NOOP("Dialogs", "Коррекция параметров"),
    QT_TRANSLATE_NOOP("Dialogs", "Ошибка  CAN интерф."),
    QT_TRANSLATE_NOOP("Dialogs", "Старт. блокир. выходов"),
    QT_TRANSLATE_NOOP("Dialogs", "Блокировка выходов"),
    QT_TRANSLATE_NOOP("Dialogs", "Блокир. работы VEXA"),
    QT_TRANSLATE_NOOP("Dialogs", "Резерв"),
    QT_TRANSLATE_NOOP("Dialogs", "Резерв")};
inline constexpr const char* kLedSystemEventCaptions[6] = {
    QT_TRANSLATE_NOOP("Dialogs", "Ошибка параметров"),
    QT_TRANSLATE_NOOP("Dialogs", "Коррекция параметров"),
    QT_TRANSLATE_NOOP("Dialogs", "Ошибка  CAN интерф."),
    QT_TRANSLATE_NOOP("Dialogs", "Старт. блокир. выходов"),
    QT_TRANSLATE_NOOP("Dialogs", "Блокировка выходов"),
    QT_TRANSLATE_NOOP("Dialogs", "Блокировка работы VEXA")};

// A text of the tables above and the dialogs' shared pieces in the language of the window.
inline QString DialogText(const char* text) { return QCoreApplication::translate("Dialogs", text); }

template <class T>
T* Named(T* widget, const char* name) {
  widget->setObjectName(name);
  return widget;
}

// A masked edit as wide as its mask's characters.
TMaskEdit* MaskEdit(const char* mask, const char* name);

// A label with its font made bold or underlined.
QLabel* StyledLabel(const QString& text, bool bold, bool underline);

// "Принять" and "Отменить" as Button1 and Button2, in a row on the right.
QHBoxLayout* AcceptCancelRow(QPushButton*& accept, QPushButton*& cancel);

// A check box with its caption at its left edge and the box at its right edge; a click anywhere on
// it toggles it.
class TCaptionFirstCheckBox : public QCheckBox {
 public:
  using QCheckBox::QCheckBox;
  QSize sizeHint() const override;
  // The width from the caption's start to the box.
  int CaptionWidth() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }

 private:
  QRect IndicatorRect() const;
};

// A group of captioned rows: label on the left, controls on the right.
class Rows {
 public:
  Rows(const QString& caption, const char* name);
  // A centred caption across the row.
  void Caption(const QString& text);
  // The row's label, or null without one.
  QLabel* Add(const QString& label, QWidget* control, QWidget* extra = nullptr);
  // A check box that carries its own caption, with its box in the controls' column.
  void AddCaptioned(TCaptionFirstCheckBox* box);
  void Stretch() { grid_->setRowStretch(grid_->rowCount(), 1); }
  // Gives two groups, one above the other, one width of their label and extra columns, so that
  // their controls line up.
  static void AlignColumns(Rows& upper, Rows& lower);
  QGroupBox* Box() const { return box_; }

 private:
  int ColumnWidth(int column) const;
  void SetLabelWidth(int width);

  QGroupBox* box_;
  QGridLayout* grid_;
  std::vector<TCaptionFirstCheckBox*> captioned_;
};
