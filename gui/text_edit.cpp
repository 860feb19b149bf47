// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/text_edit.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMenu>

#include "gui/colors.h"

TEdit::TEdit(QWidget* parent) : QLineEdit(parent) {
  connect(this, &QLineEdit::textChanged, this, [this] {
    if (showing_) return;
    // Undone back to the cut text the program showed: untouched again, and marked again.
    if (wasCut_ && text() == shown_ && !isUndoAvailable()) {
      typed_ = false;
      if (!cut_) MarkCut();
      return;
    }
    typed_ = true;
    if (cut_) Uncut();
  });
}

void TEdit::SetText(const std::string& text) {
  const QString whole = QString::fromStdString(text);
  showing_ = true;
  setText(Fitted(whole));
  showing_ = false;
  shown_ = this->text();  // as shown: a long text is cut to the edit's length
  typed_ = false;
  // Cut when a character of the value is missing, not when the mask only adds blanks.
  wasCut_ = QString(shown_).remove(' ') != QString(whole).remove(' ');
  if (!wasCut_) {
    if (cut_) Uncut();
    return;
  }
  toolTipWhole_ = tr("Сохраненное значение %1 не помещается в поле").arg(whole.trimmed());
  if (cut_) {
    setToolTip(toolTipWhole_);
  } else {
    MarkCut();
  }
}

void TEdit::MarkCut() {
  cut_ = true;
  colorBeforeCut_ = color_;
  toolTipBeforeCut_ = toolTip();
  Paint(kInvalidColor);
  setToolTip(toolTipWhole_);
}

void TEdit::Uncut() {
  cut_ = false;
  Paint(colorBeforeCut_);
  setToolTip(toolTipBeforeCut_);
}

std::optional<std::string> TEdit::EnteredText() const {
  if (wasCut_ ? !typed_ : text() == shown_) return std::nullopt;
  return Text();
}

void TEdit::PasteText(const QString& text) {
  if (maxLength_ <= 0) {
    insert(text);
    return;
  }
  const qsizetype room = maxLength_ - (this->text().size() - selectedText().size());
  if (room > 0) insert(text.left(room));
}

void TEdit::keyPressEvent(QKeyEvent* event) {
  if (isReadOnly()) {
    QLineEdit::keyPressEvent(event);
  } else if (event == QKeySequence::Paste) {
    PasteText(QApplication::clipboard()->text());
  } else if (event == QKeySequence::Cut) {
    if (hasSelectedText()) {
      copy();
      EraseSelection();
    }
  } else if (const QString typed = event->text(); maxLength_ > 0 && !typed.isEmpty() && typed[0].isPrint() &&
                                                  !(event->modifiers() & Qt::ControlModifier)) {
    PasteText(typed);  // typing, limited to what fits
  } else {
    QLineEdit::keyPressEvent(event);
    return;
  }
  event->accept();
}

// The edit's own menu, so that cut, delete and paste keep to the same rules as the keys.
void TEdit::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu;
  const bool editable = !isReadOnly();
  const QString clipboard = QApplication::clipboard()->text();
  const auto add = [&](const QString& text, const QKeySequence& keys, bool enabled, auto handler) {
    QAction* action = menu.addAction(text, this, handler);
    action->setShortcut(keys);
    action->setEnabled(enabled);
  };
  add(tr("Отменить"), QKeySequence::Undo, editable && isUndoAvailable(), [this] { undo(); });
  add(tr("Повторить"), QKeySequence::Redo, editable && isRedoAvailable(), [this] { redo(); });
  menu.addSeparator();
  add(tr("Вырезать"), QKeySequence::Cut, editable && hasSelectedText(), [this] {
    copy();
    EraseSelection();
  });
  add(tr("Копировать"), QKeySequence::Copy, hasSelectedText(), [this] { copy(); });
  add(tr("Вставить"), QKeySequence::Paste, editable && !clipboard.isEmpty(),
      [this, clipboard] { PasteText(clipboard); });
  add(tr("Удалить"), {}, editable && hasSelectedText(), [this] { EraseSelection(); });
  menu.addSeparator();
  add(tr("Выделить все"), QKeySequence::SelectAll, !text().isEmpty(), [this] { selectAll(); });
  menu.exec(event->globalPos());
  event->accept();
}

void TEdit::SetColor(std::uint32_t bgr) {
  if (cut_) {
    colorBeforeCut_ = bgr;  // shown once the mark goes
    return;
  }
  Paint(bgr);
}

void TEdit::Paint(std::uint32_t bgr) {
  color_ = bgr;
  QPalette colors = palette();
  colors.setColor(QPalette::Base, ColorFromBgr(bgr));
  setPalette(colors);
}

TMaskEdit::TMaskEdit(const QString& mask, QWidget* parent)
    : TEdit(parent), positions_(mask.section(';', 0, 0)), point_(static_cast<int>(positions_.indexOf('.'))) {
  setMaxLength(static_cast<int>(positions_.size()));
  setAcceptDrops(false);
  setAttribute(Qt::WA_InputMethodEnabled, false);
  setText(Fitted({}));
  // A text put in around the keys and the menu (undo of an old state, a plain setText) is fitted
  // back to the mask; the refit starts a new undo history.
  connect(this, &QLineEdit::textChanged, this, [this](const QString& text) {
    if (fitting_) return;
    const QString fitted = Fitted(text);
    if (fitted == text) return;
    fitting_ = true;
    const int cursor = cursorPosition();
    setText(fitted);
    setCursorPosition(cursor);
    fitting_ = false;
  });
}

void TMaskEdit::EnterText(const QString& text) { setText(Fitted(text)); }

// Lays a text over the mask: digits and blanks fill the nines in order, a point in the text is taken
// where the mask has one, anything else becomes a blank.
QString TMaskEdit::Fitted(const QString& text) const {
  QString out;
  qsizetype k = 0;
  for (qsizetype i = 0; i < positions_.size(); ++i) {
    if (!IsDigitPosition(static_cast<int>(i))) {
      out += positions_[i];
      if (k < text.size() && text[k] == positions_[i]) ++k;
      continue;
    }
    const QChar c = k < text.size() ? text[k++] : QChar(' ');
    out += c.isDigit() && c.unicode() < 128 ? c : QChar(' ');
  }
  return out;
}

void TMaskEdit::Replace(int from, const QString& with) {
  setSelection(from, static_cast<int>(with.size()));
  insert(with);  // one undoable step, reported as the user's edit
}

void TMaskEdit::BlankSelection() {
  if (!hasSelectedText()) return;
  const int start = selectionStart();
  const int length = static_cast<int>(selectedText().size());
  QString blanks;
  for (int i = start; i < start + length; ++i) blanks += IsDigitPosition(i) ? QChar(' ') : positions_[i];
  Replace(start, blanks);
  setCursorPosition(start);
}

void TMaskEdit::TypeDigit(QChar digit) {
  BlankSelection();
  int p = cursorPosition();
  while (p < positions_.size() && !IsDigitPosition(p)) ++p;
  if (p >= positions_.size()) return;  // a full field takes no more
  Replace(p, digit);
  ++p;
  while (p < positions_.size() && !IsDigitPosition(p)) ++p;
  setCursorPosition(p);
}

// The point key moves to the decimals. Digits just typed into a field whose integer part was
// blanked ("1" after select-all) move right up to the point, so that "1.5" reads 1.5 and not 1.
void TMaskEdit::TypePoint() {
  if (point_ < 0) return;
  BlankSelection();
  const int cursor = cursorPosition();
  if (cursor <= point_) {
    const QString current = text();
    bool blankToPoint = true;
    for (int i = cursor; i < point_; ++i) blankToPoint = blankToPoint && current[i] == ' ';
    if (blankToPoint && cursor < point_) {
      const QString typed = current.left(cursor).remove(' ');
      Replace(0, QString(point_ - typed.size(), ' ') + typed);
    }
  }
  setCursorPosition(std::max(cursor, point_ + 1));
}

void TMaskEdit::TypeText(const QString& text) {
  for (const QChar c : text) {
    if (c.isDigit() && c.unicode() < 128) {
      TypeDigit(c);
    } else if (c == '.' || c == ',') {
      TypePoint();
    }
  }
}

void TMaskEdit::Erase(bool backward) {
  if (hasSelectedText()) {
    BlankSelection();
    return;
  }
  int p = cursorPosition();
  if (backward) {
    do --p;
    while (p >= 0 && !IsDigitPosition(p));
    if (p < 0) return;
    Replace(p, " ");
    setCursorPosition(p);
  } else {
    while (p < positions_.size() && !IsDigitPosition(p)) ++p;
    if (p >= positions_.size()) return;
    const int cursor = cursorPosition();
    Replace(p, " ");
    setCursorPosition(cursor);
  }
}

void TMaskEdit::keyPressEvent(QKeyEvent* event) {
  if (isReadOnly()) {
    TEdit::keyPressEvent(event);
    return;
  }
  if (event == QKeySequence::Paste || event == QKeySequence::Cut) {
    TEdit::keyPressEvent(event);
    return;
  } else if (event->key() == Qt::Key_Backspace || event == QKeySequence::Delete) {
    Erase(event->key() == Qt::Key_Backspace);
  } else if (event == QKeySequence::DeleteStartOfWord || event == QKeySequence::DeleteEndOfWord ||
             event == QKeySequence::DeleteEndOfLine || event == QKeySequence::DeleteCompleteLine) {
    // Word and line deletion would shift the positions; refused.
  } else if (const QString text = event->text();
             !text.isEmpty() && text[0].isPrint() && !(event->modifiers() & Qt::ControlModifier)) {
    TypeText(text);  // digits and the point; anything else is refused
  } else {
    TEdit::keyPressEvent(event);  // cursor movement, selection, copy, undo, Enter, Tab
    return;
  }
  event->accept();
}
