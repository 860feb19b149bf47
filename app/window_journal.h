// SPDX-License-Identifier: GPL-3.0-or-later
// The window's hold on the journal: each record appended at once, and a journal that cannot be
// written said once per run in the status bar, never stopping the action.
#pragma once

#include <QString>

#include <filesystem>
#include <functional>
#include <utility>

#include "journal/journal.h"

class TWindowJournal {
 public:
  TWindowJournal(std::filesystem::path path, std::function<void(const QString&)> warn)
      : journal_(std::move(path)), warn_(std::move(warn)) {}
  void Append(const journal::Record& record) {
    const std::string why = journal_.Append(record);
    if (why.empty() || warned_) return;
    warned_ = true;
    warn_(QString::fromStdString(why));
  }
  const journal::Journal& Journal() const { return journal_; }

 private:
  journal::Journal journal_;
  std::function<void(const QString&)> warn_;
  bool warned_ = false;
};
