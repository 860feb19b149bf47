// SPDX-License-Identifier: GPL-3.0-or-later
// TFormMain's comparison with the module and its part of the journal: each module command the
// window sends is kept with its outcome.
#include <QStatusBar>
#include <QTimer>

#include "app/journal_window.h"
#include "app/module_compare.h"
#include "app/vexa_main_v1.h"
#include "app/window_journal.h"
#include "gui/message_box.h"
#include "journal/journal_place.h"
#include "settings/settings_codec.h"

namespace {

const char* ActionOfCommand(int command) {
  switch (command) {
    case Req_read_param:
      return journal::kRead;
    case Req_write_param:
      return journal::kWrite;
    case Req_save_eeprom:
      return journal::kStore;
    case Req_block:
      return journal::kBlock;
    case Req_unblock:
      return journal::kUnblock;
    default:
      return nullptr;
  }
}

}  // namespace

void TFormMain::SetJournalPath(const std::filesystem::path& path) {
  journal_ = std::make_unique<TWindowJournal>(path, [this](const QString& why) {
    statusBar()->showMessage(tr("Журнал работ не ведется: %1").arg(why));
  });
  journalWindow_.reset();
}

journal::Record TFormMain::JournalRecord(const char* action) const {
  journal::Record r = journal::NewRecord("vexa_setup", action);
  r.port = exchanges_.Port();
  if (stored_) {
    r.module = stored_->number;
    r.year = stored_->year;
  }
  r.firmware = Label_Version->text().toStdString();
  if (r.firmware == "--.--") r.firmware.clear();
  return r;
}

// Each command the window sends: the one the engine is about to send is the one begun.
void TFormMain::MenuExec_BlockClick() {
  ::MenuExec_BlockClick(engine_, *this);
  BeginAction(engine_.Request_code, ActionOfCommand(engine_.Request_code));
}
void TFormMain::MenuExec_ReadParamClick() {
  if (comparing_) return;  // the module's settings are being read already, for the comparison
  ::MenuExec_ReadParamClick(engine_, *this);
  BeginAction(engine_.Request_code, journal::kRead);
}
void TFormMain::MenuExec_WriteParamClick() {
  ::MenuExec_WriteParamClick(engine_, *this);
  if (engine_.Request_code == Req_write_param) BeginAction(Req_write_param, journal::kWrite);
}
void TFormMain::MenuExec_SaveEEPROMClick() {
  ::MenuExec_SaveEEPROMClick(engine_, *this);
  if (engine_.Request_code == Req_save_eeprom) BeginAction(Req_save_eeprom, journal::kStore);
}

void TFormMain::BeginAction(int command, const char* action) {
  if (action == nullptr) return;
  // A command given while another waited for its answer replaces it on the line: the earlier one
  // is kept as not answered.
  if (action_) EndAction(tr("не выполнено: дана следующая команда").toStdString());
  action_ = JournalRecord(action);
  actionCommand_ = command;
  if (command == Req_write_param) action_->file = sourceFile_;
}

void TFormMain::EndAction(const std::string& failure) {
  if (!action_) return;
  journal::Record record = std::move(*action_);
  action_.reset();
  if (!failure.empty()) record.result = failure;
  const journal::Record now = JournalRecord(record.action.c_str());
  if (!record.module) {
    record.module = now.module;
    record.year = now.year;
  }
  if (record.firmware.empty()) record.firmware = now.firmware;
  if (record.action == journal::kWrite && failure.empty()) {
    record.settings = journal::AsModuleHolds(ModuleSettings);
    record.module = ModuleSettings.SysSet.Number;  // as the write gave them
    record.year = ModuleSettings.SysSet.Year;
  } else if (record.action == journal::kRead && failure.empty()) {
    TModuleSettings held = journal::AsModuleHolds(ModuleSettings);
    if (stored_) {
      held.SysSet.Number = stored_->number;
      held.SysSet.Year = stored_->year;
    }
    record.settings = held;
  }
  journal_->Append(record);
}

void TFormMain::ActionExchange(const Exchange& exchange) {
  if (!action_) return;
  const int command = CommandOfRequest(exchange.request);
  const bool answered = exchange.verdict == Verdict::Answered || exchange.verdict == Verdict::Long;
  if (exchange.verdict == Verdict::Refused &&
      (command == actionCommand_ || (actionCommand_ == Req_write_param && engine_.Writing()) ||
       actionCommand_ == Req_read_param)) {
    EndAction(tr("отказ модуля").toStdString());
    return;
  }
  if (command != 0 && command == actionCommand_ && answered) EndAction();
}

void TFormMain::ActionLinkLost(const std::string& message) {
  if (action_) EndAction(message);
}

void TFormMain::MenuExec_CompareClick() {
  if (comparing_ || !engine_.Connected) return;
  comparing_ = true;
  compareReads_.clear();
  statusBar()->showMessage(tr("Чтение настроек модуля для сравнения…"));
  engine_.ReadAside(compareRead_, [this](bool whole) { CompareReadDone(whole); });
}

void TFormMain::CompareReadDone(bool whole) {
  if (!whole) {
    // The link's own message, if any, says why; the comparison is over and can be asked again.
    comparing_ = false;
    statusBar()->showMessage(tr("Сравнение не выполнено: настройки модуля не прочитаны."));
    journal::Record r = JournalRecord(journal::kCompare);
    r.result = tr("настройки модуля не прочитаны").toStdString();
    journal_->Append(r);
    return;
  }
  compareReads_.push_back(compareRead_);
  switch (JudgeReads(compareReads_, 2)) {
    case ReadsVerdict::ReadAgain:
      engine_.ReadAside(compareRead_, [this](bool again) { CompareReadDone(again); });
      return;
    case ReadsVerdict::Taken:
      // Shown after the dispatch that brought the last block, not inside it.
      QTimer::singleShot(0, this, [this] { ShowComparison(); });
      return;
    case ReadsVerdict::Undecided:
      comparing_ = false;
      statusBar()->clearMessage();
      QTimer::singleShot(0, this, [this] {
        journal::Record r = JournalRecord(journal::kCompare);
        r.result = QCoreApplication::translate("Messages", kReadsDisagree).toStdString();
        journal_->Append(r);
        MessageBoxes().Show(kReadsDisagree, kLinkErrorCaption, BoxButtons::Ok);
      });
      return;
  }
}

void TFormMain::ShowComparison() {
  comparing_ = false;
  statusBar()->clearMessage();
  Comparison c;
  c.window = ModuleSettings;
  c.module = compareReads_.back();
  c.kept = kept_;
  c.source = source_.isEmpty() ? tr("не загружались") : source_;
  journal::Record r = JournalRecord(journal::kCompare);
  r.module = c.module.SysSet.Number;
  r.year = c.module.SysSet.Year;
  r.file = sourceFile_;
  c.time = QString::fromStdString(r.time);
  c.port = QString::fromStdString(r.port);
  c.moduleText = QString::number(c.module.SysSet.Number);
  const auto rows = ComparisonRows(c);
  r.differences = static_cast<unsigned>(rows.size());
  journal_->Append(r);
  if (rows.empty()) {
    if (compare_ != nullptr) compare_->hide();
    MessageBoxes().Show(QCoreApplication::translate("Messages", kCompareSame).arg(c.moduleText).toStdString(),
                        kMessageCaption, BoxButtons::Ok);
    return;
  }
  if (compare_ == nullptr)
    compare_ =
        std::make_unique<TFormCompare>([this](const TModuleSettings& module) { TakeModuleValues(module); });
  compare_->Show(c);
}

void TFormMain::TakeModuleValues(const TModuleSettings& module) {
  // As a read takes them: the blocks the module holds (the file's own auxiliary blocks stay), and
  // the fields show 0 for a number or year beyond their digits.
  for (int ch = 0; ch < kChannelCount; ++ch) ModuleSettings.ChanSet[ch] = module.ChanSet[ch];
  ModuleSettings.SysSet = module.SysSet;
  stored_ = ModuleIdentity{module.SysSet.Number, module.SysSet.Year};
  if (ModuleSettings.SysSet.Number > 9999) ModuleSettings.SysSet.Number = 0;
  if (ModuleSettings.SysSet.Year > 99) ModuleSettings.SysSet.Year = 0;
  MaskEdit_Number->SetText(QString("%1").arg(ModuleSettings.SysSet.Number, 4).toStdString());
  MaskEdit_Year->SetText(QString("%1").arg(ModuleSettings.SysSet.Year, 2).toStdString());
  RememberSettings();
  source_ = tr("модуль %1").arg(module.SysSet.Number);
  sourceFile_.clear();
  RefreshViews(kRefreshLogic | kRefreshInterface | kRefreshLedTenu | kRefreshChanel);
}

void TFormMain::MenuView_JournalClick() {
  if (journalWindow_ == nullptr) journalWindow_ = std::make_unique<TFormJournal>(journal_->Journal().Path());
  journalWindow_->Reload();
  journalWindow_->show();
  journalWindow_->raise();
  journalWindow_->activateWindow();
}
