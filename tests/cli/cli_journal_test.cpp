// SPDX-License-Identifier: GPL-3.0-or-later
// vexa_cli and the journal: what each command leaves there, what journal prints back, and a
// journal that cannot be written.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "settings/settings_codec.h"
#include "sim/pty_simulator.h"
#include "tests/cli/cli_folder.h"
#include "tests/cli/process.h"

namespace {

using cli_test::Cli;
using cli_test::Has;
using cli_test::Result;

class CliJournalTest : public cli_test::FolderTest {
 protected:
  void SetUp() override {
    FolderTest::SetUp();
    journal_ = Path("journal.jsonl");
    if (const char* before = std::getenv("VEXA_JOURNAL")) before_ = before;
    ::setenv("VEXA_JOURNAL", journal_.c_str(), 1);
  }
  void TearDown() override {
    if (before_.empty()) {
      ::unsetenv("VEXA_JOURNAL");
    } else {
      ::setenv("VEXA_JOURNAL", before_.c_str(), 1);
    }
    FolderTest::TearDown();
  }
  static std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  std::string journal_, before_;
};

// A write's changes, worked out from two records of the journal, are what diff says of the two
// files written; the text and the JSON agree, and the filters filter.
TEST_F(CliJournalTest, AWritesChangesAreTheDiffOfTheFilesWritten) {
  sim::PtySimulator simulator;
  const std::string port = simulator.DevicePath();
  ASSERT_EQ(Cli({"read", "--port", port, "-o", Path("a.vxa")}).code, 0);
  ASSERT_EQ(Cli({"read", "--port", port, "-o", Path("b.vxa")}).code, 0);
  ASSERT_EQ(Cli({"set", Path("b.vxa"), "ch1.Point0=12.5", "ch2.AdcMax=900", "sys.CAN_Time=7"}).code, 0);
  ASSERT_EQ(Cli({"block", "--port", port}).code, 0);
  ASSERT_EQ(Cli({"write", "--port", port, Path("a.vxa")}).code, 0);
  ASSERT_EQ(Cli({"write", "--port", port, Path("b.vxa")}).code, 0);
  const Result verify = Cli({"verify", "--port", port, Path("a.vxa")});
  ASSERT_EQ(verify.code, 1);

  const Result diff = Cli({"diff", Path("a.vxa"), Path("b.vxa")});
  ASSERT_EQ(diff.code, 1) << diff.err;
  const Result shown = Cli({"journal", "--module", "1234"});
  ASSERT_EQ(shown.code, 0) << shown.err;
  const std::vector<std::string> lines = Lines(shown.out);
  // Newest first: the verify, then the last write with its changes under it.
  ASSERT_GE(lines.size(), 5U) << shown.out;
  EXPECT_TRUE(Has(lines[0], "  verify  module 1234, year 26, firmware 01.23  done, 3 differ  " + port));
  EXPECT_TRUE(Has(lines[1], "  write  module 1234") && Has(lines[1], Path("b.vxa"))) << lines[1];
  std::string changes;
  for (std::size_t i = 2; i < lines.size() && lines[i].rfind("  ", 0) == 0; ++i)
    changes += lines[i].substr(2) + "\n";
  EXPECT_EQ(changes, diff.out);
  EXPECT_TRUE(Has(shown.out, "  (no field changed)\n")) << "a.vxa wrote what the module held";

  const Result json = Cli({"journal", "--json"});
  ASSERT_EQ(json.code, 0);
  const auto records = nlohmann::json::parse(json.out);
  ASSERT_EQ(records.size(), 6U);
  EXPECT_EQ(records[0]["action"], "verify");
  EXPECT_EQ(records[0]["differences"], 3);
  EXPECT_EQ(records[1]["changes"].size(), 3U);
  EXPECT_EQ(records[1]["changes"][0]["field"], "ch1.Point0");
  EXPECT_EQ(records[1]["changes"][0]["after"], "12.5");
  EXPECT_EQ(records[5]["action"], "read");
  EXPECT_EQ(records[5]["program"], "vexa_cli");
  EXPECT_EQ(Cli({"journal", "--module", "77"}).out, "");
  EXPECT_EQ(Cli({"journal", "--since", "2999-01-01", "--json"}).out, "[]\n");
  EXPECT_EQ(Cli({"journal", "--since", "2026-13-01"}).code, 2);
}

// A journal that cannot grow never fails the work: the block and the write are done and
// reported, and the journal's trouble is said once a run.
TEST_F(CliJournalTest, AFullJournalNeverFailsTheWrite) {
  sim::PtySimulator simulator;
  const std::string port = simulator.DevicePath();
  ASSERT_EQ(Cli({"read", "--port", port, "-o", Path("a.vxa")}).code, 0);
  ASSERT_EQ(Cli({"read", "--port", port, "-o", Path("a.vxa")}).code, 0);
  ASSERT_EQ(Cli({"set", Path("a.vxa"), "ch3.OutZero=777"}).code, 0);
  const std::string before = cli_test::Slurp(journal_);
  ASSERT_GT(before.size(), 1024U);
  // ulimit -f counts in blocks of 1024 bytes: the journal is already past it.
  const auto limited = [&](const std::string& command) {
    return cli_test::Run("/bin/sh", {"-c", "ulimit -f 1; exec " + std::string(VEXA_CLI) + " " + command});
  };
  const Result block = limited("block --port " + port);
  EXPECT_EQ(block.code, 0) << block.err;
  const Result write = limited("write --port " + port + " " + Path("a.vxa"));
  EXPECT_EQ(write.code, 0) << write.err;
  for (const Result* r : {&block, &write}) {
    const std::string said = "vexa_cli: the journal is not being kept: " + journal_ + ": ";
    EXPECT_EQ(r->err.find(said), 0U) << r->err;
    EXPECT_EQ(r->err.find(said, 1), std::string::npos) << "once";
  }
  const sim::ModuleMemory memory = simulator.Working();
  const auto& chan = memory.chan[2];
  EXPECT_EQ(chan[kOutZeroOffset] | chan[kOutZeroOffset + 1] << 8, 777);
  EXPECT_EQ(cli_test::Slurp(journal_), before) << "nothing half-written";
}

}  // namespace
