// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/language.h"

#include <QCoreApplication>
#include <QSettings>
#include <QTranslator>

#include "settings/user_text.h"

namespace {

constexpr const char* kSettingsKey = "language";

// Named here rather than taken from the application, which tests do not name.
QSettings Stored() { return QSettings("vexa-setup", "vexa_setup"); }
UiLanguage gCurrent = UiLanguage::Russian;

QTranslator& Installed() {
  static QTranslator translator;
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

void RememberLanguage(UiLanguage language) { Stored().setValue(kSettingsKey, LanguageCode(language)); }

void ForgetLanguage() { Stored().remove(kSettingsKey); }

bool InstallLanguage(UiLanguage language) {
  QTranslator& translator = Installed();
  QCoreApplication::removeTranslator(&translator);
  gCurrent = language;
  // The layers without Qt (link, settings) word their texts through the same translation.
  SetTextTranslator([](const char* context, const char* source) {
    return QCoreApplication::translate(context, source).toStdString();
  });
  // The program's texts are Russian in the source; Qt's own are English in theirs.
  const QString file =
      language == UiLanguage::English ? ":/translations/vexa_en.qm" : ":/translations/qtbase_ru.qm";
  if (!translator.load(file)) return false;
  return QCoreApplication::installTranslator(&translator);
}

UiLanguage CurrentLanguage() { return gCurrent; }

void RemoveLanguage() {
  QCoreApplication::removeTranslator(&Installed());
  SetTextTranslator({});
  gCurrent = UiLanguage::Russian;
}
