// Test support: keys typed into a widget as a person types them. "<all>" selects all, "<home>",
// "<end>", "<left>", "<bs>", "<del>" and "<enter>" press those keys; other characters are typed.
#pragma once

#include <QTest>
#include <QWidget>
#include <string>

namespace dialogs_test {

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
