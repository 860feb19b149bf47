// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/user_text.h"

namespace {

TextTranslator& Installed() {
  static TextTranslator translator;
  return translator;
}

}  // namespace

void SetTextTranslator(TextTranslator translator) { Installed() = std::move(translator); }

std::string Translated(const char* context, const char* source) {
  return Installed() ? Installed()(context, source) : std::string(source);
}
