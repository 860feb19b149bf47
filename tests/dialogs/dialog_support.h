// SPDX-License-Identifier: GPL-3.0-or-later
// Test support for the dialogs: both of them as the program has them, and keys typed as a person
// types them.
#pragma once

#include <QTest>
#include <QWidget>
#include <functional>
#include <string>

#include "dialogs/vexa_calc.h"
#include "dialogs/vexa_chanel_setup.h"
#include "dialogs/vexa_interface.h"
#include "dialogs/vexa_led_tenu.h"
#include "dialogs/vexa_logic.h"
#include "gui/message_box.h"
#include "tests/link/fakes.h"

namespace dialogs_test {

// The five settings dialogs, the channel dialog on a fake link engine, with scripted boxes.
struct Dialogs {
  explicit Dialogs(std::function<bool()> outputsBlocked = [] { return false; }) {
    SetMessageBoxService(&boxes);
    FormSetChanel = new TFormSetChanel(link.engine, std::move(outputsBlocked));
    FormInterf = new TFormInterf;
    FormLogic = new TFormLogic;
    Form_Led_tenu = new TForm_Led_tenu;
    Form_Calc = new TForm_Calc;
  }
  ~Dialogs() {
    delete Form_Calc;
    delete Form_Led_tenu;
    delete FormLogic;
    delete FormInterf;
    delete FormSetChanel;
    Form_Calc = nullptr;
    Form_Led_tenu = nullptr;
    FormLogic = nullptr;
    FormInterf = nullptr;
    FormSetChanel = nullptr;
    SetMessageBoxService(nullptr);
  }
  Dialogs(const Dialogs&) = delete;
  Dialogs& operator=(const Dialogs&) = delete;

  link_test::Harness link;
  ScriptedMessageBoxes boxes;
};

// "<all>" selects all, "<home>", "<end>", "<left>", "<bs>", "<del>" and "<enter>" press those keys;
// other characters are typed.
inline void Type(QWidget* widget, const std::string& keys) {
  struct Special {
    const char* token;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
  };
  const Special specials[] = {{"<all>", Qt::Key_A, Qt::ControlModifier},
                              {"<home>", Qt::Key_Home, {}},
                              {"<end>", Qt::Key_End, {}},
                              {"<left>", Qt::Key_Left, {}},
                              {"<bs>", Qt::Key_Backspace, {}},
                              {"<del>", Qt::Key_Delete, {}},
                              {"<enter>", Qt::Key_Return, {}}};
  std::size_t i = 0;
  while (i < keys.size()) {
    bool special = false;
    for (const Special& s : specials) {
      if (keys.compare(i, std::char_traits<char>::length(s.token), s.token) == 0) {
        QTest::keyClick(widget, s.key, s.modifiers);
        i += std::char_traits<char>::length(s.token);
        special = true;
        break;
      }
    }
    if (special) continue;
    const std::size_t next = keys.find('<', i + 1);
    QTest::keyClicks(widget,
                     QString::fromStdString(keys.substr(i, next == std::string::npos ? next : next - i)));
    i = next == std::string::npos ? keys.size() : next;
  }
}

}  // namespace dialogs_test
