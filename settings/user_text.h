// SPDX-License-Identifier: GPL-3.0-or-later
// Texts for the user in the window's language. Their sources are the program's Russian; the window
// puts Qt's translation behind Translated(), and without it (vexa_cli, the tests) the source
// stands. lupdate is told to read VEXA_TR_NOOP and Translated as it reads QT_TRANSLATE_NOOP.
#pragma once

#include <functional>
#include <string>

// Marks a text to be translated where it is shown (the window's message boxes translate theirs).
#define VEXA_TR_NOOP(context, text) text

using TextTranslator = std::function<std::string(const char* context, const char* source)>;
// An empty translator gives the sources back.
void SetTextTranslator(TextTranslator translator);
std::string Translated(const char* context, const char* source);
