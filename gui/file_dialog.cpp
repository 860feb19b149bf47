// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/file_dialog.h"

#include <QFileDialog>
#include <QStringList>

#include "gui/message_box.h"
#include "settings/file_io.h"

namespace {

class QtFileDialogs : public FileDialogService {
 public:
  QString Ask(FileDialogKind kind, const QString& qtFilter, const QString& start) override {
    // No default extension and no overwrite question: the program applies its own name rule.
    return kind == FileDialogKind::Open
               ? QFileDialog::getOpenFileName(nullptr, QString(), start, qtFilter)
               : QFileDialog::getSaveFileName(nullptr, QString(), start, qtFilter, nullptr,
                                              QFileDialog::DontConfirmOverwrite);
  }
};

QtFileDialogs gReal;
FileDialogService* gService = nullptr;

}  // namespace

FileDialogService& FileDialogs() { return gService != nullptr ? *gService : gReal; }
void SetFileDialogService(FileDialogService* service) { gService = service; }

QString QtFilter(const QString& pairs) {
  const QStringList parts = pairs.split('|');
  QStringList filters;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    const QString& text = parts[i];
    const QString& pattern = parts[i + 1];
    const QString patterns = QString(pattern).replace(';', ' ');
    filters << (text.contains("(" + pattern + ")") ? text : text + " (" + patterns + ")");
  }
  return filters.join(";;");
}

bool TFileDialog::Execute() {
  const QString chosen =
      FileDialogs().Ask(kind_, QtFilter(filter_), remembered_.isEmpty() ? QString(".") : remembered_);
  if (chosen.isEmpty()) return false;
  fileName_ = chosen;
  return true;
}

QString ScriptedFileDialogs::Ask(FileDialogKind kind, const QString& qtFilter, const QString& start) {
  asked.push_back({kind, qtFilter, start});
  if (names.empty()) return {};
  const QString name = names.front();
  names.pop_front();
  return name;
}

void SaveTextAs(TFileDialog& dialog, std::string_view extension, const std::function<std::string()>& text) {
  if (!dialog.Execute() || dialog.FileName().isEmpty()) return;
  const std::string bytes = text();
  const FileResult result =
      ReplaceWholeFile(PathWithExtension(dialog.FileName().toStdString(), extension),
                       {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
  if (result == FileOutcome::Done) {
    dialog.Succeeded();
  } else {
    MessageBoxes().Show(FileResultText(result), kFileErrorCaption, BoxButtons::Ok);
  }
}
