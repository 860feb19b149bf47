// SPDX-License-Identifier: GPL-3.0-or-later
// The window's comparison with the module and its journal, against the built-in simulator.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTableView>
#include <QTableWidget>
#include <QTest>

#include <bit>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "app/field_words.h"
#include "app/forms.h"
#include "app/journal_window.h"
#include "app/module_compare.h"
#include "app/remembered_port.h"
#include "app/vexa_main_v1.h"
#include "gui/file_dialog.h"
#include "gui/message_box.h"
#include "journal/journal.h"
#include "settings/settings_file.h"
#include "sim/pty_simulator.h"
#include "tests/cli/process.h"
#include "tests/support/patience.h"
#include "translations/language.h"

namespace {

namespace fs = std::filesystem;

class CompareJournalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("vexa_compare_" + std::to_string(QCoreApplication::applicationPid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    TSioCustomComm::SetClosePause(0);
    SetMessageBoxService(&boxes_);
    SetFileDialogService(&dialogs_);
    RememberPort("");
    CreateForms();
    w = FormMain;
    w->SetJournalPath(dir_ / "journal.jsonl");
    w->show();
  }
  void TearDown() override {
    DestroyForms();
    SetFileDialogService(nullptr);
    SetMessageBoxService(nullptr);
    TSioCustomComm::SetClosePause(300);
    fs::remove_all(dir_);
  }
  bool Idle() const { return !w->Engine().Wait_reply && w->Engine().Request_code == 0; }
  std::string Last() const { return boxes_.shown.empty() ? std::string() : boxes_.shown.back().text; }
  QString P(const char* name) const { return QString::fromStdString((dir_ / name).string()); }
  void Connect() {
    w->SimulatorChoice()->trigger();
    w->MenuConn_Connect->trigger();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return w->MenuExec->isEnabled() && w->MaskEdit_Number->text() == "1234"; },
                        testing_support::kPatienceMs));
    ASSERT_TRUE(QTest::qWaitFor([&] { return w->Label_Version->text() == "01.23" && Idle(); },
                                testing_support::kPatienceMs));
  }
  // Waits for the comparison's outcome: its window, or a box.
  bool Compared(std::size_t boxesBefore) {
    return QTest::qWaitFor(
        [&] {
          return (w->Compare() != nullptr && w->Compare()->isVisible()) || boxes_.shown.size() > boxesBefore;
        },
        testing_support::kPatienceMs);
  }
  static std::set<std::string> Fields(const std::vector<ComparisonRow>& rows) {
    std::set<std::string> names;
    for (const ComparisonRow& r : rows) names.insert(r.difference.field);
    return names;
  }

  fs::path dir_;
  ScriptedMessageBoxes boxes_;
  ScriptedFileDialogs dialogs_;
  TFormMain* w = nullptr;
};

TEST_F(CompareJournalTest, TheWindowComparesAsVerifyDoesAndKeepsTheJournal) {
  Connect();
  // A file of the module's settings with three fields changed, and one below what the dialogs show.
  w->MenuExec_ReadParam->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Last() == "Параметры работы из модуля прочитаны."; },
                              testing_support::kPatienceMs));
  TModuleSettings file = ModuleSettings;
  file.ChanSet[0].Point0 = 12.5F;
  file.ChanSet[1].AdcMax = 900;
  file.SysSet.CAN_Time = 7;
  // A bit the module keeps (byte 1) but "%f" does not show: 0 against 3.6e-43.
  ASSERT_EQ(std::bit_cast<std::uint32_t>(+ModuleSettings.ChanSet[0].ParamCoff_A), 0U);
  file.ChanSet[0].ParamCoff_A = std::bit_cast<float>(0x100U);
  ASSERT_EQ(SaveSettingsFile(file, (dir_ / "plant.vxa")).outcome, FileOutcome::Done);
  dialogs_.names = {P("plant.vxa")};
  w->MenuFile_Open->trigger();
  ASSERT_EQ(w->SettingsSource(), P("plant.vxa"));

  std::size_t before = boxes_.shown.size();
  w->MenuExec_Compare->trigger();
  ASSERT_TRUE(Compared(before)) << Last();
  ASSERT_NE(w->Compare(), nullptr);
  const auto& rows = w->Compare()->Rows();
  const std::set<std::string> expected = {"ch1.Point0", "ch2.AdcMax", "sys.CAN_Time"};
  EXPECT_EQ(Fields(rows), expected);
  // In the dialogs' words and with their values, each from the file.
  ASSERT_EQ(rows.size(), 3U);
  EXPECT_EQ(rows[0].difference.words.Where(), "Канал 1 · Общие настройки · Уставка 1");
  EXPECT_EQ(rows[0].difference.words.dialog, "Настройка каналов измерения VEXA");
  EXPECT_EQ(rows[0].difference.a, "12.500000");
  EXPECT_EQ(rows[2].difference.words.Where(), "Интерфейс CAN2.0B · Период отправки данных, с");
  EXPECT_EQ(rows[2].difference.a, "4.0");
  EXPECT_EQ(rows[0].source, P("plant.vxa"));
  EXPECT_EQ(w->Compare()->Table_Differences->rowCount(), 3);
  EXPECT_EQ(w->Compare()->Table_Differences->item(1, 0)->data(Qt::UserRole).toString(), "ch2.AdcMax");

  // vexa_cli's verify of the same file against a module alike names the same fields.
  const cli_test::Result verify =
      cli_test::Run(VEXA_CLI, {"verify", "--port", "sim", (dir_ / "plant.vxa").string()});
  ASSERT_EQ(verify.code, 1) << verify.err;
  std::set<std::string> verified;
  std::istringstream lines(verify.out);
  for (std::string line; std::getline(lines, line);)
    if (line.rfind("  ", 0) == 0) verified.insert(line.substr(2, line.find(':') - 2));
  EXPECT_EQ(verified, expected);

  // Saved as text for the commissioning record.
  dialogs_.names = {P("comparison")};
  QTest::mouseClick(w->Compare()->Button_Save, Qt::LeftButton);
  QFile saved(P("comparison.txt"));
  ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
  const QString text = QString::fromUtf8(saved.readAll());
  EXPECT_TRUE(text.contains("Различий: 3")) << text.toStdString();
  EXPECT_TRUE(text.contains("Поле: Канал 2 · Тест датчика · Макс. уровень АЦП\nВ окне: 900\nОткуда: " +
                            P("plant.vxa") + "\nВ модуле: 1000\nДиалог: Настройка каналов измерения VEXA\n"))
      << text.toStdString();
  QTest::qWait(200);
  EXPECT_TRUE(w->Compare()->grab().save(QString(VEXA_SHOT_DIR) + "/compare.png"));

  // The module's values taken, after the question: the window now holds what the module does.
  boxes_.answers = {BoxAnswer::No};
  QTest::mouseClick(w->Compare()->Button_Take, Qt::LeftButton);
  EXPECT_EQ(Last(), kTakeQuestion);
  EXPECT_EQ(+ModuleSettings.ChanSet[1].AdcMax, 900) << "not without a yes";
  boxes_.answers = {BoxAnswer::Yes};
  QTest::mouseClick(w->Compare()->Button_Take, Qt::LeftButton);
  EXPECT_EQ(+ModuleSettings.ChanSet[1].AdcMax, 1000);
  EXPECT_EQ(w->SettingsSource(), "модуль 1234");
  before = boxes_.shown.size();
  w->MenuExec_Compare->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return boxes_.shown.size() > before; }, testing_support::kPatienceMs));
  EXPECT_EQ(Last(), "Настройки окна совпадают с настройками модуля 1234.");
  EXPECT_EQ(boxes_.shown.back().caption, "Сообщение");

  // A write and what it changed, then the journal's list.
  ASSERT_TRUE(QTest::qWaitFor([&] { return Idle(); }, testing_support::kPatienceMs));
  w->MenuExec_Block->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return w->MenuExec_Block->isChecked(); }, testing_support::kPatienceMs));
  ModuleSettings.ChanSet[3].OutZero = 321;
  boxes_.answers = {BoxAnswer::Yes};
  w->MenuExec_WriteParam->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Last() == "Параметры работы в модуль загружены."; },
                              testing_support::kPatienceMs));
  w->MenuView_Journal->trigger();
  TFormJournal* journal = w->JournalWindow();
  ASSERT_NE(journal, nullptr);
  const JournalModel& model = journal->Model();
  std::vector<std::string> actions;
  for (int row = 0; row < model.rowCount(); ++row)
    actions.push_back(model.Records()[model.RecordOf(row)].action);
  EXPECT_EQ(actions, (std::vector<std::string>{"write", "block", "compare", "compare", "read"}));
  EXPECT_EQ(model.Text(model.RecordOf(2), JournalModel::kResult), "выполнено, совпадает");
  EXPECT_EQ(model.Text(model.RecordOf(3), JournalModel::kResult), "выполнено, различий: 3");
  EXPECT_EQ(model.Records()[model.RecordOf(3)].file, P("plant.vxa").toStdString());
  EXPECT_EQ(model.Text(model.RecordOf(0), JournalModel::kModule), "1234");
  EXPECT_EQ(model.Text(model.RecordOf(0), JournalModel::kFirmware), "01.23");
  journal->Table_Records->selectRow(0);
  EXPECT_TRUE(journal->Memo_Details->toPlainText().contains(
      "Настройка каналов измерения VEXA · Канал 4 · Аналоговый выход · Смещение нуля: 0 → 321"))
      << journal->Memo_Details->toPlainText().toStdString();
  // Filters: by a module it has not seen, then back.
  QTest::keyClicks(journal->Edit_Module, "77");
  EXPECT_EQ(model.rowCount(), 0);
  journal->Edit_Module->clear();
  EXPECT_EQ(model.rowCount(), 5);
  journal->Table_Records->selectRow(0);  // the write, for the picture
  dialogs_.names = {P("journal")};
  QTest::mouseClick(journal->Button_SaveCsv, Qt::LeftButton);
  QFile csv(P("journal.csv"));
  ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
  const QStringList csvLines = QString::fromUtf8(csv.readAll()).split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(csvLines.size(), 6);
  EXPECT_TRUE(csvLines[0].startsWith("Время,Действие,Модуль,")) << csvLines[0].toStdString();
  EXPECT_TRUE(csvLines[1].contains(",загрузка настроек,1234,26,01.23,выполнено,"))
      << csvLines[1].toStdString();
  journal->resize(1000, 420);
  QTest::qWait(200);
  EXPECT_TRUE(journal->grab().save(QString(VEXA_SHOT_DIR) + "/journal.png"));
}

// The ways an action or a comparison ends short, each kept with its reason; a journal that cannot
// be written stops nothing and is said once, for the whole run.
TEST_F(CompareJournalTest, FailuresAreKeptAndAJournalThatCannotBeWrittenStopsNothing) {
  Connect();
  sim::Faults faults;
  faults.refuseReadAt = 0x0030;  // channel 2's block
  w->Simulator()->SetFaults(faults);
  w->MenuExec_Compare->trigger();
  EXPECT_FALSE(w->MenuExec_ReadParam->isEnabled()) << "one read of the settings at a time";
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return w->MenuExec_Compare->isEnabled(); }, testing_support::kPatienceMs));
  ASSERT_TRUE(QTest::qWaitFor([&] { return Idle(); }, testing_support::kPatienceMs));
  w->MenuExec_ReadParam->trigger();
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return Idle() && w->Engine().Done_message == 0; }, testing_support::kPatienceMs));
  QTest::qWait(100);
  const journal::Contents kept = journal::Read(journal::Journal(dir_ / "journal.jsonl"));
  ASSERT_EQ(kept.records.size(), 2U);
  EXPECT_EQ(kept.records[0].action + ": " + kept.records[0].result, "compare: настройки модуля не прочитаны");
  EXPECT_EQ(kept.records[1].action + ": " + kept.records[1].result, "read: отказ модуля");
  EXPECT_TRUE(boxes_.shown.empty()) << Last();
  w->Simulator()->SetFaults({});

  // A journal in a folder that cannot be: the write completes and is reported; one warning stays.
  const fs::path blocked = dir_ / "a file";
  { std::ofstream(blocked) << "not a folder"; }
  w->SetJournalPath(blocked / "journal.jsonl");
  auto* warning = w->findChild<QLabel*>("Label_JournalWarning");
  ASSERT_NE(warning, nullptr);
  EXPECT_TRUE(warning->isHidden());
  w->MenuExec_Block->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return w->MenuExec_Block->isChecked(); }, testing_support::kPatienceMs));
  EXPECT_FALSE(warning->isHidden());
  const QString said = warning->text();
  EXPECT_TRUE(said.startsWith("Журнал работ не ведется: ")) << said.toStdString();
  boxes_.answers = {BoxAnswer::Yes};
  w->MenuExec_WriteParam->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Last() == "Параметры работы в модуль загружены."; },
                              testing_support::kPatienceMs));
  EXPECT_EQ(warning->text(), said);
  EXPECT_FALSE(warning->isHidden());
}

// A field edited since the file was loaded is told apart from one that came from it.
TEST(ComparisonRowsTest, AnEditedFieldIsSaidToBeEdited) {
  Comparison c;
  c.kept.ChanSet[0].AdcMin = 5;
  c.window = c.kept;
  c.window.ChanSet[0].AdcMax = 600;  // edited
  c.module.ChanSet[0].AdcMin = 7;    // the file's value differs from the module's
  c.source = "plant.vxa";
  const std::vector<ComparisonRow> rows = ComparisonRows(c);
  ASSERT_EQ(rows.size(), 2U);
  EXPECT_EQ(rows[0].difference.field + " " + rows[0].source.toStdString(), "ch1.AdcMin plant.vxa");
  EXPECT_EQ(rows[1].difference.field + " " + rows[1].source.toStdString(), "ch1.AdcMax изменено");
}

}  // namespace
