// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/message_box.h"

#include <QApplication>
#include <QMessageBox>

namespace {

class QtMessageBoxes : public MessageBoxService {
 public:
  BoxAnswer Present(std::string_view text, std::string_view caption, BoxIcon icon,
                    BoxButtons buttons) override {
    // No owner window, as the program's boxes have none.
    const QMessageBox::Icon icons[] = {QMessageBox::Information, QMessageBox::Question, QMessageBox::Warning,
                                       QMessageBox::Critical};
    QMessageBox box(icons[static_cast<int>(icon)],
                    QString::fromUtf8(caption.data(), static_cast<int>(caption.size())),
                    QString::fromUtf8(text.data(), static_cast<int>(text.size())),
                    buttons == BoxButtons::Ok ? QMessageBox::Ok : (QMessageBox::Yes | QMessageBox::No));
    const int answer = box.exec();
    if (buttons == BoxButtons::Ok) return BoxAnswer::Ok;
    return answer == QMessageBox::Yes ? BoxAnswer::Yes : BoxAnswer::No;
  }
  void PresentError(std::string_view text) override {
    QMessageBox box(QMessageBox::Critical, QApplication::applicationName(),
                    QString::fromUtf8(text.data(), static_cast<int>(text.size())), QMessageBox::Ok);
    box.exec();
  }
};

QtMessageBoxes gReal;
MessageBoxService* gService = nullptr;

}  // namespace

BoxIcon IconFor(std::string_view caption, BoxButtons buttons) {
  if (buttons == BoxButtons::YesNo) return BoxIcon::Question;
  if (caption == "Ошибка связи" || caption == "Ошибка!") return BoxIcon::Error;
  // A port path that cannot be used is a warning: nothing was lost, another path is wanted.
  if (caption == "Внимание!" || caption == "Другой порт") return BoxIcon::Warning;
  return BoxIcon::Information;
}

MessageBoxService& MessageBoxes() { return gService != nullptr ? *gService : gReal; }
void SetMessageBoxService(MessageBoxService* service) { gService = service; }

BoxAnswer ScriptedMessageBoxes::Present(std::string_view text, std::string_view caption, BoxIcon icon,
                                        BoxButtons buttons) {
  shown.push_back({std::string(text), std::string(caption), buttons, icon});
  if (whileShown) {
    auto nested = std::move(whileShown);
    nested();
  }
  if (buttons == BoxButtons::Ok) return BoxAnswer::Ok;
  if (answers.empty()) return BoxAnswer::No;
  const BoxAnswer answer = answers.front();
  answers.erase(answers.begin());
  return answer;
}
