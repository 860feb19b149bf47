// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/resource.h>
#endif

#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "settings/crc8.h"
#include "settings/settings_file.h"

namespace fs = std::filesystem;

namespace {

static_assert(Crc8Table[1] == 0x5E && Crc8Table[2] == 0xBC);

class SettingsFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("vexa_settings_" + std::to_string(::getpid()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  static TModuleSettings Distinct() {
    TModuleSettings record;
    auto* bytes = reinterpret_cast<std::uint8_t*>(&record);
    for (std::size_t i = 0; i < sizeof record; ++i) bytes[i] = static_cast<std::uint8_t>(i * 13 + 5);
    return record;
  }
  static TModuleSettings Junk() {
    TModuleSettings record;
    std::memset(&record, 0xC3, sizeof record);
    return record;
  }
  static bool Same(const TModuleSettings& a, const TModuleSettings& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
  }
  static std::vector<std::uint8_t> Slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  static void Put(const fs::path& p, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  std::size_t EntriesInDir() const {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()));
  }

  fs::path dir_;
};

TEST(Crc8, StandardCheckValueAndSelfCheck) {
  const std::string digits = "123456789";
  const auto data = std::span(reinterpret_cast<const std::uint8_t*>(digits.data()), digits.size());
  EXPECT_EQ(Crc8Update(0, data), 0xA1);
  EXPECT_EQ(Crc8Update(Crc8Update(0, data.first(4)), data.subspan(4)), 0xA1) << "update must chain";
  const std::uint8_t crc = 0xA1;
  EXPECT_EQ(Crc8Update(Crc8Update(0, data), std::span(&crc, 1)), 0);
}

TEST_F(SettingsFileTest, SaveAndOpenKeepEveryByteInFileOrder) {
  const TModuleSettings record = Distinct();
  const fs::path path = dir_ / "plant1.vxa";
  ASSERT_EQ(SaveSettingsFile(record, path), FileOutcome::Done);

  const auto bytes = Slurp(path);
  ASSERT_EQ(bytes.size(), kSettingsFileSize);
  for (int ch = 0; ch < 4; ++ch) {
    EXPECT_EQ(std::memcmp(bytes.data() + 87 * ch, &record.ChanSet[ch], 55), 0) << ch;
    EXPECT_EQ(std::memcmp(bytes.data() + 87 * ch + 55, &record.ChanAux[ch], 32), 0) << ch;
    float hist;
    std::memcpy(&hist, bytes.data() + 87 * ch + 67, 4);
    EXPECT_EQ(std::memcmp(&hist, &record.ChanAux[ch].SensTestHist, 4), 0) << ch;
  }
  EXPECT_EQ(bytes[348] | bytes[349] << 8, record.SysSet.Number);
  EXPECT_EQ(std::memcmp(bytes.data() + 380, record.SysSet.Logic, 20), 0);
  EXPECT_EQ(bytes[401], record.SysSet.Time_Point);

  TModuleSettings loaded = Junk();
  ASSERT_EQ(OpenSettingsFile(path, loaded), FileOutcome::Done);
  EXPECT_TRUE(Same(loaded, record));
  EXPECT_EQ(EntriesInDir(), 1U) << "no temporary file may stay behind";
}

TEST_F(SettingsFileTest, EverySingleByteChangeIsDetected) {
  const SettingsImage image = BuildSettingsImage(Distinct());
  TModuleSettings record = Junk();
  const TModuleSettings before = record;
  for (std::size_t at = 0; at < kSettingsFileSize; ++at) {
    for (unsigned flip = 1; flip < 256; ++flip) {
      SettingsImage damaged = image;
      damaged[at] ^= static_cast<std::uint8_t>(flip);
      ASSERT_EQ(ReadSettingsImage(damaged, record), FileOutcome::Damaged) << "byte " << at << " xor " << flip;
    }
  }
  EXPECT_TRUE(Same(record, before));

  // The same through a real file: the outcome the window turns into its box.
  std::vector<std::uint8_t> bytes(image.begin(), image.end());
  bytes[200] ^= 0x01;
  Put(dir_ / "bad.vxa", bytes);
  EXPECT_EQ(OpenSettingsFile(dir_ / "bad.vxa", record), FileOutcome::Damaged);
  EXPECT_TRUE(Same(record, before));
  EXPECT_EQ(FileOutcomeText(FileOutcome::Damaged), "Файл поврежден, загрузка данных не выполнена.");
}

TEST_F(SettingsFileTest, LengthRules) {
  TModuleSettings record = Junk();
  Put(dir_ / "zeros.vxa", std::vector<std::uint8_t>(403, 0));
  ASSERT_EQ(OpenSettingsFile(dir_ / "zeros.vxa", record), FileOutcome::Done);
  TModuleSettings cleared = Junk();
  ClearSettings(cleared);
  EXPECT_TRUE(Same(record, cleared));

  // Nothing but the exact size loads, whatever the CRC of the first 403 bytes says: the size is
  // told, and settings text is told apart from other files.
  const SettingsImage image = BuildSettingsImage(Distinct());
  const std::string json = "{\n  \"ch1.Aprox\": 3\n}\n";
  const struct {
    const char* what;
    std::vector<std::uint8_t> bytes;
    FileOutcome outcome;
  } cases[] = {
      {"empty", {}, FileOutcome::NotSettings},
      {"one zero", {0}, FileOutcome::NotSettings},
      {"402 zeros", std::vector<std::uint8_t>(402, 0), FileOutcome::NotSettings},
      {"404 zeros", std::vector<std::uint8_t>(404, 0), FileOutcome::NotSettings},
      {"a good image with a byte more",
       [&] {
         std::vector<std::uint8_t> b(image.begin(), image.end());
         b.push_back(0x1A);
         return b;
       }(),
       FileOutcome::NotSettings},
      {"JSON", {json.begin(), json.end()}, FileOutcome::SettingsText},
      {"lines",
       {'c', 'h', '1', '.', 'A', 'p', 'r', 'o', 'x', ' ', '=', ' ', '3', '\n'},
       FileOutcome::SettingsText},
  };
  const TModuleSettings before = Junk();
  for (const auto& c : cases) {
    record = before;
    Put(dir_ / "odd.vxa", c.bytes);
    const FileResult opened = OpenSettingsFile(dir_ / "odd.vxa", record);
    EXPECT_EQ(opened.outcome, c.outcome) << c.what;
    EXPECT_EQ(opened.size, c.bytes.size()) << c.what;
    EXPECT_TRUE(Same(record, before)) << c.what;
  }
  FileResult result;
  result.outcome = FileOutcome::NotSettings;
  result.size = 404;
  EXPECT_EQ(FileResultText(result),
            "Это не файл настройки VEXA: файл настройки занимает ровно 403 байта (настройки модуля и их "
            "контрольная сумма), а размер этого файла в байтах — 404. Загрузка данных не выполнена.");
#ifndef _WIN32
  // An endless device is told as larger than what was read of it, without reading it all.
  const FileResult endless = OpenSettingsFile("/dev/zero", record);
  EXPECT_EQ(endless.outcome, FileOutcome::NotSettings);
  EXPECT_TRUE(endless.sizeAtLeast);
  EXPECT_NE(FileResultText(endless).find("— более 65536."), std::string::npos) << FileResultText(endless);
  EXPECT_TRUE(Same(record, before));
#endif
}

TEST_F(SettingsFileTest, UnopenablePathsLeaveTheRecordAlone) {
  TModuleSettings record = Junk();
  const TModuleSettings before = record;
  EXPECT_EQ(OpenSettingsFile(dir_ / "missing.vxa", record), FileOutcome::CannotOpen);
  fs::create_directory(dir_ / "folder.vxa");
  EXPECT_EQ(OpenSettingsFile(dir_ / "folder.vxa", record), FileOutcome::CannotOpen);
  EXPECT_TRUE(Same(record, before));
  EXPECT_EQ(FileOutcomeText(FileOutcome::CannotOpen), "Файл не удается открыть.");
}

TEST_F(SettingsFileTest, FailedSaveReportsCannotCreateAndKeepsTheOldFile) {
  const fs::path path = dir_ / "good.vxa";
  ASSERT_EQ(SaveSettingsFile(Distinct(), path), FileOutcome::Done);
  const auto original = Slurp(path);

  EXPECT_EQ(SaveSettingsFile(Distinct(), dir_ / "no_such_folder" / "x.vxa"), FileOutcome::CannotCreate);
  fs::create_directory(dir_ / "folder.vxa");
  EXPECT_EQ(SaveSettingsFile(Distinct(), dir_ / "folder.vxa"), FileOutcome::CannotCreate);
  EXPECT_TRUE(fs::is_directory(dir_ / "folder.vxa"));
  EXPECT_EQ(FileOutcomeText(FileOutcome::CannotCreate), "Файл не удается создать.");

#ifndef _WIN32
  // A write that fails half way (a file size limit works even for root): the old file survives whole.
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit small = saved;
  small.rlim_cur = 100;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  TModuleSettings other{};
  const FileOutcome outcome = SaveSettingsFile(other, path);
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, oldHandler);

  EXPECT_EQ(outcome, FileOutcome::CannotCreate);
  EXPECT_EQ(Slurp(path), original);
  EXPECT_EQ(EntriesInDir(), 2U) << "the partial temporary file must be removed";
#endif
}

TEST_F(SettingsFileTest, SaveThroughALinkKeepsTheLink) {
  const fs::path real = dir_ / "real.vxa";
  const fs::path link = dir_ / "link.vxa";
  ASSERT_EQ(SaveSettingsFile(TModuleSettings{}, real), FileOutcome::Done);
  std::error_code ec;
  fs::create_symlink(real.filename(), link, ec);
  if (ec) GTEST_SKIP() << "no symbolic links here: " << ec.message();  // Windows without the right
  ASSERT_EQ(SaveSettingsFile(Distinct(), link), FileOutcome::Done);
  EXPECT_TRUE(fs::is_symlink(link));
  TModuleSettings loaded{};
  ASSERT_EQ(OpenSettingsFile(real, loaded), FileOutcome::Done);
  EXPECT_TRUE(Same(loaded, Distinct()));
}

// A name beyond ASCII, as Qt's file dialog and vexa_cli's arguments give it in UTF-8, names the
// same file on disk (on Windows too, where the system takes names in UTF-16).
TEST_F(SettingsFileTest, AUtf8NameIsTheNameOnDisk) {
  const auto utf8 = [](const fs::path& p) {
    const std::u8string text = p.u8string();
    return std::string(text.begin(), text.end());
  };
  const std::string folder = utf8(dir_) + "/Иван";
  const std::string file = folder + "/Отчет №1.vxa";
  ASSERT_TRUE(fs::create_directory(PathFromUtf8(folder)));
  ASSERT_EQ(SaveSettingsFile(Distinct(), PathFromUtf8(file)), FileOutcome::Done);
  EXPECT_EQ(utf8(fs::directory_iterator(dir_)->path().filename()), "Иван");
  EXPECT_EQ(utf8(fs::directory_iterator(PathFromUtf8(folder))->path().filename()), "Отчет №1.vxa");
  TModuleSettings loaded{};
  ASSERT_EQ(OpenSettingsFile(PathFromUtf8(file), loaded), FileOutcome::Done);
  EXPECT_TRUE(Same(loaded, Distinct()));
}

TEST(FileNameRule, AppendsTheExtensionOnlyWhenItOccursNowhere) {
  EXPECT_EQ(WithExtension("plant1", ".vxa"), "plant1.vxa");
  EXPECT_EQ(WithExtension("plant1.VXA", ".vxa"), "plant1.VXA.vxa");
  EXPECT_EQ(WithExtension("old.vxa.bak", ".vxa"), "old.vxa.bak");
  EXPECT_EQ(WithExtension("plant1.bin", ".vxa"), "plant1.bin.vxa");
  EXPECT_EQ(WithExtension("/data/a.vxa/plant1", ".vxa"), "/data/a.vxa/plant1");
  EXPECT_EQ(WithExtension("/data/Отчет", ".txt"), "/data/Отчет.txt");
}

}  // namespace
