// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target: settings as named fields. Any record comes back from its own text as it stands, and
// through the dialogs' rules exactly or not at all; any text or assignment is read without harm,
// changes nothing when refused, and what it stores prints as a text that stores the same again.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "settings/settings_text.h"

namespace {

bool Same(const TModuleSettings& a, const TModuleSettings& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TModuleSettings FromText(const std::string& text, TextRules rules) {
  std::vector<TextProblem> problems;
  const auto values = ParseSettingsJson(text, problems);
  TModuleSettings r{};
  if (!problems.empty() || !ApplyFields(values, r, rules).empty()) std::abort();
  return r;
}

}  // namespace

// An input is a record's bytes, a JSON text when it opens with a brace, or assignments, a line
// each, when it opens with a letter.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::vector<TextProblem> problems;
  std::vector<FieldValue> values;
  if (!text.empty() && text[0] == '{') {
    values = ParseSettingsJson(text, problems);
  } else if (!text.empty() && ((text[0] >= 'a' && text[0] <= 'z') || (text[0] >= 'A' && text[0] <= 'Z'))) {
    for (std::size_t from = 0; from < text.size();) {
      const std::size_t end = std::min(text.find('\n', from), text.size());
      TextProblem problem;
      if (const auto v = ParseAssignment(text.substr(from, end - from), problem)) values.push_back(*v);
      from = end + 1;
    }
  } else {
    TModuleSettings any{};
    std::memcpy(&any, data, std::min(size, sizeof any));
    const auto own = ParseSettingsJson(SettingsJson(any), problems);
    TModuleSettings asIs{}, dialogs{};
    if (!problems.empty() || !ApplyFields(own, asIs, TextRules::AsIs).empty() || !Same(asIs, any))
      std::abort();
    const bool refused = !ApplyFields(own, dialogs, TextRules::Dialogs).empty();
    if (!Same(dialogs, refused ? TModuleSettings{} : any)) std::abort();
    return 0;
  }
  // Over a record of odd bytes: refused leaves it alone, stored prints as a text that stores the same.
  TModuleSettings base;
  std::memset(&base, 0xA5, sizeof base);
  for (const auto rules : {TextRules::Dialogs, TextRules::AsIs}) {
    TModuleSettings r = base;
    if (!ApplyFields(values, r, rules).empty()) {
      if (!Same(r, base)) std::abort();
    } else if (!Same(FromText(SettingsJson(r), TextRules::AsIs), r)) {
      std::abort();
    }
  }
  return 0;
}
