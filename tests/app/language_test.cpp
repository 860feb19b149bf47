// SPDX-License-Identifier: GPL-3.0-or-later
// The window's language: how it is chosen, and the English program with every window in English
// and nothing clipped.
#include <gtest/gtest.h>

#include <QDir>
#include <QGroupBox>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include "app/forms.h"
#include "app/journal_window.h"
#include "app/module_compare.h"
#include "app/vexa_main_v1.h"
#include "gui/message_box.h"
#include "link/module_commands.h"
#include "settings/chanel_rules.h"
#include "tests/dialogs/dialog_support.h"
#include "tests/support/clipping.h"
#include "tests/support/patience.h"
#include "translations/language.h"
#include "views/diagram.h"
#include "views/help_windows.h"
#include "views/line_monitor.h"

namespace {

TEST(Language, OptionThenRememberedThenSystem) {
  using L = UiLanguage;
  const QLocale russian(QLocale::Russian, QLocale::Russia),
      belarusRussian(QLocale::Russian, QLocale::Belarus), german(QLocale::German), english(QLocale::English);
  const struct {
    std::optional<L> option, remembered;
    QLocale system;
    L expected;
  } cases[] = {{std::nullopt, std::nullopt, russian, L::Russian},
               {std::nullopt, std::nullopt, belarusRussian, L::Russian},
               {std::nullopt, std::nullopt, german, L::English},
               {std::nullopt, L::Russian, english, L::Russian},
               {std::nullopt, L::English, russian, L::English},
               {L::Russian, L::English, english, L::Russian},
               {L::English, L::Russian, russian, L::English}};
  for (const auto& c : cases) EXPECT_EQ(ChooseLanguage(c.option, c.remembered, c.system), c.expected);
  EXPECT_EQ(LanguageFromCode("en"), L::English);
  EXPECT_EQ(LanguageFromCode("ru"), L::Russian);
  EXPECT_EQ(LanguageFromCode("EN"), std::nullopt);
  EXPECT_EQ(LanguageFromCode(""), std::nullopt);
}

const QRegularExpression& Cyrillic() {
  static const QRegularExpression cyrillic("[\\x{0400}-\\x{04FF}]");
  return cyrillic;
}

// No Cyrillic letter left in what a window shows.
void ExpectEnglish(QWidget* window) {
  const auto check = [](const QString& text, const QString& where) {
    EXPECT_FALSE(text.contains(Cyrillic())) << where.toStdString() << ": " << text.toStdString();
  };
  check(window->windowTitle(), window->objectName());
  for (QWidget* w : window->findChildren<QWidget*>()) {
    if (auto* label = qobject_cast<QLabel*>(w)) check(label->text(), w->objectName());
    if (auto* button = qobject_cast<QAbstractButton*>(w)) check(button->text(), w->objectName());
    if (auto* group = qobject_cast<QGroupBox*>(w)) check(group->title(), w->objectName());
    if (auto* list = qobject_cast<QComboBox*>(w))
      for (int i = 0; i < list->count(); ++i) check(list->itemText(i), w->objectName());
    check(w->toolTip(), w->objectName());
  }
  // The language menu names itself and Russian in both languages.
  for (QAction* action : window->findChildren<QAction*>())
    if (action->objectName() != "MenuView_Language_ru" && action->text() != "Язык / Language")
      check(action->text(), action->objectName());
  for (QMenu* menu : window->findChildren<QMenu*>())
    if (menu->objectName() != "MenuView_Language") check(menu->title(), menu->objectName());
}

// The forms in a language, put back as they were whatever the test's outcome.
class LanguageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The remembered choice away from the user's own, and from the other tests' processes that
    // run beside this one; on Windows the registry is put back as it was.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir_.path());
    before_ = RememberedLanguage();
    SetMessageBoxService(&boxes);
  }
  void TearDown() override {
    DestroyForms();
    RemoveLanguage();
    if (before_)
      RememberLanguage(*before_);
    else
      ForgetLanguage();
    SetMessageBoxService(nullptr);
  }
  ScriptedMessageBoxes boxes;

 private:
  QTemporaryDir settingsDir_;
  std::optional<UiLanguage> before_;
};

// Russian installed is the program as it was, with Qt's own texts in Russian too.
TEST_F(LanguageTest, TheRussianProgram) {
  ASSERT_TRUE(InstallLanguage(UiLanguage::Russian));
  CreateForms();
  EXPECT_EQ(FormMain->windowTitle(), "Настройка модуля VEXA");
  EXPECT_EQ(FormMain->MenuExec_Block->text(), "Блокировка выходов");
  FormMain->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(FormMain));
  testing_support::ExpectNothingClipped({FormMain});
  testing_support::ExpectNoLabelsOverlap(FormMain);
  EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), "Отмена");
  MessageBoxes().Show(std::string(kPointTimeMessage) + kAdcMinMessage, kAttentionCaption, BoxButtons::Ok);
  EXPECT_EQ(boxes.shown.back().text, std::string(kPointTimeMessage) + kAdcMinMessage);
  EXPECT_EQ(boxes.shown.back().caption, "Внимание!");
}

TEST_F(LanguageTest, TheEnglishProgram) {
  ASSERT_TRUE(InstallLanguage(UiLanguage::English));
  CreateForms();
  FormMain->show();
  EXPECT_EQ(FormMain->windowTitle(), "VEXA Module Setup");
  EXPECT_EQ(FormMain->MenuConn_Connect->text(), "Connect");
  FormMain->MenuView_LedOut->trigger();
  FormMain->MenuView_Diagram->trigger();
  std::vector<QWidget*> windows = {FormMain,      FormSetChanel,          Form_Calc, FormInterf, FormLogic,
                                   Form_Led_tenu, FormMain->LineMonitor()};
  windows.push_back(FormMain->Diagram());
  for (QWidget* window : windows) {
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window)) << window->objectName().toStdString();
    ExpectEnglish(window);
  }
  testing_support::ExpectNothingClipped(
      {FormMain, FormSetChanel, Form_Calc, FormInterf, FormLogic, Form_Led_tenu, FormMain->LineMonitor()});
  testing_support::ExpectNoLabelsOverlap(FormMain);

  // The messages of the layers below, in the boxes as the engineer meets them: a joined message of
  // the channel dialog's checks.
  dialogs_test::Type(FormSetChanel->findChild<QWidget*>("MaskEdit_AdcMin"), "<all>950");
  dialogs_test::Type(FormSetChanel->findChild<QWidget*>("MaskEdit_AdcMax"), "<all>1500");
  QTest::mouseClick(FormSetChanel->Button1, Qt::LeftButton);
  ASSERT_EQ(boxes.shown.size(), 1U);
  EXPECT_NE(boxes.shown[0].text.find("\n\rInvalid maximum ADC level"), std::string::npos)
      << boxes.shown[0].text;
  EXPECT_FALSE(QString::fromStdString(boxes.shown[0].text + boxes.shown[0].caption).contains(Cyrillic()))
      << boxes.shown[0].text;
  boxes.shown.clear();

  // The menu's choice is kept for the next start; this run stays English.
  FormMain->findChild<QAction*>("MenuView_Language_ru")->trigger();
  ASSERT_EQ(boxes.shown.size(), 1U);
  EXPECT_EQ(boxes.shown[0].text, "The language will change the next time the program starts.");
  EXPECT_EQ(RememberedLanguage(), UiLanguage::Russian);
  EXPECT_EQ(FormMain->MenuConn_Connect->text(), "Connect");
  FormMain->MenuHelp_About->trigger();
  EXPECT_EQ(boxes.shown.back().caption, "About VEXA Module Setup");
  EXPECT_EQ(boxes.shown.back().text.rfind("VEXA Module Setup (vexa_setup), version", 0), 0U);
  EXPECT_EQ(FormMain->MenuExec_Block->text(), "Block outputs") << "the command, not the state";
  // The guide in its English edition, pictures included.
  FormMain->MenuHelp_Manual->trigger();
  ASSERT_NE(FormMain->Guide(), nullptr);
  EXPECT_TRUE(FormMain->Guide()->toPlainText().contains("How the program names the ports"));
  EXPECT_TRUE(FormMain->Guide()->toHtml().contains("images/en/main_window.png"));
}

// A choice the settings file cannot take is not announced for the next start; one it takes is.
TEST_F(LanguageTest, AChoiceThatCannotBeKeptSaysSo) {
#ifdef _WIN32
  GTEST_SKIP() << "the choice lives in the registry, where no folder can stand in its way";
#endif
  CreateForms();
  const QString file = QSettings("vexa-setup", "vexa_setup").fileName();
  ASSERT_TRUE(QDir().mkpath(file));  // even root cannot write a file where a folder is
  FormMain->findChild<QAction*>("MenuView_Language_en")->trigger();
  ASSERT_EQ(boxes.shown.size(), 1U);
  EXPECT_EQ(boxes.shown[0].text, "Выбор языка не сохранен: не удалось записать " + file.toStdString() + ".");
  EXPECT_EQ(boxes.shown[0].caption, "Внимание!");
  EXPECT_EQ(RememberedLanguage(), std::nullopt);

  // A line the settings cannot read is an error of its own, but the choice is written and kept.
  ASSERT_TRUE(QDir(file).removeRecursively());
  QFile malformed(file);
  ASSERT_TRUE(malformed.open(QIODevice::WriteOnly));
  malformed.write("[General]\nnot a setting\n");
  malformed.close();
  FormMain->findChild<QAction*>("MenuView_Language_en")->trigger();
  ASSERT_EQ(boxes.shown.size(), 2U);
  EXPECT_EQ(boxes.shown[1].text, "Язык сменится при следующем запуске программы.");
  EXPECT_EQ(RememberedLanguage(), UiLanguage::English);
}

// The English guide's pictures, from the program connected to its simulator with the simulator's
// settings read; and what the English program reads there is English.
TEST_F(LanguageTest, EnglishScreenshots) {
  ASSERT_TRUE(InstallLanguage(UiLanguage::English));
  CreateForms();
  QTemporaryDir journalDir;
  FormMain->SetJournalPath(journalDir.filePath("journal.jsonl").toStdString());
  FormMain->show();
  FormMain->SimulatorChoice()->trigger();
  FormMain->MenuConn_Connect->trigger();
  ASSERT_TRUE(
      QTest::qWaitFor([] { return FormMain->MenuConn_Discon->isEnabled(); }, testing_support::kPatienceMs));
  FormMain->MenuExec_ReadParam->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes.shown.empty(); }, testing_support::kPatienceMs));
  EXPECT_EQ(boxes.shown.back().text, "The settings have been read from the module.");
  EXPECT_EQ(boxes.shown.back().caption, "Message");
  FormMain->MenuView_LedOut->trigger();
  QTest::qWait(1500);  // the counters and a few exchanges
  const std::pair<QWidget*, const char*> shots[] = {{FormMain, "main_window"},
                                                    {FormSetChanel, "chanel_dialog"},
                                                    {Form_Calc, "calc_dialog"},
                                                    {FormInterf, "interface_dialog"},
                                                    {FormLogic, "logic_dialog"},
                                                    {Form_Led_tenu, "led_dialog"},
                                                    {FormMain->LineMonitor(), "line_monitor"}};
  for (const auto& [window, name] : shots) {
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    EXPECT_TRUE(window->grab().save(QString(VEXA_SHOT_DIR) + "/en_" + name + ".png")) << name;
  }
  // The comparison of an edited value and the journal it leaves, in English throughout: the
  // dialogs' words, the values, the list's columns.
  ModuleSettings.ChanSet[0].Point0 = 12.5F;
  ModuleSettings.SysSet.CAN_Time = 7;
  FormMain->MenuExec_Compare->trigger();
  ASSERT_TRUE(
      QTest::qWaitFor([] { return FormMain->Compare() != nullptr && FormMain->Compare()->isVisible(); },
                      testing_support::kPatienceMs));
  // A write, so that the journal's picture shows one with what it changed.
  FormMain->MenuExec_Block->trigger();
  ASSERT_TRUE(
      QTest::qWaitFor([] { return FormMain->MenuExec_Block->isChecked(); }, testing_support::kPatienceMs));
  boxes.answers = {BoxAnswer::Yes};
  FormMain->MenuExec_WriteParam->trigger();
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return boxes.shown.back().text == "The settings have been written to the module."; },
      testing_support::kPatienceMs));
  FormMain->MenuView_Journal->trigger();
  FormMain->JournalWindow()->Table_Records->selectRow(0);
  for (const auto& [window, name] : std::initializer_list<std::pair<QWidget*, const char*>>{
           {FormMain->Compare(), "compare"}, {FormMain->JournalWindow(), "journal"}}) {
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    ExpectEnglish(window);
    EXPECT_TRUE(window->grab().save(QString(VEXA_SHOT_DIR) + "/en_" + name + ".png")) << name;
  }
  EXPECT_EQ(FormMain->Compare()->Table_Differences->item(0, 0)->text(),
            QString("Channel 1 · General · Set-point 1"));
  EXPECT_EQ(FormMain->JournalWindow()->Model().Text(1, JournalModel::kAction), "compare");
  EXPECT_TRUE(FormMain->JournalWindow()->Memo_Details->toPlainText().contains(
      "VEXA module interfaces · CAN2.0B interface · Data sending period, s: 1.0 → 4.0"))
      << FormMain->JournalWindow()->Memo_Details->toPlainText().toStdString();
  FormMain->MenuConn_Discon->trigger();
  ASSERT_TRUE(
      QTest::qWaitFor([] { return FormMain->MenuConn_Connect->isEnabled(); }, testing_support::kPatienceMs));
}

}  // namespace
