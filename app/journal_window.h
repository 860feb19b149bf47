// SPDX-License-Identifier: GPL-3.0-or-later
// "Вид → Журнал работ": the journal's records newest first, filtered by module and date, a write
// with what it changed in the dialogs' words, and the list saved as CSV.
#pragma once

#include <QAbstractTableModel>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QWidget>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "gui/file_dialog.h"
#include "journal/journal.h"

// The records shown, newest first, as rows: what the list and the CSV hold.
class JournalModel : public QAbstractTableModel {
  Q_DECLARE_TR_FUNCTIONS(JournalModel)

 public:
  enum Column { kTime, kAction, kModule, kYear, kFirmware, kResult, kPort, kFile, kProgram, kUser, kColumns };
  void SetRecords(std::vector<journal::Record> records);
  void Filter(std::optional<unsigned> module, const QString& since);  // since: "YYYY-MM-DD" or empty
  const std::vector<journal::Record>& Records() const { return records_; }
  // The record of a shown row (oldest-first index into Records()).
  std::size_t RecordOf(int row) const { return shown_[static_cast<std::size_t>(row)]; }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  QString Text(std::size_t record, int column) const;
  // The shown rows as CSV (UTF-8, comma-separated, quoted where needed).
  std::string Csv() const;

 private:
  std::vector<journal::Record> records_;  // oldest first
  std::vector<std::size_t> shown_;        // newest first
};

class TFormJournal : public QWidget {
  Q_DECLARE_TR_FUNCTIONS(TFormJournal)

 public:
  explicit TFormJournal(std::filesystem::path path);
  // Reads the journal again; what was skipped is said in the window.
  void Reload();
  JournalModel& Model() { return model_; }
  // What the selected record changed, as the pane shows it.
  QString Details(std::size_t record) const;

  QLineEdit* Edit_Module;
  QCheckBox* CheckBox_Since;
  QDateEdit* DateEdit_Since;
  QTableView* Table_Records;
  QPlainTextEdit* Memo_Details;
  QLabel* Label_State;
  QPushButton *Button_Reload, *Button_SaveCsv, *Button_Close;
  TFileDialog CsvDialog{FileDialogKind::Save, tr("Файлы CSV (*.csv)|*.csv|Все файлы (*.*)|*.*")};

 private:
  void ApplyFilter();
  void SaveCsv();
  void ShowSelected();

  journal::Journal journal_;
  JournalModel model_;
  QString skipped_;
};

// The action as the window names it.
QString ActionText(const std::string& action);
