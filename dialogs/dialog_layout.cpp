// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/dialog_layout.h"

#include <QHBoxLayout>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <algorithm>

namespace {

constexpr int kCaptionGap = 6;

}  // namespace

TMaskEdit* MaskEdit(const char* mask, const char* name) {
  auto* edit = Named(new TMaskEdit(mask), name);
  edit->setFixedWidth(edit->fontMetrics().horizontalAdvance(QString(edit->maxLength() + 2, '0')) + 8);
  return edit;
}

QLabel* StyledLabel(const QString& text, bool bold, bool underline) {
  auto* label = new QLabel(text);
  QFont font = label->font();
  font.setBold(bold);
  font.setUnderline(underline);
  label->setFont(font);
  return label;
}

QHBoxLayout* AcceptCancelRow(QPushButton*& accept, QPushButton*& cancel) {
  accept = Named(new QPushButton(DialogText(QT_TRANSLATE_NOOP("Dialogs", "Принять"))), "Button1");
  cancel = Named(new QPushButton(DialogText(QT_TRANSLATE_NOOP("Dialogs", "Отменить"))), "Button2");
  auto* row = new QHBoxLayout;
  row->addStretch(1);
  row->addWidget(accept);
  row->addWidget(cancel);
  return row;
}

QRect TCaptionFirstCheckBox::IndicatorRect() const {
  QStyleOptionButton option;
  initStyleOption(&option);
  const QRect box = style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, this);
  return {width() - box.width(), (height() - box.height()) / 2, box.width(), box.height()};
}

int TCaptionFirstCheckBox::CaptionWidth() const {
  return fontMetrics().horizontalAdvance(text()) + kCaptionGap;
}

QSize TCaptionFirstCheckBox::sizeHint() const {
  return {CaptionWidth() + IndicatorRect().width(), QCheckBox::sizeHint().height()};
}

void TCaptionFirstCheckBox::paintEvent(QPaintEvent*) {
  QStylePainter painter(this);
  QStyleOptionButton option;
  initStyleOption(&option);
  QStyleOptionButton indicator = option;
  indicator.rect = IndicatorRect();
  painter.drawPrimitive(QStyle::PE_IndicatorCheckBox, indicator);
  const QRect caption(0, 0, indicator.rect.left() - kCaptionGap, height());
  painter.drawItemText(caption, Qt::AlignLeft | Qt::AlignVCenter, palette(), isEnabled(), text(),
                       QPalette::WindowText);
  if (hasFocus()) {
    QStyleOptionFocusRect focus;
    focus.initFrom(this);
    focus.rect = painter.boundingRect(caption, Qt::AlignLeft | Qt::AlignVCenter, text());
    painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
  }
}

Rows::Rows(const QString& caption, const char* name) : box_(Named(new QGroupBox(caption), name)) {
  grid_ = new QGridLayout(box_);
  grid_->setColumnStretch(3, 1);  // the room left over goes to the right
  grid_->setHorizontalSpacing(8);
}

void Rows::Caption(const QString& text) {
  auto* label = new QLabel(text);
  label->setAlignment(Qt::AlignCenter);
  grid_->addWidget(label, grid_->rowCount(), 0, 1, 4);
}

QLabel* Rows::Add(const QString& label, QWidget* control, QWidget* extra) {
  const int row = grid_->rowCount();
  QLabel* caption = label.isEmpty() ? nullptr : new QLabel(label);
  if (caption != nullptr) grid_->addWidget(caption, row, 0);
  grid_->addWidget(control, row, 1, Qt::AlignLeft);
  if (extra != nullptr) grid_->addWidget(extra, row, 2, Qt::AlignLeft);
  return caption;
}

void Rows::AddCaptioned(TCaptionFirstCheckBox* box) {
  grid_->addWidget(box, grid_->rowCount(), 0, 1, 2, Qt::AlignLeft);
  captioned_.push_back(box);
}

// The captioned boxes reach across the label column, so that their boxes stand where the other
// rows' controls begin.
void Rows::SetLabelWidth(int width) {
  grid_->setColumnMinimumWidth(0, width);
  for (TCaptionFirstCheckBox* box : captioned_)
    box->setFixedWidth(width + grid_->horizontalSpacing() + box->sizeHint().width() - box->CaptionWidth());
}

void Rows::AlignColumns(Rows& upper, Rows& lower) {
  const int labels = std::max(upper.ColumnWidth(0), lower.ColumnWidth(0));
  upper.SetLabelWidth(labels);
  lower.SetLabelWidth(labels);
  const int extras = std::max(upper.ColumnWidth(2), lower.ColumnWidth(2));
  upper.grid_->setColumnMinimumWidth(2, extras);
  lower.grid_->setColumnMinimumWidth(2, extras);
}

int Rows::ColumnWidth(int column) const {
  int width = 0;
  for (int row = 0; row < grid_->rowCount(); ++row) {
    QLayoutItem* item = grid_->itemAtPosition(row, column);
    const bool spanning = item != nullptr && item == grid_->itemAtPosition(row, 1);
    if (item != nullptr && item->widget() != nullptr && !spanning)
      width = std::max(width, item->widget()->sizeHint().width());
  }
  if (column == 0)
    for (const TCaptionFirstCheckBox* box : captioned_)
      width = std::max(width, box->CaptionWidth() - grid_->horizontalSpacing());
  return width;
}
