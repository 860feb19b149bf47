// SPDX-License-Identifier: GPL-3.0-or-later
// The programs' language: Russian, their own, or English from the translation built in. QtCore only:
// the window and vexa_cli choose it alike.
#pragma once

#include <QLocale>
#include <QString>

#include <optional>
#include <string>
#include <string_view>

enum class UiLanguage { Russian, English };

// "ru" or "en"; nothing for anything else.
std::optional<UiLanguage> LanguageFromCode(const QString& code);
QString LanguageCode(UiLanguage language);

// --lang wins, then the choice remembered from "Вид → Язык / Language", then the system's
// locale: Russian for ru*, English for any other.
UiLanguage ChooseLanguage(std::optional<UiLanguage> option, std::optional<UiLanguage> remembered,
                          const QLocale& system);

// The choice of the menu, kept between runs (QSettings of the application).
std::optional<UiLanguage> RememberedLanguage();
// Nothing when kept; else where it could not be kept.
std::optional<QString> RememberLanguage(UiLanguage language);
void ForgetLanguage();

// Puts the language's texts in place for the whole application: the program's English
// translation, or Qt's own texts in Russian (file dialogs, Yes and No). False when one is missing.
bool InstallLanguage(UiLanguage language);
// The language installed last (Russian before any).
UiLanguage CurrentLanguage();
// Back to the source texts, Qt's own in English (for tests).
void RemoveLanguage();

// A message in the language installed: the whole text, else each of its lines (a joined message),
// translated where the translation has it, in the context "Messages"; anything else as it stands.
std::string TranslatedMessage(std::string_view text);
