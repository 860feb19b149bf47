// SPDX-License-Identifier: GPL-3.0-or-later
// The commissioning journal: one record a line of what was done to which module, appended whole
// under a lock by either program, read back with damaged lines skipped and named.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/module_settings.h"
#include "settings/settings_text.h"

namespace journal {

// A journal is started afresh beside the old one once it passes this.
inline constexpr std::uintmax_t kRotateBytes = 20U * 1024U * 1024U;

// The actions, as written in the journal.
inline constexpr const char* kRead = "read";
inline constexpr const char* kWrite = "write";
inline constexpr const char* kStore = "store";
inline constexpr const char* kVerify = "verify";
inline constexpr const char* kCompare = "compare";
inline constexpr const char* kBlock = "block";
inline constexpr const char* kUnblock = "unblock";
// The result of an action that completed; any other result is the failure's message.
inline constexpr const char* kDone = "done";

struct Record {
  std::string time;  // local time with its offset, "2026-12-09T14:03:27+01:00"
  std::string program, user, machine, port;
  std::optional<unsigned> module, year;  // as the module holds them
  std::string firmware;
  std::string action, result = kDone;
  std::string file;                         // the settings file involved, if any
  std::optional<TModuleSettings> settings;  // a read's or a write's, as the module holds them
  std::optional<unsigned> differences;      // a verify's or a comparison's fields that differ
  int line = 0;                             // where it was read from (1-based), 0 for a new one
  int part = 0;                             // 0: the journal; 1: the one it was started beside

  bool Done() const { return result == kDone; }
};

// A record of now, by this user on this machine.
Record NewRecord(std::string program, std::string action);
// The record's one line, without its line end.
std::string RecordLine(const Record& record);
// The record for a reader (vexa_cli journal --json): its line's fields and where it was read, and
// for a write the fields it changed ("changes", null when no earlier settings are known).
std::string RecordJson(const std::vector<Record>& records, std::size_t index);
// The settings as a module holds them: no auxiliary blocks, floats without the low byte the line
// never carries.
TModuleSettings AsModuleHolds(const TModuleSettings& record);

// The local time with its offset, as a record carries it.
std::string LocalTimeText(std::int64_t secondsSinceEpoch);

class Journal {
 public:
  explicit Journal(std::filesystem::path path) : path_(std::move(path)) {}
  const std::filesystem::path& Path() const { return path_; }
  // Empty when the record is on disk; else why not. What is in the file is never changed: a
  // record that could not be written whole is taken back to the length before it.
  std::string Append(const Record& record) const;
  // The journal this one was started beside ("journal.1.jsonl"); older ones count up from it.
  std::filesystem::path Older(int n = 1) const;

 private:
  std::filesystem::path path_;
};

struct Skipped {
  int part = 0, line = 0;  // part: as Record::part
};

struct Contents {
  std::vector<Record> records;   // oldest first
  std::vector<Skipped> skipped;  // damaged lines, in the order met
  std::string error;             // the journal could not be read (a missing one is empty, no error)
};
// The journal and the one it was started beside, oldest record first.
Contents Read(const Journal& journal);
// One text's records (part as given), for tests and the above.
void ReadText(std::string_view text, int part, Contents& into);

// The record before index whose settings are the module's as last known: an earlier read or
// write of the same module number that completed.
std::optional<std::size_t> PreviousSettings(const std::vector<Record>& records, std::size_t index);
// What a write changed: the fields where its settings differ from the module's previous ones in
// the journal (an earlier read or write of the same module number). Empty optional when no
// earlier settings of that module are known.
std::optional<std::vector<FieldDifference>> ChangesOfWrite(const std::vector<Record>& records,
                                                           std::size_t index);

// Where the journal lives unless the user names another in VEXA_JOURNAL: the given data folder's
// "journal.jsonl".
std::filesystem::path DefaultPath(const std::filesystem::path& dataFolder);

}  // namespace journal
