// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target: a journal as any text (edited by hand, cut, another file named by VEXA_JOURNAL):
// every line is a record or skipped, records read back as written, and a write's changes are
// worked out from whatever records there are.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "journal/journal.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  journal::Contents contents;
  journal::ReadText(text, 0, contents);
  std::size_t lines = 0;
  for (const char c : text) lines += c == '\n';
  if (!text.empty() && text.back() != '\n') ++lines;
  // Each line counted once at most: a record, a skipped line, or an empty one.
  if (contents.records.size() + contents.skipped.size() > lines) std::abort();
  for (std::size_t i = 0; i < contents.records.size(); ++i) {
    const journal::Record& r = contents.records[i];
    journal::Contents again;
    journal::ReadText(journal::RecordLine(r) + "\n", 0, again);
    if (again.records.size() != 1 || journal::RecordLine(again.records[0]) != journal::RecordLine(r))
      std::abort();
    if (r.action == journal::kWrite) (void)journal::ChangesOfWrite(contents.records, i);
  }
  return 0;
}
