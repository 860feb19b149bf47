// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/message_box.h"

#include <QApplication>
#include <QCoreApplication>
#include <QMessageBox>

#include <optional>

namespace {

class QtMessageBoxes : public MessageBoxService {
 public:
  BoxAnswer Present(std::string_view text, std::string_view caption, BoxIcon icon, BoxButtons buttons) override {
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
  if (caption == "Внимание!") return BoxIcon::Warning;
  return BoxIcon::Information;
}

namespace {

// The translation of source, when there is one.
std::optional<QString> TranslationOf(const QString& source) {
  const QByteArray utf8 = source.toUtf8();
  QString translation = QCoreApplication::translate("Messages", utf8.constData());
  if (translation == source) return std::nullopt;
  return translation;
}

}  // namespace

std::string TranslatedMessage(std::string_view text) {
  const QString whole = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  if (const auto translation = TranslationOf(whole)) return translation->toStdString();
  // A joined message: its lines were marked one by one, each after the first with the "\n\r" it
  // starts with.
  QStringList lines = whole.split('\n');
  for (qsizetype i = 0; i < lines.size(); ++i) {
    QString& line = lines[i];
    const bool carriage = line.startsWith('\r');
    const QString body = carriage ? line.mid(1) : line;
    if (i > 0 && carriage) {
      if (const auto translation = TranslationOf("\n\r" + body); translation && translation->startsWith("\n\r")) {
        line = translation->mid(1);  // the line keeps its "\r"
        continue;
      }
    }
    if (const auto translation = TranslationOf(body)) line = (carriage ? "\r" : "") + *translation;
  }
  return lines.join('\n').toStdString();
}

MessageBoxService& MessageBoxes() { return gService != nullptr ? *gService : gReal; }
void SetMessageBoxService(MessageBoxService* service) { gService = service; }

BoxAnswer ScriptedMessageBoxes::Present(std::string_view text, std::string_view caption, BoxIcon,
                                        BoxButtons buttons) {
  shown.push_back({std::string(text), std::string(caption), buttons});
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
