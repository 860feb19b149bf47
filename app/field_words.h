// SPDX-License-Identifier: GPL-3.0-or-later
// A settings field in the words of the dialog that edits it: the dialog, the group (channel, box)
// and the label, and its value as that dialog shows it. For the comparison and the journal.
#pragma once

#include <QCoreApplication>
#include <QString>

#include <string>
#include <vector>

#include "settings/module_settings.h"
#include "settings/settings_text.h"

struct FieldWords {
  QString dialog, group, label;
  // "Channel 2 · General settings · Set point 1": where the engineer finds it.
  QString Where() const;
};

// The field of a name as CompareSettings gives it; an unknown name is shown as it stands.
FieldWords WordsOf(const std::string& fieldName);
QString ShownValue(const TModuleSettings& record, const std::string& fieldName);

// A difference in those words, the two values as the dialogs show them.
struct ShownDifference {
  std::string field;  // the name vexa_cli gives it
  FieldWords words;
  QString a, b;
};
std::vector<ShownDifference> ShownDifferences(const TModuleSettings& a, const TModuleSettings& b,
                                              CompareScope scope);
