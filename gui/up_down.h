// SPDX-License-Identifier: GPL-3.0-or-later
// An up-down control bound to a masked edit: its arrows (and the Up and Down keys in the edit) step the
// edit's number by one within Min..Max, without wrapping, and then report the click.
#pragma once

#include <QWidget>
#include <functional>
#include <optional>

class TMaskEdit;
class QToolButton;

class TUpDown : public QWidget {
 public:
  TUpDown(TMaskEdit* associate, int min, int max, QWidget* parent = nullptr);
  enum class Button { Up, Down };
  std::function<void(Button)> OnClick;
  // The number to step from when the edit's text is not it (a value the mask shows cut); nothing
  // to step from the text.
  std::function<std::optional<int>()> Current;

  QToolButton* UpButton() const { return up_; }
  QToolButton* DownButton() const { return down_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Step(Button button);

  TMaskEdit* associate_;
  int min_, max_;
  QToolButton *up_, *down_;
  bool stepping_ = false;
};
