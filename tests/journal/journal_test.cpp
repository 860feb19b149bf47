// SPDX-License-Identifier: GPL-3.0-or-later
#include "journal/journal.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

namespace {

namespace fs = std::filesystem;

class JournalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("vexa_journal_" + std::to_string(::getpid()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  static std::string Slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  static journal::Record Sample(unsigned module, const char* action = journal::kRead) {
    journal::Record r = journal::NewRecord("test", action);
    r.module = module;
    r.year = 26;
    r.port = "/dev/ttyUSB0";
    return r;
  }
  fs::path dir_;
};

TEST_F(JournalTest, ARecordReadsBackAsWritten) {
  const journal::Journal j(dir_ / "sub" / "journal.jsonl");  // the folder is made when missing
  journal::Record r = Sample(4321, journal::kWrite);
  TModuleSettings s{};
  s.ChanSet[1].Point0 = 12.5F;
  s.SysSet.Number = 4321;
  r.settings = s;
  r.file = "/home/engineer/plant \"A\".vxa";
  r.result = "Нет ответа от модуля Ixor";
  ASSERT_EQ(j.Append(r), "");
  ASSERT_EQ(j.Append(Sample(7, journal::kVerify)), "");
  const journal::Contents c = journal::Read(j);
  ASSERT_EQ(c.records.size(), 2U);
  EXPECT_TRUE(c.skipped.empty());
  const journal::Record& back = c.records[0];
  EXPECT_EQ(back.time, r.time);
  EXPECT_EQ(back.file, r.file);
  EXPECT_EQ(back.result, r.result);
  EXPECT_EQ(back.module, 4321U);
  ASSERT_TRUE(back.settings.has_value());
  EXPECT_TRUE(CompareSettings(*back.settings, s, CompareScope::File).empty());
  EXPECT_EQ(c.records[1].line, 2);
  // One line a record, the time first so that it reads well.
  const std::string text = Slurp(j.Path());
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2);
  EXPECT_EQ(text.rfind("{\"time\":", 0), 0U);
}

TEST_F(JournalTest, LocalTimeCarriesItsOffset) {
  ::setenv("TZ", "UTC-3", 1);  // three hours east
  ::tzset();
  EXPECT_EQ(journal::LocalTimeText(0), "1970-01-01T03:00:00+03:00");
  ::setenv("TZ", "UTC+5:30", 1);
  ::tzset();
  EXPECT_EQ(journal::LocalTimeText(86400 * 365), "1970-12-31T18:30:00-05:30");
  ::unsetenv("TZ");
  ::tzset();
}

// Damage is skipped and named, never rewritten; the next record starts on a line of its own.
TEST_F(JournalTest, DamagedLinesAreSkippedWithTheirNumbersAndLeftAsTheyAre) {
  const journal::Journal j(dir_ / "journal.jsonl");
  ASSERT_EQ(j.Append(Sample(1)), "");
  {
    std::ofstream out(j.Path(), std::ios::binary | std::ios::app);
    out << "garbage {\n"
        << "42\n"
        << "{\"time\":\"x\",\"action\":\"read\",\"result\":\"done\",\"module\":\"1\"}\n";
  }
  ASSERT_EQ(j.Append(Sample(2)), "");
  const std::string cut = journal::RecordLine(Sample(3));
  {
    std::ofstream out(j.Path(), std::ios::binary | std::ios::app);
    out << cut.substr(0, cut.size() - 1);  // a crash while writing: no end, no closing brace
  }
  const std::string before = Slurp(j.Path());
  journal::Contents c = journal::Read(j);
  ASSERT_EQ(c.records.size(), 2U);
  EXPECT_EQ(c.records[1].module, 2U);
  EXPECT_EQ(c.records[1].line, 5);
  std::vector<int> lines;
  for (const journal::Skipped& s : c.skipped) lines.push_back(s.line);
  EXPECT_EQ(lines, (std::vector<int>{2, 3, 4, 6}));
  EXPECT_EQ(Slurp(j.Path()), before) << "reading changes nothing";
  // A whole last line that lacks only its end is cut all the same.
  ASSERT_EQ(j.Append(Sample(4)), "");
  EXPECT_EQ(Slurp(j.Path()).substr(0, before.size()), before) << "appending keeps the cut line as it was";
  c = journal::Read(j);
  ASSERT_EQ(c.records.size(), 3U);
  EXPECT_EQ(c.records[2].module, 4U);
  EXPECT_EQ(c.records[2].line, 7);
}

// Two programs at once: every record whole on a line of its own.
TEST_F(JournalTest, TwoProcessesAppendingAtOnceInterleaveNoLine) {
  const journal::Journal j(dir_ / "journal.jsonl");
  constexpr int kEach = 1000;
  pid_t children[2];
  for (int p = 0; p < 2; ++p) {
    children[p] = ::fork();
    ASSERT_GE(children[p], 0);
    if (children[p] == 0) {
      for (int i = 0; i < kEach; ++i) {
        journal::Record r = Sample(static_cast<unsigned>(p * 10000 + i), journal::kWrite);
        r.settings = TModuleSettings{};  // a long line, as a write's is
        if (!j.Append(r).empty()) ::_exit(1);
      }
      ::_exit(0);
    }
  }
  for (const pid_t child : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  const journal::Contents c = journal::Read(j);
  EXPECT_TRUE(c.skipped.empty());
  ASSERT_EQ(c.records.size(), 2U * kEach);
  std::set<unsigned> seen;
  int lastOf[2] = {-1, -1};
  for (const journal::Record& r : c.records) {
    seen.insert(*r.module);
    const int p = static_cast<int>(*r.module / 10000), i = static_cast<int>(*r.module % 10000);
    EXPECT_EQ(i, lastOf[p] + 1) << "each program's records in its order";
    lastOf[p] = i;
  }
  EXPECT_EQ(seen.size(), 2U * kEach);
}

// A file at its size limit: the append fails with the reason, the program goes on, and what was
// there stays whole.
TEST_F(JournalTest, AJournalThatCannotGrowFailsTheAppendAndKeepsWhatItHas) {
  const journal::Journal j(dir_ / "journal.jsonl");
  ASSERT_EQ(j.Append(Sample(1)), "");
  const std::string before = Slurp(j.Path());
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    rlimit limit{static_cast<rlim_t>(before.size() + 100), static_cast<rlim_t>(before.size() + 100)};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    journal::Record r = Sample(2, journal::kWrite);
    r.settings = TModuleSettings{};  // longer than the room left
    const std::string why = j.Append(r);
    ::_exit(why.find("journal.jsonl: ") != std::string::npos ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(Slurp(j.Path()), before) << "the part that did not fit is taken back";
}

TEST_F(JournalTest, APastItsSizeIsStartedAfreshAndNoOldOneIsLost) {
  const journal::Journal j(dir_ / "journal.jsonl");
  const auto fill = [&] {
    std::ofstream out(j.Path(), std::ios::binary | std::ios::app);
    const std::string line = journal::RecordLine(Sample(9)) + "\n";
    for (std::uintmax_t n = fs::exists(j.Path()) ? fs::file_size(j.Path()) : 0; n < journal::kRotateBytes;
         n += line.size())
      out << line;
  };
  fill();
  ASSERT_EQ(j.Append(Sample(1)), "");
  EXPECT_TRUE(fs::exists(j.Older(1)));
  EXPECT_EQ(journal::Read(j).records.back().module, 1U);
  fill();
  ASSERT_EQ(j.Append(Sample(2)), "");
  EXPECT_TRUE(fs::exists(j.Older(2))) << "the older one moved on, not replaced";
  EXPECT_EQ(j.Older(2).filename(), "journal.2.jsonl");
  const journal::Contents c = journal::Read(j);  // the journal and the one before it
  EXPECT_EQ(c.records.back().module, 2U);
  EXPECT_EQ(c.records.front().part, 1);
  EXPECT_EQ(c.records.front().module, 1U) << "the one before starts with the record that began it";
}

// A write's changes are against the module's last known settings: its last read or write that
// completed, of that module number only.
TEST_F(JournalTest, AWriteChangesAgainstTheModulesPreviousSettings) {
  std::vector<journal::Record> records;
  const auto add = [&](unsigned module, const char* action, float point0,
                       const char* result = journal::kDone) {
    journal::Record r = Sample(module, action);
    TModuleSettings s{};
    s.ChanSet[0].Point0 = point0;
    r.settings = s;
    r.result = result;
    records.push_back(r);
  };
  add(5, journal::kWrite, 5.0F);
  EXPECT_FALSE(journal::ChangesOfWrite(records, 0).has_value()) << "nothing earlier";
  add(1, journal::kRead, 1.0F);
  add(2, journal::kRead, 2.0F);
  add(1, journal::kWrite, 9.0F, "Нет ответа от модуля Ixor");  // failed: not what it holds
  add(1, journal::kWrite, 3.0F);
  const auto changes = journal::ChangesOfWrite(records, 4);
  ASSERT_TRUE(changes.has_value());
  ASSERT_EQ(changes->size(), 1U);
  EXPECT_EQ((*changes)[0].name + ": " + (*changes)[0].a + " | " + (*changes)[0].b, "ch1.Point0: 1 | 3");
}

}  // namespace
