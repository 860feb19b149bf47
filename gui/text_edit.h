// Edits the decoders and dialogs write numbers into, and the masked edit: digits in fixed positions
// (and the mask's point), no sign, at most the mask's length; Text() gives the text as shown, blanks
// included, for the program's own conversion to read.
#pragma once

#include <QLabel>
#include <QLineEdit>
#include <string>

#include "link/live_status.h"

class TEdit : public QLineEdit, public ITextTarget {
 public:
  explicit TEdit(QWidget* parent = nullptr) : QLineEdit(parent) {}
  void SetText(const std::string& text) override { setText(QString::fromStdString(text)); }
  std::string Text() const { return text().toStdString(); }
};

class TMaskEdit : public TEdit {
 public:
  // mask: one of the forms "9999;1;0", "99.9;1;0", "99999;1; ": nines for digits, a literal point.
  TMaskEdit(const QString& mask, QWidget* parent = nullptr);
};

// A label the decoders write into (the version).
class TLabel : public QLabel, public ITextTarget {
 public:
  explicit TLabel(const QString& text, QWidget* parent = nullptr) : QLabel(text, parent) {}
  void SetText(const std::string& text) override { setText(QString::fromStdString(text)); }
};
