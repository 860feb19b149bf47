// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/journal_record.h"

#include <cstdio>
#include <optional>

#include "cli/common.h"
#include "cli/link_session.h"
#include "journal/journal_place.h"

namespace {

std::optional<journal::Record> gRecord;
bool gFailureNoted = false;

const char* ActionOf(const Args& args) {
  const std::string& c = args.command;
  if (c == "read") return journal::kRead;
  if (c == "write") return journal::kWrite;
  if (c == "store") return journal::kStore;
  if (c == "verify") return journal::kVerify;
  if (c == "block") return journal::kBlock;
  if (c == "unblock") return journal::kUnblock;
  if (c == "diff" && args.Has("--port")) return journal::kCompare;
  return nullptr;
}

std::string Identity(const journal::Record& r) {
  if (!r.module) return "module unknown";
  std::string text = "module " + std::to_string(*r.module);
  if (r.year) text += ", year " + std::to_string(*r.year);
  if (!r.firmware.empty()) text += ", firmware " + r.firmware;
  return text;
}

std::string Outcome(const journal::Record& r) {
  std::string text = r.result;
  if (r.differences)
    text += *r.differences == 0 ? ", matches" : ", " + std::to_string(*r.differences) + " differ";
  return text;
}

void PrintText(const journal::Record& r, const std::vector<journal::Record>& all, std::size_t index) {
  std::printf("%s  %s  %s  %s  %s  %s@%s%s%s\n", r.time.c_str(), r.action.c_str(), Identity(r).c_str(),
              Outcome(r).c_str(), r.port.c_str(), r.user.c_str(), r.machine.c_str(),
              r.file.empty() ? "" : "  ", r.file.c_str());
  if (r.action != journal::kWrite || !r.settings) return;
  const auto changes = journal::ChangesOfWrite(all, index);
  if (!changes) {
    std::fputs("  (no earlier settings of this module in the journal)\n", stdout);
    return;
  }
  if (changes->empty()) std::fputs("  (no field changed)\n", stdout);
  for (const FieldDifference& d : *changes)
    std::printf("  %s: %s | %s\n", d.name.c_str(), d.a.c_str(), d.b.c_str());
}

}  // namespace

void BeginCommandRecord(const Args& args) {
  const char* action = ActionOf(args);
  if (action == nullptr) return;
  gRecord = journal::NewRecord("vexa_cli", action);
  gRecord->port = args.One("--port");
}

journal::Record* CommandRecord() { return gRecord ? &*gRecord : nullptr; }

void NoteModule(const LinkSession& session) {
  if (!gRecord) return;
  if (const auto& stored = session.Stored()) {
    gRecord->module = stored->number;
    gRecord->year = stored->year;
  }
  if (!session.Firmware().empty()) gRecord->firmware = session.Firmware();
}

void NoteFailure(const std::string& text) {
  if (!gRecord || gFailureNoted) return;
  gFailureNoted = true;
  gRecord->result = text;
}

void EndCommandRecord(int code) {
  if (!gRecord || code == kUsageError) return;
  if (code != kDone && code != kDiffers && !gFailureNoted) gRecord->result = "failed";
  if (code != kDone && code != kDiffers) gRecord->differences.reset();
  // A write keeps what it sent whether or not it completed; a read only what it brought.
  if (gRecord->action == journal::kRead && code != kDone) gRecord->settings.reset();
  const journal::Journal journal(JournalPath());
  if (const std::string why = journal.Append(*gRecord); !why.empty())
    std::fprintf(stderr, "vexa_cli: the journal is not being kept: %s\n", why.c_str());
  gRecord.reset();
}

std::string JournalFileName(const std::filesystem::path& path) {
  std::error_code ec;
  const std::filesystem::path whole = std::filesystem::absolute(path, ec);
  return Shown(ec ? path : whole.lexically_normal());
}

int CmdJournal(const Args& args) {
  const journal::Journal journal(JournalPath());
  const journal::Contents contents = journal::Read(journal);
  for (const journal::Skipped& s : contents.skipped)
    std::fprintf(stderr, "%s: line %d is damaged and was skipped\n",
                 Shown(s.part == 0 ? journal.Path() : journal.Older(s.part)).c_str(), s.line);
  if (!contents.error.empty()) return Fail(contents.error);
  const std::optional<unsigned> module =
      args.Has("--module") ? std::optional(static_cast<unsigned>(WholeOption(args, "--module", 0)))
                           : std::nullopt;
  const std::string since = args.One("--since");
  const bool json = args.Has("--json");
  if (json) std::fputs("[", stdout);
  bool first = true;
  const auto& all = contents.records;
  for (std::size_t i = all.size(); i-- > 0;) {
    const journal::Record& r = all[i];
    if (module && r.module != module) continue;
    if (!since.empty() && r.time.compare(0, since.size(), since) < 0) continue;
    if (json) {
      std::printf("%s\n  %s", first ? "" : ",", journal::RecordJson(all, i).c_str());
    } else {
      PrintText(r, all, i);
    }
    first = false;
    if (!OutputWritten()) return ReaderGone() ? kDone : kFailed;
  }
  if (json) std::fputs(first ? "]\n" : "\n]\n", stdout);
  return AfterOutput(kDone);
}
