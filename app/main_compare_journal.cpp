// SPDX-License-Identifier: GPL-3.0-or-later
// TFormMain's comparison with the module and its part of the journal: each module command the
// window sends is kept with its outcome.
#include <QStatusBar>
#include <QTimer>

#include <algorithm>

#include "app/journal_window.h"
#include "app/module_compare.h"
#include "app/vexa_main_v1.h"
#include "app/window_journal.h"
#include "gui/message_box.h"
#include "journal/journal_place.h"
#include "settings/settings_codec.h"
#include "translations/language.h"

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

bool Answered(Verdict verdict) {
  return verdict == Verdict::Answered || verdict == Verdict::Long || verdict == Verdict::Late;
}

// A write frame's block into the settings it sends, as the module will hold them.
void TakeWrittenBlock(const std::vector<std::uint8_t>& frame, TModuleSettings& sent) {
  const std::uint8_t address = frame[3];
  if (address == 0xC0 && frame.size() >= 5 + kSysPayloadSize) {
    const DecodeOutcome outcome = Decode_sys_settings(
        sent.SysSet, std::span<const std::uint8_t, kSysPayloadSize>(frame.data() + 5, kSysPayloadSize),
        false);
    sent.SysSet.Number = outcome.stored->number;
    sent.SysSet.Year = outcome.stored->year;
  } else if (address % 0x30 == 0 && address <= 0x90 && frame.size() >= 5 + kChanPayloadSize) {
    Decode_chan_settings(sent.ChanSet[address / 0x30],
                         std::span<const std::uint8_t, kChanPayloadSize>(frame.data() + 5, kChanPayloadSize));
  }
}

}  // namespace

void TFormMain::SetJournalPath(const std::filesystem::path& path) {
  journal_ = std::make_unique<TWindowJournal>(path, [this](const QString& why) {
    // Kept in view for the whole run: the engineer must not miss that nothing is being recorded.
    journalWarning_->setText(tr("Журнал работ не ведется: %1").arg(why));
    journalWarning_->setToolTip(journalWarning_->text());
    journalWarning_->show();
  });
  journalWarning_->hide();
  journalWindow_.reset();
}

journal::Record TFormMain::JournalRecord(const char* action) const {
  journal::Record r = journal::NewRecord("vexa_setup", action);
  r.port = journalPort_;
  if (stored_) {
    r.module = stored_->number;
    r.year = stored_->year;
  }
  r.firmware = Label_Version->text().toStdString();
  if (r.firmware == "--.--") r.firmware.clear();
  return r;
}

// Each command the window sends: the one the engine is about to send is the one begun, and one it
// replaces before it went out was never done.
void TFormMain::SendCommand(void (*command)(LinkEngine&, ICommandHost&)) {
  const int before = engine_.Request_code;
  command(engine_, *this);
  BeginAction(before);
}
void TFormMain::MenuExec_BlockClick() { SendCommand(::MenuExec_BlockClick); }
void TFormMain::MenuExec_ReadParamClick() {
  if (!comparing_) SendCommand(::MenuExec_ReadParamClick);  // else the settings are being read already
}
void TFormMain::MenuExec_WriteParamClick() { SendCommand(::MenuExec_WriteParamClick); }
void TFormMain::MenuExec_ResetClick() { SendCommand(::MenuExec_ResetClick); }
void TFormMain::MenuExec_SaveEEPROMClick() { SendCommand(::MenuExec_SaveEEPROMClick); }

void TFormMain::BeginAction(int before) {
  const int command = engine_.Request_code;
  if (command == before) return;  // nothing new was asked (a question answered No, a refusal)
  if (before != 0) EndAction(before, tr("не выполнено: дана следующая команда").toStdString());
  const char* action = ActionOfCommand(command);
  if (action == nullptr) return;
  WindowAction a{command, JournalRecord(action), ModuleSettings};
  if (command == Req_write_param) a.record.file = sourceFile_;
  actions_.push_back(std::move(a));
}

void TFormMain::EndAction(int command, const std::string& failure) {
  const auto it = std::find_if(actions_.begin(), actions_.end(),
                               [&](const WindowAction& a) { return a.command == command; });
  if (it == actions_.end()) return;
  WindowAction action = std::move(*it);
  actions_.erase(it);
  journal::Record& record = action.record;
  if (!failure.empty()) record.result = failure;
  const journal::Record now = JournalRecord(record.action.c_str());
  if (!record.module) {
    record.module = now.module;
    record.year = now.year;
  }
  if (record.firmware.empty()) record.firmware = now.firmware;
  if (record.action == journal::kWrite) {
    // What the frames carried, whether or not the write completed; blocks not sent as they stood.
    record.settings = journal::AsModuleHolds(action.sent);
    record.module = action.sent.SysSet.Number;
    record.year = action.sent.SysSet.Year;
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

void TFormMain::EndAllActions(const std::string& failure) {
  while (!actions_.empty()) EndAction(actions_.front().command, failure);
}

void TFormMain::ActionExchange(const Exchange& exchange) {
  const int command = CommandOfRequest(exchange.request);
  const auto it = std::find_if(actions_.begin(), actions_.end(),
                               [&](const WindowAction& a) { return a.command == command; });
  if (command == 0 || it == actions_.end()) return;
  if (command == Req_write_param) TakeWrittenBlock(exchange.request, it->sent);
  if (!Answered(exchange.verdict)) {
    // A refused, cut or garbled answer ends the command's chain without a box: said here.
    EndAction(command, exchange.verdict == Verdict::Refused
                           ? tr("отказ модуля").toStdString()
                           : TranslatedMessage(VerdictText(exchange.verdict)));
    return;
  }
  // A read and a write end with their completion message; the others with their answer.
  if (command != Req_read_param && command != Req_write_param) EndAction(command);
}

void TFormMain::ActionLinkLost(const std::string& message) {
  lastLinkError_ = message;
  EndAllActions(message);
}

void TFormMain::SetComparing(bool comparing) {
  comparing_ = comparing;
  MenuExec_Compare->setEnabled(!comparing);
  MenuExec_ReadParam->setEnabled(!comparing);
}

void TFormMain::MenuExec_CompareClick() {
  if (comparing_ || !engine_.Connected) return;
  // A command waiting to go out, or a write under way, keeps the line: the comparison would take
  // its place or read settings half written.
  if (engine_.Request_code != 0 || engine_.Writing()) {
    statusBar()->showMessage(tr("Модуль занят другой командой: сравните, когда она закончится."), 5000);
    return;
  }
  SetComparing(true);
  compareReads_.clear();
  lastLinkError_.clear();
  statusBar()->showMessage(tr("Чтение настроек модуля для сравнения…"));
  engine_.ReadAside(compareRead_, [this](bool whole) { CompareReadDone(whole); });
}

void TFormMain::CompareFailed() {
  SetComparing(false);
  // After the link's own box, if there is one, so that the record names its reason.
  QTimer::singleShot(0, this, [this] {
    statusBar()->showMessage(tr("Сравнение не выполнено: настройки модуля не прочитаны."));
    journal::Record r = JournalRecord(journal::kCompare);
    r.result = lastLinkError_.empty() ? tr("настройки модуля не прочитаны").toStdString() : lastLinkError_;
    journal_->Append(r);
  });
}

void TFormMain::CompareReadDone(bool whole) {
  if (!whole) {
    CompareFailed();
    return;
  }
  compareReads_.push_back(compareRead_);
  switch (JudgeReads(compareReads_, 2)) {
    case ReadsVerdict::ReadAgain:
      // A command given meanwhile goes first; the comparison gives way rather than replace it.
      if (engine_.Request_code != 0) {
        CompareFailed();
        return;
      }
      engine_.ReadAside(compareRead_, [this](bool again) { CompareReadDone(again); });
      return;
    case ReadsVerdict::Taken:
      // Shown after the dispatch that brought the last block, not inside it.
      QTimer::singleShot(0, this, [this] { ShowComparison(); });
      return;
    case ReadsVerdict::Undecided:
      SetComparing(false);
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
  SetComparing(false);
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
