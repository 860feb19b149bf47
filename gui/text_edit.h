// SPDX-License-Identifier: GPL-3.0-or-later
// Edits the decoders and dialogs write numbers into, and the masked edit that takes digits in fixed
// positions as a person types them; Text() gives the text as shown, blanks included, for the
// program's own conversion to read.
#pragma once

#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <cstdint>
#include <optional>
#include <string>

#include "link/live_status.h"

class TEdit : public QLineEdit, public ITextTarget {
  Q_DECLARE_TR_FUNCTIONS(TEdit)

 public:
  explicit TEdit(QWidget* parent = nullptr);
  // The program shows a value; the text is remembered as the one it showed. A value the field
  // cannot hold whole (a mask too short for a value from a file or a module) is shown cut and
  // marked, with the whole value in the tool tip, until the user types.
  void SetText(const std::string& text) override;
  // A text put in on the user's behalf (an up-down step): counts as entered, not as shown.
  virtual void EnterText(const QString& text) { setText(text); }
  std::string Text() const { return text().toStdString(); }
  // The text when the user changed it since the program last showed one, else nothing: an
  // untouched field then keeps its exact value, which the shown text may round. Into a field shown
  // cut, any typing counts, also of the very text it showed.
  std::optional<std::string> EnteredText() const;
  // Whether the field shows a value cut to fit, not yet typed over.
  bool ShowsCutValue() const { return cut_; }

  // The most characters a person can type; the program may show a longer text.
  void SetMaxLength(int length) { maxLength_ = length; }
  int MaxLength() const { return maxLength_; }

  // Background colour, 0x00BBGGRR; while a cut value is marked, the colour it gets back after.
  void SetColor(std::uint32_t bgr);
  std::uint32_t Color() const { return color_; }

 protected:
  // Puts a text in as the widget allows (the masked edit fits it to its mask).
  virtual QString Fitted(const QString& text) const { return text; }
  // Paste, cut and delete as this edit allows them, from the keys and from the context menu.
  virtual void PasteText(const QString& text);
  virtual void EraseSelection() { del(); }
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void MarkCut();
  void Uncut();
  void Paint(std::uint32_t bgr);

  QString shown_;
  int maxLength_ = 0;  // 0: no limit
  std::uint32_t color_ = 0xFFFFFF;
  bool showing_ = false;  // the program is putting a text in
  bool typed_ = false;    // changed by the user since the program last showed a text
  bool wasCut_ = false;   // the text last shown was cut
  bool cut_ = false;      // ... and is still marked so
  std::uint32_t colorBeforeCut_ = 0xFFFFFF;
  QString toolTipBeforeCut_, toolTipWhole_;
};

// A masked edit for masks of nines and at most one point ("9999;1;0", "99.9;1;0", "99999;1; "):
// every nine takes a digit or stays blank, the point keeps its place. Typing overwrites position by
// position and steps over the point; a selection is blanked first; Backspace and Delete leave
// blanks; no sign or other character gets in.
class TMaskEdit : public TEdit {
 public:
  TMaskEdit(const QString& mask, QWidget* parent = nullptr);
  void EnterText(const QString& text) override;

 protected:
  QString Fitted(const QString& text) const override;
  void PasteText(const QString& text) override { TypeText(text); }
  void EraseSelection() override { BlankSelection(); }
  void keyPressEvent(QKeyEvent* event) override;

 private:
  bool IsDigitPosition(int i) const { return positions_[i] == '9'; }
  void Replace(int from, const QString& with);
  void BlankSelection();
  void TypeDigit(QChar digit);
  void TypePoint();
  void TypeText(const QString& text);
  void Erase(bool backward);

  QString positions_;  // the mask's first field
  int point_;          // position of the point, or -1
  bool fitting_ = false;
};

// A label the decoders write into (the version).
class TLabel : public QLabel, public ITextTarget {
 public:
  explicit TLabel(const QString& text, QWidget* parent = nullptr) : QLabel(text, parent) {}
  void SetText(const std::string& text) override { setText(QString::fromStdString(text)); }
};
