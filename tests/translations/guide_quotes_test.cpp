// SPDX-License-Identifier: GPL-3.0-or-later
// What a guide quotes in double quotes is what the program shows: the Russian guide its source
// texts, the English guide their translations. A text reworded in one place and not the other
// otherwise goes unnoticed until an engineer looks for a button that is not there.
#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>
#include <QXmlStreamReader>

#include <algorithm>
#include <vector>

#include "gui/message_box.h"

#include "settings/text_report.h"

namespace {

// The literal parts of a text joined by a pattern for what stood between them.
QString JoinedByHoles(const QStringList& literal, const QString& hole) {
  QString pattern;
  for (qsizetype i = 0; i < literal.size(); ++i)
    pattern += (i ? hole : QString()) + QRegularExpression::escape(literal[i]);
  return pattern;
}

struct ProgramTexts {
  QSet<QString> exact;
  std::vector<QRegularExpression> withPlaceholders;  // %1 and printf formats stand for a value
};

// A value as the guides write it: a number, a name in capitals (N, PATH), an ellipsis, a file name.
constexpr const char* kQuotedValue = "(?:-?[0-9][0-9.,]*|\\p{Lu}+|\\x{2026}|\\S+\\.\\w+)";

struct TsMessage {
  QString context, source, translation;
};

// Every message of a translation file, lupdate's <byte value="xd"/> as the character it stands for.
std::vector<TsMessage> ReadTs(const QString& tsPath) {
  QFile file(tsPath);
  EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << tsPath.toStdString();
  QXmlStreamReader xml(&file);
  std::vector<TsMessage> messages;
  QString context, *current = nullptr;
  while (!xml.atEnd()) {
    xml.readNext();
    if (xml.isStartElement() && xml.name() == QLatin1String("name")) {
      context = xml.readElementText();
    } else if (xml.isStartElement() && xml.name() == QLatin1String("message")) {
      messages.push_back({context, {}, {}});
    } else if (xml.isStartElement() &&
               (xml.name() == QLatin1String("source") || xml.name() == QLatin1String("translation"))) {
      current =
          xml.name() == QLatin1String("source") ? &messages.back().source : &messages.back().translation;
    } else if (xml.isEndElement() &&
               (xml.name() == QLatin1String("source") || xml.name() == QLatin1String("translation"))) {
      current = nullptr;
    } else if (current != nullptr && xml.isStartElement() && xml.name() == QLatin1String("byte")) {
      *current += QChar(xml.attributes().value("value").mid(1).toUInt(nullptr, 16));
    } else if (current != nullptr && xml.isCharacters()) {
      *current += xml.text();
    }
  }
  EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
  return messages;
}

const QString& Side(const TsMessage& message, const QString& side) {
  return side == QLatin1String("source") ? message.source : message.translation;
}

// Texts, each whole and each of its lines, file-dialog filters split into their parts.
ProgramTexts Expanded(const QStringList& texts) {
  static const QRegularExpression pieces("[\\r\\n|]+|;;");
  static const QRegularExpression placeholder("%([-+ #0]*\\d*(\\.\\d+)?[a-zA-Z]+|L?\\d+)");
  ProgramTexts result;
  for (const QString& text : texts)
    for (const QString& piece : QStringList{text} + text.split(pieces, Qt::SkipEmptyParts)) {
      QString simple = piece.simplified();
      result.exact.insert(simple);
      if (simple.endsWith(':')) simple.chop(1);  // a label is quoted without its colon
      result.exact.insert(simple);
      if (!simple.contains(placeholder)) continue;
      result.withPlaceholders.emplace_back(
          QRegularExpression::anchoredPattern(JoinedByHoles(simple.split(placeholder), kQuotedValue)));
    }
  return result;
}

// The texts of one side of the translation (<source> or <translation>).
ProgramTexts ReadTexts(const QString& tsPath, const QString& side) {
  QStringList texts;
  for (const TsMessage& message : ReadTs(tsPath)) texts << Side(message, side);
  return Expanded(texts);
}

// A quote as a pattern: an ellipsis stands for the part left out or for a value.
QString Elided(const QString& quote) { return JoinedByHoles(quote.split(QChar(0x2026)), ".*"); }

bool Shown(const QString& quote, const ProgramTexts& program) {
  if (program.exact.contains(quote)) return true;
  for (const QRegularExpression& text : program.withPlaceholders)
    if (text.match(quote).hasMatch()) return true;
  if (!quote.contains(QChar(0x2026))) return false;
  const QRegularExpression elided(QRegularExpression::anchoredPattern(Elided(quote)));
  for (const QString& text : program.exact)
    if (elided.match(text).hasMatch()) return true;
  return false;
}

// The quotes of a Markdown text outside code, a menu path taken step by step.
QStringList Quotes(QString markdown) {
  markdown.remove(QRegularExpression("```.*?```", QRegularExpression::DotMatchesEverythingOption));
  markdown.remove(QRegularExpression("`[^`\\n]*`"));
  QStringList quotes;
  static const QRegularExpression quoted(QString::fromUtf8("\"([^\"]*)\"|«([^»]*)»"));
  for (const QString& paragraph : markdown.split(QRegularExpression("\\n\\s*\\n")))
    for (const auto& match : quoted.globalMatch(paragraph))
      for (const QString& step :
           (match.captured(1) + match.captured(2)).simplified().split(QString::fromUtf8(" → ")))
        quotes << step;
  return quotes;
}

TEST(GuideQuotes, EachQuotedTextIsTheProgramsOwn) {
  // Quoted but not the program's translated texts: the language menu (the same in both languages),
  // Qt's own buttons, port names and values; in each guide the desktop's names, words of its prose
  // and a label quoted without its unit.
  const QStringList valuesAndNames = {
      "Язык / Language", "Русский", "English", "Yes", "No",        "Да", "Нет",
      "--.--",           "0000",    "00",      "-",   "vexa_setup"};
  // The report stays Russian and is not translated: what the guides quote of it, each whole words
  // of one line or cell of it.
  const QStringList reportTexts = {"Исходные данные каналов измерения",
                                   "Параметры каналов измерения",
                                   "Параметры интерфейса RS485",
                                   "Параметры интерфейса CAN2.0B",
                                   "Инв.",
                                   "W1",
                                   "W2",
                                   "Al",
                                   "Регулировщик … Подпись … Дата"};
  TModuleSettings record{};
  record.ChanSet[0].Format = 0xF0;  // the set-points' inversion marks
  const QStringList cells = QString::fromStdString(BuildTextReport(record, ReportRanges{}))
                                .split(QRegularExpression("[\\n|']"), Qt::SkipEmptyParts);
  for (const QString& quote : reportTexts) {
    const QRegularExpression whole("(^| )" + Elided(quote) + "( |$)");
    EXPECT_TRUE(std::any_of(cells.begin(), cells.end(),
                            [&](const QString& cell) { return whole.match(cell.simplified()).hasMatch(); }))
        << "the report has no \"" << quote.toStdString() << "\"";
  }
  const struct {
    const char* guide;
    const char* side;
    QStringList alsoQuoted;
  } guides[] = {
      {"docs/guide.md",
       "source",
       {"User's guide", "Пуск", "Длител. блокир. лог. выходов после сброса модуля", "макс.", "вживую",
        "выдернутый кабель", "плавает", "модуль другой", "модуля нет"}},
      {"docs/guide.en.md", "translation", {"Настройка модуля VEXA", "another module", "no module"}},
  };
  static const QRegularExpression portName(QRegularExpression::anchoredPattern("COM ?\\d+"));
  // The build's copy: brought up to date with the sources, without texts they no longer have.
  const ProgramTexts source = ReadTexts(VEXA_TS, "source"), translation = ReadTexts(VEXA_TS, "translation");
  ASSERT_GT(source.exact.size(), 200) << "the translation was not read";
  for (const auto& g : guides) {
    QFile file(QString(VEXA_SOURCE_DIR "/") + g.guide);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << g.guide;
    const QStringList quotes = Quotes(QString::fromUtf8(file.readAll()));
    EXPECT_GT(quotes.size(), 100) << g.guide;
    for (const QString& quote : quotes) {
      if (valuesAndNames.contains(quote) || reportTexts.contains(quote) || g.alsoQuoted.contains(quote) ||
          portName.match(quote).hasMatch())
        continue;
      EXPECT_TRUE(Shown(quote, QString(g.side) == "source" ? source : translation))
          << g.guide << " quotes \"" << quote.toStdString() << "\", which the program does not show";
    }
  }
}

// Texts of the context "Messages" that no box shows as a text of its own: captions, the line
// monitor's verdicts, a file filter, the chart's CSV header, parts put into other texts.
const QStringList kNotBoxTexts = {"Результаты",
                                  "Ошибка связи",
                                  "Сообщение",
                                  "Внимание!",
                                  "Ошибка!",
                                  "Другой порт",
                                  "Текстовые файлы (*.txt)|*.txt|Все файлы (*.*)|*.*",
                                  "ответ",
                                  "нет ответа",
                                  "обрезан",
                                  "искажен или чужой",
                                  "отказ",
                                  "  %.1f мс",
                                  "с паузой",
                                  "длиннее",
                                  "значение",
                                  "ток",
                                  "АЦП",
                                  "ЦАП",
                                  "Время",
                                  ",Канал %d %s",
                                  "более %1",
                                  "не найдено",
                                  "О программе",
                                  "Правила работы"};

// Each guide's list of messages names, in a row of its tables, every box the program shows (each
// text of the context "Messages" but those above, whole or by one of its lines), and gives each box
// the icon the program shows for its caption.
TEST(GuideQuotes, TheMessageListsHoldEveryBoxWithItsCaptionAndIcon) {
  const std::vector<TsMessage> ts = ReadTs(VEXA_TS);
  const struct {
    const char* guide;
    const char* side;
    const char* heading;
    QStringList icons;  // information, question, warning, error
  } guides[] = {
      {"docs/guide.md",
       "source",
       "## Все сообщения программы",
       {"сведения", "вопрос", "предупреждение", "ошибка"}},
      {"docs/guide.en.md",
       "translation",
       "## All the program's messages",
       {"information", "question", "warning", "error"}},
  };
  for (const auto& g : guides) {
    QFile file(QString(VEXA_SOURCE_DIR "/") + g.guide);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << g.guide;
    const QString text = QString::fromUtf8(file.readAll());
    const qsizetype start = text.indexOf(g.heading);
    ASSERT_GE(start, 0) << g.guide;
    const QString section = text.mid(start, text.indexOf("\n## ", start + 1) - start);
    // Each row: text, caption, icon, meaning, what to do. A question is the one box with Yes and No;
    // the error box shows the program's name with the error icon.
    QStringList listed;
    for (const QString& row : section.split('\n')) {
      if (!row.startsWith("| ") || row.startsWith("|---")) continue;
      const QStringList cells = row.split(" | ");
      ASSERT_EQ(cells.size(), 5) << g.guide << ": " << row.toStdString();
      const QStringList texts = Quotes(cells[0]), caption = Quotes(cells[1]);
      if (caption.isEmpty()) continue;  // the header
      ASSERT_EQ(caption.size(), 1) << g.guide << ": " << row.toStdString();
      listed << texts;
      QString sourceCaption = caption[0];
      for (const TsMessage& message : ts)
        if (message.translation == caption[0] && QString(g.side) == "translation")
          sourceCaption = message.source;
      const BoxButtons buttons =
          !texts.isEmpty() && texts[0].endsWith('?') ? BoxButtons::YesNo : BoxButtons::Ok;
      const int icon = sourceCaption == "vexa_setup"
                           ? static_cast<int>(BoxIcon::Error)
                           : static_cast<int>(IconFor(sourceCaption.toStdString(), buttons));
      EXPECT_EQ(cells[2].trimmed().toStdString(), g.icons[icon].toStdString())
          << g.guide << ": " << row.toStdString();
    }
    for (const TsMessage& message : ts) {
      if (message.context != "Messages" || kNotBoxTexts.contains(message.source)) continue;
      const ProgramTexts box = Expanded({Side(message, g.side)});
      EXPECT_TRUE(std::any_of(listed.begin(), listed.end(), [&](const QString& q) { return Shown(q, box); }))
          << g.guide << "'s list of messages lacks \"" << Side(message, g.side).simplified().toStdString()
          << "\"";
    }
  }
}

}  // namespace
