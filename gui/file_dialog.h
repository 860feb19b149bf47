// SPDX-License-Identifier: GPL-3.0-or-later
// The open and save dialogs: a filter in "text|pattern|..." pairs, the initial folder ".", and the
// name each dialog last opened or saved with success remembered by that dialog. The asking itself is a
// replaceable service, scripted in tests.
#pragma once

#include <QCoreApplication>
#include <QString>
#include <deque>
#include <functional>
#include <string>
#include <string_view>

enum class FileDialogKind { Open, Save };

class FileDialogService {
 public:
  virtual ~FileDialogService() = default;
  // The chosen name, or empty when cancelled.
  virtual QString Ask(FileDialogKind kind, const QString& qtFilter, const QString& start) = 0;
};

FileDialogService& FileDialogs();
void SetFileDialogService(FileDialogService* service);  // nullptr restores the real one

// What the text report and the monitor's journal are saved as.
inline constexpr const char* kTextFileFilter =
    QT_TRANSLATE_NOOP("Messages", "Текстовые файлы (*.txt)|*.txt|Все файлы (*.*)|*.*");

// "text|pattern|text|pattern" as Qt writes filters: "text (pattern);;text (pattern)".
QString QtFilter(const QString& pairs);

class TFileDialog;
// Asks for a file with the dialog, then writes text() there whole (the name gets extension as the
// window's files do); a failure is told in the error box with the system's reason.
void SaveTextAs(TFileDialog& dialog, std::string_view extension, const std::function<std::string()>& text);

class TFileDialog {
 public:
  TFileDialog(FileDialogKind kind, QString filter) : kind_(kind), filter_(std::move(filter)) {}
  // True when a name was chosen. The dialog starts from the name of its last success.
  bool Execute();
  const QString& FileName() const { return fileName_; }
  // The file named was opened or saved: the next dialog starts there. A folder where saving failed
  // is no place to start from (Qt's own dialog can hang reading some of /proc).
  void Succeeded() { remembered_ = fileName_; }

 private:
  FileDialogKind kind_;
  QString filter_;
  QString fileName_, remembered_;
};

// For tests: answers with names from a queue (an empty name cancels) and records each request.
class ScriptedFileDialogs : public FileDialogService {
 public:
  QString Ask(FileDialogKind kind, const QString& qtFilter, const QString& start) override;
  std::deque<QString> names;
  struct Asked {
    FileDialogKind kind;
    QString filter, start;
  };
  std::deque<Asked> asked;
};
