// SPDX-License-Identifier: GPL-3.0-or-later
#include "translations/language.h"

#include <QCoreApplication>
#include <QSettings>
#include <QStringList>
#include <QTranslator>

#include <memory>

#include "settings/user_text.h"

namespace {

constexpr const char* kSettingsKey = "language";

// Named here rather than taken from the application, which tests do not name.
QSettings Stored() { return QSettings("vexa-setup", "vexa_setup"); }
UiLanguage gCurrent = UiLanguage::Russian;

// The translator in place, if any; replaced whole, so that a failed load leaves the last one.
std::unique_ptr<QTranslator>& Installed() {
  static std::unique_ptr<QTranslator> translator;
  return translator;
}

}  // namespace

std::optional<UiLanguage> LanguageFromCode(const QString& code) {
  if (code == "ru") return UiLanguage::Russian;
  if (code == "en") return UiLanguage::English;
  return std::nullopt;
}

QString LanguageCode(UiLanguage language) { return language == UiLanguage::Russian ? "ru" : "en"; }

UiLanguage ChooseLanguage(std::optional<UiLanguage> option, std::optional<UiLanguage> remembered,
                          const QLocale& system) {
  if (option) return *option;
  if (remembered) return *remembered;
  return system.language() == QLocale::Russian ? UiLanguage::Russian : UiLanguage::English;
}

std::optional<UiLanguage> RememberedLanguage() {
  return LanguageFromCode(Stored().value(kSettingsKey).toString());
}

std::optional<QString> RememberLanguage(UiLanguage language) {
  QSettings stored = Stored();
  stored.setValue(kSettingsKey, LanguageCode(language));
  stored.sync();  // written now, so that a failure is known while the engineer is there
  // A malformed line read from the file is reported first and hides whether the write went
  // through; a fresh read of a file rewritten clean tells.
  const QSettings::Status status = stored.status();
  if (status == QSettings::NoError ||
      (status == QSettings::FormatError && Stored().status() == QSettings::NoError))
    return std::nullopt;
  return stored.fileName();
}

void ForgetLanguage() { Stored().remove(kSettingsKey); }

bool InstallLanguage(UiLanguage language) {
  // The program's texts are Russian in the source; Qt's own are English in theirs.
  const QString file =
      language == UiLanguage::English ? ":/translations/vexa_en.qm" : ":/translations/qtbase_ru.qm";
  auto translator = std::make_unique<QTranslator>();
  if (!translator->load(file)) return false;
  RemoveLanguage();
  if (!QCoreApplication::installTranslator(translator.get())) return false;
  Installed() = std::move(translator);
  gCurrent = language;
  // The layers without Qt (link, settings) word their texts through the same translation.
  SetTextTranslator([](const char* context, const char* source) {
    return QCoreApplication::translate(context, source).toStdString();
  });
  return true;
}

UiLanguage CurrentLanguage() { return gCurrent; }

void RemoveLanguage() {
  if (Installed() != nullptr) QCoreApplication::removeTranslator(Installed().get());
  Installed().reset();
  SetTextTranslator({});
  gCurrent = UiLanguage::Russian;
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
  // Without a translation the bytes stay as they came, whatever they are (a file name that is not
  // UTF-8, say).
  if (Installed() == nullptr || gCurrent == UiLanguage::Russian) return std::string(text);
  const QString whole = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  if (const auto translation = TranslationOf(whole)) return translation->toStdString();
  // A joined message: its lines were marked one by one, each after the first with the "\n\r" it
  // starts with.
  QStringList lines = whole.split('\n');
  bool changed = false;
  for (qsizetype i = 0; i < lines.size(); ++i) {
    QString& line = lines[i];
    const bool carriage = line.startsWith('\r');
    const QString body = carriage ? line.mid(1) : line;
    if (i > 0 && carriage) {
      if (const auto translation = TranslationOf("\n\r" + body);
          translation && translation->startsWith("\n\r")) {
        line = translation->mid(1);  // the line keeps its "\r"
        changed = true;
        continue;
      }
    }
    if (const auto translation = TranslationOf(body)) {
      line = (carriage ? "\r" : "") + *translation;
      changed = true;
    }
  }
  return changed ? lines.join('\n').toStdString() : std::string(text);
}
