// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QApplication>
#include <QDate>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QSettings>
#include <QTest>
#include <QTimer>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>

#include <QComboBox>
#include <QLineEdit>
#include <QScrollBar>
#include <QTableView>
#include <QTextBlock>
#include <QToolButton>
#include "app/forms.h"
#include "app/other_port.h"
#include "app/remembered_port.h"
#include "app/vexa_main_v1.h"
#include "comm/Siodisplay.h"
#include "dialogs/vexa_chanel_setup.h"
#include "dialogs/vexa_interface.h"
#include "gui/file_dialog.h"
#include "gui/message_box.h"
#include "guicall/gui_call_queue.h"
#ifndef _WIN32
#include "platform/serial.h"
#endif
#include "settings/c_format.h"
#include "settings/settings_codec.h"
#include "settings/settings_file.h"
#include "sim/in_process_line.h"
#include "sim/pty_simulator.h"
#include "tests/support/offscreen_fonts.h"
#include "tests/support/patience.h"
#include "vexa_version.h"
#include "views/diagram.h"
#include "views/help_windows.h"
#include "views/line_monitor.h"

namespace {

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TSioCustomComm::SetClosePause(0);
    SetMessageBoxService(&boxes_);
    RememberPort("");  // each test starts as at the first start, whatever an earlier one chose
    CreateForms();
    FormMain->show();
    w = FormMain;
  }
  void TearDown() override {
    DestroyForms();
    SetMessageBoxService(nullptr);
    TSioCustomComm::SetClosePause(300);
  }
  bool Connected() const { return w->MenuConn_Discon->isEnabled() && w->MenuExec->isEnabled(); }
  bool Closed() const {
    return w->MenuConn_Connect->isEnabled() && !w->MenuConn_Discon->isEnabled() &&
           w->MenuConn_COM1->isEnabled() && !w->MenuExec->isEnabled();
  }
  std::vector<std::string> Texts() const {
    std::vector<std::string> t;
    for (const auto& b : boxes_.shown) t.push_back(b.text);
    return t;
  }

  // The built-in simulator's module and its log, on a pseudo-terminal or in-process.
  sim::ModuleMemory SimWorking() {
    return w->Simulator() != nullptr ? w->Simulator()->Working() : w->SimulatorLine()->Working();
  }
  std::vector<sim::LogEntry> SimLog() {
    return w->Simulator() != nullptr ? w->Simulator()->Log() : w->SimulatorLine()->Log();
  }
  static std::string Pid() { return std::to_string(QCoreApplication::applicationPid()); }

  ScriptedMessageBoxes boxes_;
  TFormMain* w = nullptr;
};

TEST_F(MainWindowTest, StartUpState) {
  EXPECT_EQ(w->windowTitle(), "Настройка модуля VEXA");
  EXPECT_EQ(w->centralWidget()->size(), QSize(661, 281));
  EXPECT_TRUE(Closed());
  EXPECT_TRUE(w->Menu_sel_COM[0]->isChecked());
  for (int i = 1; i < 4; ++i) EXPECT_FALSE(w->Menu_sel_COM[i]->isChecked());
  EXPECT_TRUE(w->MenuView->isEnabled() && w->MenuHelp->isEnabled()) << "the service windows";
  EXPECT_TRUE(w->MenuView_Diagram->isEnabled());
  EXPECT_TRUE(w->MenuExec_WriteParam->isEnabled()) << "enabled in the initial state";
  EXPECT_EQ(w->Label_Version->text(), "--.--");
  EXPECT_EQ(w->findChild<QLineEdit*>("Edit_val_3")->text(), "0");
  EXPECT_EQ(w->findChild<TShape*>("Shape_ch_p4_4")->Color(), 0xC0C0C0U);
  EXPECT_EQ(w->findChild<TShape*>("Shape_sys_off")->Color(), 0xC0C0C0U);
  EXPECT_EQ(FormSetChanel->windowTitle(), "Настройка каналов измерения VEXA");
  EXPECT_FALSE(FormSetChanel->isVisible());
  w->MenuSetup_ChanelClick();
  EXPECT_TRUE(FormSetChanel->isVisible());
}

TEST_F(MainWindowTest, UnopenablePortShowsTheErrorAndReturnsToClosed) {
  w->Menu_sel_COM[2]->trigger();
  EXPECT_TRUE(w->Menu_sel_COM[2]->isChecked() && !w->Menu_sel_COM[0]->isChecked());
  w->MenuConn_Connect->trigger();
  EXPECT_EQ(w->SioComm1().DeviceName(), "COM3");
  ASSERT_EQ(boxes_.shown.size(), 1U);
  EXPECT_NE(boxes_.shown[0].text.find("COM3"), std::string::npos) << boxes_.shown[0].text;
  EXPECT_FALSE(w->MenuConn_Connect->isEnabled());
  QTest::qWait(1000);  // half of Timer_TimeOut's two seconds
  EXPECT_FALSE(w->MenuConn_Connect->isEnabled()) << "still waiting for Timer_TimeOut";
  EXPECT_TRUE(QTest::qWaitFor([&] { return Closed(); }, testing_support::kPatienceMs));
}

TEST_F(MainWindowTest, ConnectedToTheSimulator) {
  w->SimulatorChoice()->trigger();
  w->MenuConn_Connect->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Connected(); }, testing_support::kPatienceMs))
      << ::testing::PrintToString(Texts());
  EXPECT_TRUE(
      QTest::qWaitFor([&] { return w->MaskEdit_Number->text() == "1234"; }, testing_support::kPatienceMs));
  EXPECT_EQ(w->MaskEdit_Year->text(), "26");
  ASSERT_TRUE(QTest::qWaitFor([&] { return w->Edit_val[3]->text() != "0"; }, testing_support::kPatienceMs))
      << ::testing::PrintToString(Texts());
  EXPECT_EQ(w->Edit_val[0]->text().size(), 7);
  EXPECT_EQ(w->Edit_curr[0]->text().size(), 5);
  EXPECT_EQ(w->Label_Version->text(), "01.23");
  EXPECT_EQ(w->Shape_sys[3]->Color(), 0x00FFFFU) << "start blocking after the simulator's power-up";
  // The exchange lamp: green from a status request until its answer is dispatched, then silver.
  EXPECT_TRUE(QTest::qWaitFor([&] { return w->Shape_LedUpdate->Color() == 0x00FF00U; },
                              testing_support::kPatienceMs));
  EXPECT_TRUE(QTest::qWaitFor([&] { return w->Shape_LedUpdate->Color() == 0xC0C0C0U; },
                              testing_support::kPatienceMs));
  QTest::qWait(300);
  EXPECT_TRUE(w->grab().save(QString(VEXA_SHOT_DIR) + "/main_window.png"));
  // The diagram's history: a sample a status cycle, its last one what the window and the diagram
  // show.
  w->MenuView_Diagram->trigger();
  ASSERT_TRUE(w->Diagram() != nullptr && w->Diagram()->isVisible());
  const std::size_t cycles = w->History().Samples().size();
  // Checked as soon as a cycle's last block is in: the next cycle comes half a second later.
  ASSERT_TRUE(QTest::qWaitFor([&] { return w->History().Samples().size() >= cycles + 3; },
                              testing_support::kPatienceMs));
  const LiveValues& last = w->History().Samples().back().values;
  for (int ch = 0; ch < 4; ++ch) {
    EXPECT_EQ(w->Edit_val[ch]->text().toStdString(), CFormat("%7.3f", double{last[4 * ch + kLiveValue]}))
        << ch;
    EXPECT_EQ(w->Edit_curr[ch]->text().toStdString(), CFormat("%5.2f", double{last[4 * ch + kLiveCurrent]}));
    EXPECT_EQ(w->Edit_adc[ch]->text().toInt(), static_cast<int>(last[4 * ch + kLiveAdc]));
    EXPECT_EQ(w->Edit_dac[ch]->text().toInt(), static_cast<int>(last[4 * ch + kLiveDac]));
    const QList<QList<QPointF>> lines = w->Diagram()->ShownLines(ch);
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines.back().back().x(), static_cast<double>(w->History().Samples().back().ms));
    EXPECT_EQ(lines.back().back().y(), double{last[4 * ch + kLiveValue]}) << ch;
  }

  // Output blocking twice: the check mark moves only with the module's next status answer, and the
  // write permission follows it.
  w->MenuExec_Block->trigger();
  EXPECT_FALSE(w->MenuExec_Block->isChecked()) << "not before the module says so";
  ASSERT_TRUE(QTest::qWaitFor([&] { return w->MenuExec_Block->isChecked(); }, testing_support::kPatienceMs));
  EXPECT_TRUE(w->MenuExec_WriteParam->isEnabled());
  EXPECT_TRUE(FormSetChanel->PwmEnabled());
  w->MenuExec_Block->trigger();
  EXPECT_TRUE(w->MenuExec_Block->isChecked());
  ASSERT_TRUE(QTest::qWaitFor([&] { return !w->MenuExec_Block->isChecked(); }, testing_support::kPatienceMs));
  EXPECT_FALSE(w->MenuExec_WriteParam->isEnabled());

  // Reset, confirmed: the reset frame reaches the module.
  boxes_.answers = {BoxAnswer::Yes};
  w->MenuExec_Reset->trigger();
  const std::vector<std::uint8_t> reset = {0x42, 0x28, 0xFF, 0xE0, 0x01, 0xF2, 0x00};
  EXPECT_TRUE(QTest::qWaitFor(
      [&] {
        for (const sim::LogEntry& e : SimLog())
          if (e.request && e.bytes == reset) return true;
        return false;
      },
      testing_support::kPatienceMs));

  // Settings read and write through the menu, with their completion boxes (once the reset's status
  // cycle is over: one request slot, and the reset's answer fills it).
  ASSERT_TRUE(QTest::qWaitFor([&] { return !w->Engine().Wait_reply && w->Engine().Request_code == 0; },
                              testing_support::kPatienceMs));
  w->MenuExec_ReadParam->trigger();
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return boxes_.shown.back().text == "Параметры работы из модуля прочитаны."; },
                      testing_support::kPatienceMs))
      << ::testing::PrintToString(Texts());
  EXPECT_EQ(+ModuleSettings.SysSet.Number, 1234);
  ModuleSettings.ChanSet[1].OutZero = 321;
  w->MenuExec_Block->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return w->MenuExec_Block->isChecked(); }, testing_support::kPatienceMs));
  boxes_.answers = {BoxAnswer::Yes};
  w->MenuExec_WriteParam->trigger();
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return boxes_.shown.back().text == "Параметры работы в модуль загружены."; },
                      testing_support::kPatienceMs));
  const sim::ModuleMemory memory = SimWorking();
  std::array<std::uint8_t, kChanFrameSize> frame{};
  Build_chan_frame(ModuleSettings.ChanSet[1], 1, frame);
  EXPECT_EQ(std::memcmp(memory.chan[1].data(), frame.data() + 5, kChanPayloadSize), 0);

  // Disconnect: Closed, and writing stays disabled.
  w->MenuConn_Discon->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Closed(); }, testing_support::kPatienceMs));
  EXPECT_FALSE(w->MenuExec_WriteParam->isEnabled());
  EXPECT_FALSE(w->MenuExec_SaveEEPROM->isEnabled());
  EXPECT_EQ(w->Shape_LedUpdate->Color(), 0xC0C0C0U);
}

// The port of the last connection is chosen at the next start while it is there; otherwise COM 1.
TEST_F(MainWindowTest, ThePortOfTheLastConnectionIsChosenAtTheNextStart) {
  // A device file that stays while the window restarts; Windows has none to make (no pseudo-terminals).
  std::unique_ptr<sim::PtySimulator> adapter;
  if (sim::PtySimulator::Available()) adapter = std::make_unique<sim::PtySimulator>();
  w->SimulatorChoice()->trigger();
  w->MenuConn_Connect->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Connected(); }, testing_support::kPatienceMs));
  const auto restart = [&] {
    DestroyForms();
    CreateForms();
    w = FormMain;
  };
  restart();
  EXPECT_TRUE(w->SimulatorChoice()->isChecked());
  struct Case {
    QString remembered;
    QString checked;  // the checked item's text
  };
  std::vector<Case> cases = {{"COM3", "COM 3"}, {"/dev/vexa-gone", "COM 1"}, {"", "COM 1"}};
  if (adapter) {
    const QString device = QString::fromStdString(adapter->DevicePath());
    cases.push_back({device, device});
  }
  for (const Case& c : cases) {
    ASSERT_TRUE(RememberPort(c.remembered));
    restart();
    const QAction* checked = w->findChild<QAction*>("Menu_sel_COM1")->actionGroup()->checkedAction();
    ASSERT_NE(checked, nullptr) << c.remembered.toStdString();
    EXPECT_EQ(checked->text(), c.checked) << c.remembered.toStdString();
  }
}

// After a disconnection, write and store come back only with a status answer that reports the
// outputs blocked (which writes the version first), not with the connection.
TEST_F(MainWindowTest, AfterReconnectingWriteAndStoreWaitForAStatusAnswer) {
#ifdef _WIN32
  w->AddPortChoice("COM5", "COM5")->trigger();  // vexa_sim, which outlives the connections
#else
  sim::PtySimulator simulator;  // outlives the connections, so the module stays blocked
  w->AddPortChoice("test line", simulator.DevicePath())->trigger();
#endif
  w->MenuConn_Connect->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Connected(); }, testing_support::kPatienceMs));
  w->MenuExec_Block->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return w->MenuExec_Block->isChecked(); }, testing_support::kPatienceMs));
  w->MenuConn_Discon->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Closed(); }, testing_support::kPatienceMs));
  EXPECT_FALSE(w->MenuExec_WriteParam->isEnabled() || w->MenuExec_SaveEEPROM->isEnabled());

  w->Label_Version->setText("--.--");
  std::vector<QString> versionWhenEnabled;
  for (QAction* item : {w->MenuExec_WriteParam, w->MenuExec_SaveEEPROM})
    QObject::connect(item, &QAction::enabledChanged, w, [&](bool on) {
      if (on) versionWhenEnabled.push_back(w->Label_Version->text());
    });
  w->MenuConn_Connect->trigger();
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return w->MenuExec_SaveEEPROM->isEnabled(); }, testing_support::kPatienceMs));
  EXPECT_EQ(versionWhenEnabled, (std::vector<QString>{"01.23", "01.23"}));
  // Released again for whoever uses the module next (on Windows the simulator outlives the test);
  // the window is destroyed connected, its last answer maybe still on the line.
  w->MenuExec_Block->trigger();
  EXPECT_TRUE(QTest::qWaitFor([&] { return !w->MenuExec_Block->isChecked(); }, testing_support::kPatienceMs));
}

// Records every change of a widget's enabled state.
class EnabledLog : public QObject {
 public:
  explicit EnabledLog(QWidget* widget) : widget_(widget) { widget->installEventFilter(this); }
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::EnabledChange) states.push_back(widget_->isEnabled());
    return false;
  }
  std::vector<bool> states;

 private:
  QWidget* widget_;
};

// An engineer's session: connect, read, edit two channels and the module number by typing,
// compute coefficients, test an output zero, write, and find it all in the module.
TEST_F(MainWindowTest, SettingsEditedInTheDialogsReachTheSimulator) {
  const auto type = [](QWidget* widget, const QString& text) {
    QTest::keyClick(widget, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(widget, text);
  };
  const auto click = [](QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton); };
  TFormSetChanel* d = FormSetChanel;
  EXPECT_FALSE(d->PwmEnabled());
  EnabledLog outputTest(d->Button_SetPwm);
  w->SimulatorChoice()->trigger();
  w->MenuConn_Connect->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Connected(); }, testing_support::kPatienceMs))
      << ::testing::PrintToString(Texts());
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return w->MaskEdit_Number->text() == "1234"; }, testing_support::kPatienceMs));
  // The status answer reports the outputs free: the output test is off until they are blocked.
  ASSERT_TRUE(QTest::qWaitFor([&] { return !d->PwmEnabled(); }, testing_support::kPatienceMs));
  EXPECT_EQ(outputTest.states, (std::vector<bool>{true, false})) << "on with the link, off by the status";

  w->MenuExec_ReadParam->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes_.shown.empty(); }, testing_support::kPatienceMs));
  EXPECT_EQ(boxes_.shown.back().text, "Параметры работы из модуля прочитаны.");
  // Typing into the read number field, cursor at its start.
  QTest::mouseClick(w->MaskEdit_Number, Qt::LeftButton, {}, QPoint(2, w->MaskEdit_Number->height() / 2));
  QTest::keyClicks(w->MaskEdit_Number, "42");
  EXPECT_EQ(w->MaskEdit_Number->text(), "4234");

  w->MenuExec_Block->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return d->PwmEnabled(); }, testing_support::kPatienceMs));

  w->MenuSetup_Chanel->trigger();
  ASSERT_TRUE(d->isVisible());
  type(d->Edit_Point0, "12.5");
  click(d->Button1);
  QTest::mouseClick(d->TabControl1, Qt::LeftButton, {}, d->TabControl1->tabRect(1).center());
  type(d->Edit_Point1, "33.25");
  type(d->MaskEdit_AdcTime, "2.5");
  click(d->Button1);
  EXPECT_EQ(+ModuleSettings.ChanSet[0].Point0, 12.5F);
  EXPECT_EQ(+ModuleSettings.ChanSet[1].Point1, 33.25F);
  EXPECT_EQ(+ModuleSettings.ChanSet[1].AdcTime, 4);

  click(d->Button_CalcTest);
  ASSERT_TRUE(Form_Calc->isVisible());
  type(Form_Calc->Edit_const, "20");
  type(Form_Calc->findChild<QLineEdit*>("MaskEdit_Const_2"), "4000");
  QTest::keyClick(Form_Calc->Edit_const, Qt::Key_Return);
  click(Form_Calc->Button2);
  EXPECT_EQ(boxes_.shown.back().caption, "Результаты");
  EXPECT_EQ(+ModuleSettings.ChanSet[1].ParamCurr_B, 0.02F);
  EXPECT_EQ(d->Edit_ParamCurr_B->text(), "0.020000");

  // Output zero of channel 3, written straight into the module; clipped to 4095.
  QTest::mouseClick(d->TabControl1, Qt::LeftButton, {}, d->TabControl1->tabRect(2).center());
  type(d->MaskEdit_OutZero, "5000");
  click(d->Button_SetPwm);
  const auto outZero = [&](int ch) {
    const auto block = SimWorking().chan[ch];
    return block[0x2A] | block[0x2B] << 8;
  };
  ASSERT_TRUE(QTest::qWaitFor([&] { return outZero(2) == 4095; }, testing_support::kPatienceMs));
  const std::vector<std::uint8_t> frame = {0x42, 0x28, 0x00, 0x8A, 0x02, 0xFF, 0x0F, 0x00};
  bool sent = false;
  for (const sim::LogEntry& entry : SimLog()) sent = sent || (entry.request && entry.bytes == frame);
  EXPECT_TRUE(sent);
  QTest::mouseClick(d->UpDown_Pwm->DownButton(), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return outZero(2) == 4094; }, testing_support::kPatienceMs));

  boxes_.answers = {BoxAnswer::Yes};
  w->MenuExec_WriteParam->trigger();
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return boxes_.shown.back().text == "Параметры работы в модуль загружены."; },
                      testing_support::kPatienceMs));
  const sim::ModuleMemory memory = SimWorking();
  for (int ch = 0; ch < 4; ++ch) {
    std::array<std::uint8_t, kChanFrameSize> expected{};
    Build_chan_frame(ModuleSettings.ChanSet[ch], ch, expected);
    EXPECT_EQ(std::memcmp(memory.chan[ch].data(), expected.data() + 5, kChanPayloadSize), 0) << ch;
  }
  EXPECT_EQ(memory.sys[0] | memory.sys[1] << 8, 4234);

  w->MenuExec_Block->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !d->PwmEnabled(); }, testing_support::kPatienceMs));
  w->MenuExec_Block->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return d->PwmEnabled(); }, testing_support::kPatienceMs));
  w->MenuConn_Discon->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Closed(); }, testing_support::kPatienceMs));
  EXPECT_FALSE(d->PwmEnabled());
}

// One field changed in each of the interface, logic and LED dialogs reaches the module as exactly
// those bytes of its system block.
TEST_F(MainWindowTest, SystemDialogsChangeOnlyTheirBytesInTheModule) {
  w->SimulatorChoice()->trigger();
  w->MenuConn_Connect->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Connected(); }, testing_support::kPatienceMs))
      << ::testing::PrintToString(Texts());
  ModuleSettings.SysSet.RS485_adres = 99;
  w->MenuSetup_Interf->trigger();
  ASSERT_TRUE(FormInterf->isVisible());
  EXPECT_EQ(FormInterf->MaskEdit_RS485_adres->text(), " 99");
  w->MenuExec_ReadParam->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes_.shown.empty(); }, testing_support::kPatienceMs));
  EXPECT_EQ(boxes_.shown.back().text, "Параметры работы из модуля прочитаны.");
  EXPECT_EQ(FormInterf->MaskEdit_RS485_adres->text(), "  1") << "the open dialog refilled by the read";
  const auto before = SimWorking().sys;

  QTest::keyClick(FormInterf->MaskEdit_RS485_adres, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClicks(FormInterf->MaskEdit_RS485_adres, "17");
  QTest::mouseClick(FormInterf->Button1, Qt::LeftButton);
  w->MenuSetup_Logic->trigger();
  ASSERT_TRUE(FormLogic->isVisible());
  QTest::keyClick(FormLogic->ComboBox_tab[13], Qt::Key_End);  // channel 2, set-point 2: output 11
  QTest::mouseClick(FormLogic->Button1, Qt::LeftButton);
  w->Tenu1->trigger();
  ASSERT_TRUE(Form_Led_tenu->isVisible());
  QCheckBox* red = Form_Led_tenu->findChild<QCheckBox*>("CheckBox_ch2_rd_1");  // channel 3, correction
  QTest::mouseClick(red, Qt::LeftButton, {}, red->rect().center());
  boxes_.answers = {BoxAnswer::Yes};
  Form_Led_tenu->close();  // accepted through the close question
  EXPECT_EQ(boxes_.shown.back().text, kChangedQuestion);

  w->MenuExec_Block->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return w->MenuExec_Block->isChecked(); }, testing_support::kPatienceMs));
  boxes_.answers = {BoxAnswer::Yes};
  w->MenuExec_WriteParam->trigger();
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return boxes_.shown.back().text == "Параметры работы в модуль загружены."; },
                      testing_support::kPatienceMs));
  const auto after = SimWorking().sys;
  std::vector<std::pair<int, int>> changed;  // offset, new value
  for (std::size_t i = 0; i < after.size(); ++i)
    if (after[i] != before[i]) changed.emplace_back(static_cast<int>(i), after[i]);
  const std::vector<std::pair<int, int>> expected = {
      {6, 17}, {17 + 8, before[17 + 8] | 0x02}, {32 + 6, (before[32 + 6] & 0x0F) | 0xB0}};
  EXPECT_EQ(changed, expected);
}

// Closing ends the program (this window is the last one shown), asking first only when something
// would be lost.
TEST_F(MainWindowTest, ClosingEndsTheProgramAndAsksOnlyWhenSomethingWouldBeLost) {
  // The program ends when no window of it is left visible.
  const auto anyWindowShown = [] {
    for (QWidget* window : QApplication::topLevelWidgets())
      if (window->isVisible()) return true;
    return false;
  };
  w->MenuSetup_Chanel->trigger();
  FormSetChanel->Button_CalcTest->click();
  ASSERT_TRUE(FormSetChanel->isVisible() && Form_Calc->isVisible());
  EXPECT_TRUE(w->close());
  EXPECT_TRUE(boxes_.shown.empty()) << "nothing to lose, nothing asked";
  EXPECT_FALSE(anyWindowShown());

  // An accepted edit neither written nor saved: asked; No keeps the program.
  w->show();
  w->MenuSetup_Chanel->trigger();
  QTest::keyClick(FormSetChanel->Edit_Point0, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClicks(FormSetChanel->Edit_Point0, "5");
  QTest::mouseClick(FormSetChanel->Button1, Qt::LeftButton);
  boxes_.answers = {BoxAnswer::No};
  EXPECT_FALSE(w->close());
  EXPECT_EQ(boxes_.shown.back().text, kCloseUnsaved);
  EXPECT_TRUE(w->isVisible() && FormSetChanel->isVisible());
  const std::size_t asked = boxes_.shown.size();
  // Saved to a file, nothing is lost any more.
  ScriptedFileDialogs dialogs;
  SetFileDialogService(&dialogs);
  const QString file = QDir::tempPath() + "/vexa_close_" + QString::fromStdString(Pid()) + ".vxa";
  dialogs.names = {file};
  w->MenuFile_Save->trigger();
  SetFileDialogService(nullptr);
  QFile::remove(file);
  EXPECT_TRUE(w->close());
  EXPECT_EQ(boxes_.shown.size(), asked);
}

TEST_F(MainWindowTest, ClosingWhileConnectedAndDuringASettingsWrite) {
  w->SimulatorChoice()->trigger();
  w->MenuConn_Connect->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Connected(); }, testing_support::kPatienceMs));
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return w->MaskEdit_Number->text() == "1234"; }, testing_support::kPatienceMs));
  EXPECT_TRUE(w->close()) << "the number the module reported is no edit";
  EXPECT_TRUE(boxes_.shown.empty());
  w->show();
  QTest::mouseClick(w->MaskEdit_Number, Qt::LeftButton, {}, QPoint(2, w->MaskEdit_Number->height() / 2));
  QTest::keyClicks(w->MaskEdit_Number, "42");
  boxes_.answers = {BoxAnswer::No};
  EXPECT_FALSE(w->close()) << "a typed number is not yet in the module";
  EXPECT_EQ(boxes_.shown.back().text, kCloseUnsaved);
  w->MenuExec_Block->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return w->MenuExec_Block->isChecked(); }, testing_support::kPatienceMs));
  boxes_.answers = {BoxAnswer::Yes, BoxAnswer::No};
  w->MenuExec_WriteParam->trigger();
  EXPECT_FALSE(w->close()) << "the write runs: asked, and No keeps the program";
  EXPECT_EQ(boxes_.shown.back().text, kCloseWhileWriting);
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return boxes_.shown.back().text == "Параметры работы в модуль загружены."; },
                      testing_support::kPatienceMs));
  boxes_.answers = {BoxAnswer::Yes};
  w->MenuExec_WriteParam->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return w->Engine().Writing(); }, testing_support::kPatienceMs));
  boxes_.answers = {BoxAnswer::Yes};
  EXPECT_TRUE(w->close());
  EXPECT_EQ(boxes_.shown.back().text, kCloseWhileWriting);

  w->show();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !w->Engine().Writing(); }, testing_support::kPatienceMs));
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return boxes_.shown.back().text == "Параметры работы в модуль загружены."; },
                      testing_support::kPatienceMs));  // past the completion box
  const std::size_t asked = boxes_.shown.size();
  EXPECT_TRUE(w->close()) << "connected and idle, everything written: nothing asked";
  EXPECT_EQ(boxes_.shown.size(), asked);
}

#ifndef _WIN32
// Too few descriptors for a pseudo-terminal: the simulator cannot start, the error is shown and the
// window is back in Closed at once.
TEST_F(MainWindowTest, SimulatorThatCannotStartLeavesTheWindowClosed) {
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
  rlimit low = saved;
  low.rlim_cur = 64;
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
  // Every descriptor still free below the limit is taken but two: the simulator opens both ends of
  // its pseudo-terminal and finds none for the rest, and closing them leaves a pipe's worth for the
  // sanitizers' memory checks.
  std::vector<int> fillers;
  for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;) fillers.push_back(fd);
  for (int i = 0; i < 2 && !fillers.empty(); ++i) {
    ::close(fillers.back());
    fillers.pop_back();
  }
  w->SimulatorChoice()->trigger();
  w->MenuConn_Connect->trigger();
  for (int fd : fillers) ::close(fd);
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &saved), 0);
  ASSERT_EQ(boxes_.shown.size(), 1U);
  EXPECT_EQ(boxes_.shown[0].caption, "error");
  EXPECT_EQ(boxes_.shown[0].text.rfind("Имитатор модуля VEXA не запущен: ", 0), 0U) << boxes_.shown[0].text;
  EXPECT_TRUE(Closed());
  EXPECT_EQ(w->Simulator(), nullptr);
  w->MenuConn_Connect->trigger();  // and it works again once descriptors are free
  EXPECT_TRUE(QTest::qWaitFor([&] { return Connected(); }, testing_support::kPatienceMs));
}
#endif  // _WIN32

#ifndef _WIN32
// The adapter's cable pulled in the middle of a settings write: one message, Closed, the component's
// threads gone (Qt's own pooled threads aside), and connecting again once an adapter is back.
TEST_F(MainWindowTest, TimedCablePulledDuringASettingsWrite) {
  const auto threads = [] {
    int n = 0;
    for (const QString& t : QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
      QFile comm("/proc/self/task/" + t + "/comm");
      n += comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == "Thread (pooled)" ? 0 : 1;
    }
    return n;
  };
  sim::PtySimulator simulator;
  const int baseline = threads();
  w->AddPortChoice("adapter", simulator.DevicePath())->trigger();
  w->MenuConn_Connect->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Connected(); }, testing_support::kPatienceMs));
  w->MenuExec_Block->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return w->MenuExec_Block->isChecked(); }, testing_support::kPatienceMs));
  // The status cycle over, the write is the next thing on the line.
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return !w->Engine().Wait_reply && w->Engine().Request_code == 0 && w->Engine().Poll_count > 20; },
      testing_support::kPatienceMs));
  std::size_t requests = 0;
  for (const sim::LogEntry& e : simulator.Log()) requests += e.request ? 1 : 0;
  sim::Faults pulled;
  pulled.hangUpAfter = static_cast<unsigned>(requests + 2);  // the system block and one channel block
  simulator.SetFaults(pulled);
  boxes_.answers = {BoxAnswer::Yes};
  w->MenuExec_WriteParam->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Closed(); }, testing_support::kPatienceMs))
      << ::testing::PrintToString(Texts());
  QTest::qWait(1500);  // long enough for the no-answer watch, had it still been armed
  bool systemBlockSent = false;
  for (const sim::LogEntry& e : simulator.Log())
    systemBlockSent =
        systemBlockSent || (e.request && e.bytes.size() > 4 && e.bytes[0] == 0x42 && e.bytes[3] == 0xC0);
  EXPECT_TRUE(systemBlockSent) << "the cable is pulled during the write";
  ASSERT_EQ(boxes_.shown.size(), 2U) << ::testing::PrintToString(Texts());
  EXPECT_FALSE(boxes_.shown[1].text.empty()) << "the port's own error, which also ended the link";
  EXPECT_TRUE(QTest::qWaitFor([&] { return TSioThread::RunningCount() == 0; }, testing_support::kPatienceMs));
  EXPECT_LE(threads(), baseline);
  // Back to idle: a second of waiting costs the process (window and simulator) little CPU.
  const auto cpuMs = [] {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
  };
  const double before = cpuMs();
  QTest::qWait(1000);
  const double idleCpuMs = cpuMs() - before;
  EXPECT_LT(idleCpuMs, 250.0);
  std::printf("idle after the pulled cable: %.0f ms of CPU in 1000 ms\n", idleCpuMs);

  // The adapter back (a new device, here at the same path): chosen again, it connects.
  sim::PtySimulator back;
  w->AddPortChoice("adapter again", back.DevicePath())->trigger();
  w->MenuConn_Connect->trigger();
  EXPECT_TRUE(QTest::qWaitFor([&] { return Connected(); }, testing_support::kPatienceMs))
      << ::testing::PrintToString(Texts());
  EXPECT_EQ(boxes_.shown.size(), 2U) << "no message about the old link";
}
#endif  // _WIN32

#ifndef _WIN32
TEST_F(MainWindowTest, SilentLineNoModuleAndHangUp) {
  sim::PtySimulator simulator;
  w->AddPortChoice("test line", simulator.DevicePath())->setChecked(true);
  sim::Faults f;
  f.noAnswer = true;
  simulator.SetFaults(f);
  w->MenuConn_ConnectClick();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes_.shown.empty(); }, testing_support::kPatienceMs));
  EXPECT_EQ(Texts(), std::vector<std::string>{"Нет ответа от модуля Ixor"});
  EXPECT_TRUE(Closed());

  boxes_.shown.clear();
  f = {};
  f.noModule = true;
  simulator.SetFaults(f);
  w->MenuConn_ConnectClick();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes_.shown.empty(); }, testing_support::kPatienceMs));
  EXPECT_EQ(Texts(), std::vector<std::string>{"Модуль VEXA не обнаружен."});
  EXPECT_TRUE(QTest::qWaitFor([&] { return Closed(); }, testing_support::kPatienceMs));

  // Pulling the line while connected: one message, Closed, no freeze.
  boxes_.shown.clear();
  simulator.SetFaults({});
  w->MenuConn_ConnectClick();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Connected(); }, testing_support::kPatienceMs));
  f = {};
  f.hangUpAfter = 0;
  simulator.SetFaults(f);
  ASSERT_TRUE(QTest::qWaitFor([&] { return Closed(); }, testing_support::kPatienceMs));
  QTest::qWait(300);
  EXPECT_EQ(boxes_.shown.size(), 1U) << ::testing::PrintToString(Texts());
}
#endif  // _WIN32

TEST_F(MainWindowTest, FileCommandsAndFormReset) {
  ScriptedFileDialogs dialogs;
  SetFileDialogService(&dialogs);
  const std::string dir = QDir::tempPath().toStdString() + "/vexa_app_" + Pid();
  QDir().mkpath(QString::fromStdString(dir));

  ModuleSettings.ChanSet[2].AdcMax = 900;
  ModuleSettings.SysSet.Number = 77;
  dialogs.names = {QString::fromStdString(dir + "/plant1")};
  w->MenuFile_SaveClick();
  EXPECT_TRUE(QFile::exists(QString::fromStdString(dir + "/plant1.vxa")));
  EXPECT_EQ(dialogs.asked.back().filter, "Файлы настройки VEXA (*.vxa);;Все файлы (*.*)");
  EXPECT_EQ(dialogs.asked.back().start, ".");

  ModuleSettings.ChanSet[2].AdcMax = 1;
  w->MaskEdit_Number->setText("1234");
  dialogs.names = {QString::fromStdString(dir + "/plant1.vxa")};
  w->MenuFile_OpenClick();
  EXPECT_EQ(+ModuleSettings.ChanSet[2].AdcMax, 900);
  EXPECT_EQ(w->MaskEdit_Number->text(), "1234") << "opening refreshes nothing";
  dialogs.names = {""};  // cancelled, although a name was chosen before
  ModuleSettings.ChanSet[2].AdcMax = 5;
  w->MenuFile_OpenClick();
  EXPECT_EQ(+ModuleSettings.ChanSet[2].AdcMax, 5);

  QFile bad(QString::fromStdString(dir + "/bad.vxa"));
  ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
  bad.write(QByteArray(403, 1));
  bad.close();
  dialogs.names = {bad.fileName()};
  w->MenuFile_OpenClick();
  ASSERT_FALSE(boxes_.shown.empty());
  EXPECT_EQ(boxes_.shown.back().text, "Файл поврежден, загрузка данных не выполнена.");
  EXPECT_EQ(boxes_.shown.back().caption, "Ошибка!");
  // Settings text chosen for a settings file: refused with its size, and told how to build one.
  QFile text(QString::fromStdString(dir + "/plant.vxa.json"));
  ASSERT_TRUE(text.open(QIODevice::WriteOnly));
  text.write("{\n  \"ch1.Aprox\": 3\n}\n");
  text.close();
  dialogs.names = {text.fileName()};
  w->MenuFile_Open->trigger();
  EXPECT_EQ(boxes_.shown.back().text.rfind("Это текст настроек, а не файл настройки VEXA", 0), 0U);
  EXPECT_NE(boxes_.shown.back().text.find("в байтах — 21. Сначала соберите"), std::string::npos);
  EXPECT_EQ(+ModuleSettings.ChanSet[2].AdcMax, 5) << "the record is kept";
  EXPECT_EQ(dialogs.asked.back().start.toStdString(), dir + "/plant1.vxa")
      << "the dialog starts where the last open succeeded, not where one failed";

  dialogs.names = {QString::fromStdString(dir + "/report")};
  w->N1Click();
  EXPECT_TRUE(QFile::exists(QString::fromStdString(dir + "/report.txt")));

  // Form reset, confirmed: the record is zero and the display back to its first look.
  w->Edit_val[1]->setText("12.5");
  w->Shape_log[3]->SetColor(0x0000FF);
  boxes_.answers = {BoxAnswer::Yes};
  w->MenuFile_ResetClick();
  EXPECT_EQ(boxes_.shown.back().text, "Сбросить форму в исходное состояние?");
  EXPECT_EQ(+ModuleSettings.ChanSet[2].AdcMax, 0);
  EXPECT_EQ(w->Edit_val[1]->text(), "0");
  EXPECT_EQ(w->Shape_log[3]->Color(), 0xC0C0C0U);
  EXPECT_EQ(w->Label_Version->text(), "--.--");
  EXPECT_EQ(w->MaskEdit_Number->text(), "0000");
  EXPECT_EQ(w->MaskEdit_Year->text(), "00");

  SetFileDialogService(nullptr);
  QDir(QString::fromStdString(dir)).removeRecursively();
}

// Where the system has no pseudo-terminals (Windows) the built-in simulator joins the link
// in-process; here it is chosen so too, and the window works with it as with a port.
TEST_F(MainWindowTest, TheBuiltInSimulatorInProcess) {
  TFormMain::SetSimulatorInProcess(true);
  w->SimulatorChoice()->trigger();
  w->MenuConn_Connect->trigger();
  ASSERT_NE(w->SimulatorLine(), nullptr);
  EXPECT_EQ(w->Simulator(), nullptr) << "no pseudo-terminal";
  ASSERT_TRUE(QTest::qWaitFor([&] { return Connected(); }, testing_support::kPatienceMs))
      << ::testing::PrintToString(Texts());
  EXPECT_TRUE(
      QTest::qWaitFor([&] { return w->Label_Version->text() == "01.23"; }, testing_support::kPatienceMs));
  EXPECT_EQ(w->MaskEdit_Number->text(), "1234");
  w->MenuExec_ReadParam->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes_.shown.empty(); }, testing_support::kPatienceMs));
  EXPECT_EQ(boxes_.shown.back().text, "Параметры работы из модуля прочитаны.");
  EXPECT_EQ(+ModuleSettings.ChanSet[0].Point0, 40.0F);
  w->MenuConn_Discon->trigger();
  EXPECT_TRUE(QTest::qWaitFor([&] { return Closed(); }, testing_support::kPatienceMs));
  EXPECT_EQ(w->SimulatorLine(), nullptr);
  TFormMain::SetSimulatorInProcess(!sim::PtySimulator::Available());
}

#ifdef _WIN32
// The adapter on a COM port the registry lists, through the serial component on the Win32 API:
// scripts/build-windows names vexa_sim's pseudo-terminal as the Wine prefix's COM5.
TEST_F(MainWindowTest, AdapterOnComPortFive) {
  w->AddPortChoice("COM5", "COM5")->trigger();
  w->MenuConn_Connect->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Connected(); }, testing_support::kPatienceMs))
      << ::testing::PrintToString(Texts());
  EXPECT_TRUE(
      QTest::qWaitFor([&] { return w->Label_Version->text() == "01.23"; }, testing_support::kPatienceMs));
  w->MenuExec_ReadParam->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes_.shown.empty(); }, testing_support::kPatienceMs));
  EXPECT_EQ(boxes_.shown.back().text, "Параметры работы из модуля прочитаны.");
  EXPECT_EQ(+ModuleSettings.SysSet.Number, 1234);
  w->MenuConn_Discon->trigger();
  EXPECT_TRUE(QTest::qWaitFor([&] { return Closed(); }, testing_support::kPatienceMs));
}
#endif

#ifndef _WIN32
// "Другой порт…" with real typing: what is no device is said by name; a pseudo-terminal (here the
// simulator's) becomes the checked port, is offered again, connects and polls.
TEST_F(MainWindowTest, AnotherPortTypedInTheMenu) {
  sim::PtySimulator simulator;
  const QString dir = QDir::tempPath() + "/vexa_other_port_" + QString::fromStdString(Pid());
  QDir().mkpath(dir);
  QFile(dir + "/plain.txt").open(QIODevice::WriteOnly);
  const std::string d = dir.toStdString();
  const auto type = [&](const std::string& path, bool accept) {
    QTimer::singleShot(0, w, [&, path, accept] {
      auto* dialog = dynamic_cast<TFormOtherPort*>(QApplication::activeModalWidget());
      ASSERT_NE(dialog, nullptr);
      QTest::keyClicks(dialog->ComboBox_Path->lineEdit(), QString::fromStdString(path));
      QTest::keyClick(dialog, accept ? Qt::Key_Return : Qt::Key_Escape);
    });
    w->Menu_sel_Other->trigger();
  };
  const struct {
    std::string path, said;
  } cases[] = {
      {d + "/missing", "Устройство " + d + "/missing не найдено."},
      {d + "/plain.txt", d + "/plain.txt — обычный файл, а не последовательный порт."},
      {d, d + " — папка, а не последовательный порт."},
  };
  for (const auto& c : cases) {
    type(c.path, true);
    ASSERT_FALSE(boxes_.shown.empty()) << c.path;
    EXPECT_EQ(boxes_.shown.back().text, c.said);
    EXPECT_EQ(boxes_.shown.back().caption, "Другой порт");
    EXPECT_EQ(boxes_.shown.back().icon, BoxIcon::Warning);
  }
  EXPECT_TRUE(w->Menu_sel_COM[0]->isChecked()) << "nothing else was chosen";
  const std::size_t boxes = boxes_.shown.size();
  type(simulator.DevicePath(), true);
  EXPECT_EQ(boxes_.shown.size(), boxes);
  QAction* typed = nullptr;
  for (QAction* a : w->MenuConn_COM1->actions())
    if (a->data().toString().toStdString() == simulator.DevicePath()) typed = a;
  ASSERT_NE(typed, nullptr);
  ASSERT_TRUE(typed->isChecked());
  EXPECT_EQ(typed->data().toString().toStdString(), simulator.DevicePath());
  emit w->MenuConn_COM1->aboutToShow();  // the discovered ports listed anew: the typed one stays
  EXPECT_TRUE(typed->isChecked());

  QTimer::singleShot(0, w, [&] {  // offered again, first
    auto* dialog = dynamic_cast<TFormOtherPort*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->ComboBox_Path->itemText(0).toStdString(), simulator.DevicePath());
    EXPECT_TRUE(dialog->grab().save(QString(VEXA_SHOT_DIR) + "/other_port.png"));  // the guide's picture
    QTest::keyClick(dialog, Qt::Key_Escape);
  });
  w->Menu_sel_Other->trigger();

  w->MenuConn_Connect->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Connected(); }, testing_support::kPatienceMs))
      << ::testing::PrintToString(Texts());
  EXPECT_TRUE(
      QTest::qWaitFor([&] { return w->Label_Version->text() == "01.23"; }, testing_support::kPatienceMs));
  w->MenuConn_Discon->trigger();
  EXPECT_TRUE(QTest::qWaitFor([&] { return Closed(); }, testing_support::kPatienceMs));
  QDir(dir).removeRecursively();
}

QByteArray Slurp(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The line monitor's counters are what the simulator saw, by kind of failure; its table, the
// failures filter and the saved journal agree; the indicator shows the lines the platform reports.
TEST_F(MainWindowTest, LineMonitorCountsWhatTheSimulatorSaw) {
  sim::PtySimulator simulator;
  w->AddPortChoice("test line", simulator.DevicePath())->trigger();
  w->MenuView_LedOut->trigger();
  TFormLineMonitor* monitor = w->LineMonitor();
  ASSERT_NE(monitor, nullptr);
  EXPECT_TRUE(monitor->isVisible());
  w->MenuConn_Connect->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Connected(); }, testing_support::kPatienceMs));
  const auto counters = [&] { return w->Exchanges().Counters(); };
  ASSERT_TRUE(QTest::qWaitFor([&] { return counters().answered >= 10; }, testing_support::kPatienceMs));
  sim::Faults refuse;
  refuse.refuseReadAt = 0x01C0;
  simulator.SetFaults(refuse);
  ASSERT_TRUE(QTest::qWaitFor([&] { return counters().refused >= 2; }, testing_support::kPatienceMs));
  sim::Faults cut;
  cut.cutTo = 8;
  simulator.SetFaults(cut);
  ASSERT_TRUE(QTest::qWaitFor([&] { return counters().cut >= 2; }, testing_support::kPatienceMs));
  simulator.SetFaults({});
  const std::uint64_t answered = counters().answered;
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return counters().answered >= answered + 5; }, testing_support::kPatienceMs));
  // The lamps follow the lines the platform reports: none on a pseudo-terminal, then CTS and RLSD
  // as an adapter's port would give them, then none again.
  const auto lamps = [&] {
    std::string on;
    for (int lamp = 0; lamp < TSioLEDDisplay::kLamps; ++lamp) on += monitor->Leds->State(lamp) ? '1' : '0';
    return on;
  };
  EXPECT_EQ(w->SioComm1().Display(), monitor->Leds) << "the indicator is the port's";
  EXPECT_EQ(lamps(), "000000000");
  platform::SetAbsentModemLinesForTesting(TIOCM_CTS | TIOCM_CD);
  EXPECT_TRUE(QTest::qWaitFor([&] { return lamps() == "100100000"; }, testing_support::kPatienceMs))
      << lamps();
  platform::SetAbsentModemLinesForTesting(-1);
  EXPECT_TRUE(QTest::qWaitFor([&] { return lamps() == "000000000"; }, testing_support::kPatienceMs))
      << lamps();
  w->MenuConn_Discon->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Closed(); }, testing_support::kPatienceMs));

  std::uint64_t requests = 0, refused = 0, cutShort = 0, bytesOut = 0, bytesIn = 0;
  for (const auto& entry : simulator.Log()) {
    (entry.request ? bytesOut : bytesIn) += entry.bytes.size();
    if (entry.request) ++requests;
    if (!entry.request && (entry.bytes[0] & 0x80)) ++refused;
    if (!entry.request && entry.bytes.size() == 8 && entry.bytes[2] == 0x01 && entry.bytes[3] == 0xC0)
      ++cutShort;
  }
  const ExchangeCounters n = counters();
  EXPECT_EQ(n.exchanges, requests);
  EXPECT_EQ(n.refused, refused);
  EXPECT_EQ(n.cut, cutShort);
  EXPECT_EQ(n.noAnswer + n.garbled, 0U);
  EXPECT_EQ(n.answered, requests - refused - cutShort);
  EXPECT_EQ(n.bytesOut, bytesOut);
  EXPECT_EQ(n.bytesIn, bytesIn);
  EXPECT_GT(n.lastRoundTripMs, 0.0);
  EXPECT_TRUE(QTest::qWaitFor([&] { return monitor->Label_Count[0]->text().toULongLong() == n.exchanges; },
                              testing_support::kPatienceMs));
  EXPECT_EQ(monitor->Label_Count[7]->text().toULongLong(), n.refused);
  EXPECT_EQ(monitor->Table_Exchanges->model()->rowCount(), static_cast<int>(n.exchanges));
  EXPECT_TRUE(monitor->grab().save(QString(VEXA_SHOT_DIR) + "/line_monitor.png"));

  // The saved journal: the port, then each exchange as the simulator saw it, in order.
  ScriptedFileDialogs files;
  SetFileDialogService(&files);
  const QString journal = QDir::tempPath() + "/vexa_journal_" + QString::fromStdString(Pid());
  files.names = {journal, journal + "_failures"};
  QTest::mouseClick(monitor->Button_SaveLog, Qt::LeftButton);
  const QStringList lines = QString::fromUtf8(Slurp(journal + ".txt")).split('\n');
  ASSERT_GT(lines.size(), 3);
  EXPECT_EQ(lines[0].toStdString(), "Порт: " + simulator.DevicePath());
  EXPECT_TRUE(lines[1].startsWith("Соединение: " + QDate::currentDate().toString("yyyy-MM-dd")))
      << lines[1].toStdString();
  std::size_t at = 0;
  const auto log = simulator.Log();
  for (int i = 3; i < lines.size() && !lines[i].isEmpty(); ++i, ++at) {
    const QStringList parts = lines[i].split("  ");  // date time, request, ->, answer, verdict, ms
    ASSERT_GE(parts.size(), 5) << lines[i].toStdString();
    EXPECT_TRUE(parts[0].startsWith(QDate::currentDate().toString("yyyy-MM-dd "))) << lines[i].toStdString();
    ASSERT_LT(at, log.size());
    ASSERT_TRUE(log[at].request);
    EXPECT_EQ(parts[1].toStdString(), HexBytes(log[at].bytes)) << i;
    const bool answered = at + 1 < log.size() && !log[at + 1].request;
    EXPECT_EQ(parts[3].toStdString(), answered ? HexBytes(log[++at].bytes) : "-") << i;
  }
  EXPECT_EQ(at, log.size()) << "every exchange the simulator saw is in the journal";

  QTest::mouseClick(monitor->CheckBox_FailuresOnly, Qt::LeftButton, {}, QPoint(5, 5));
  ASSERT_TRUE(monitor->CheckBox_FailuresOnly->isChecked());
  EXPECT_EQ(monitor->Table_Exchanges->model()->rowCount(), static_cast<int>(refused + cutShort));
  QTest::mouseClick(monitor->Button_SaveLog, Qt::LeftButton);
  SetFileDialogService(nullptr);
  const QString failures = QString::fromUtf8(Slurp(journal + "_failures.txt"));
  EXPECT_EQ(failures.count("отказ"), static_cast<int>(refused));
  EXPECT_EQ(failures.count("обрезан"), static_cast<int>(cutShort));
  QFile::remove(journal + ".txt");
  QFile::remove(journal + "_failures.txt");

  // Connected again: the counters and the failures listed start again together.
  w->MenuConn_Connect->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Connected(); }, testing_support::kPatienceMs));
  EXPECT_TRUE(QTest::qWaitFor([&] { return monitor->Label_Count[0]->text().toULongLong() > 0; },
                              testing_support::kPatienceMs));
  EXPECT_EQ(monitor->Label_Count[7]->text(), "0");
  EXPECT_EQ(monitor->Table_Exchanges->model()->rowCount(), 0) << "no failures of this connection";
  w->MenuConn_Discon->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Closed(); }, testing_support::kPatienceMs));
}
#endif  // _WIN32

// "Закрыть все вспомогательные окна" hides the dialogs and the new windows; "О программе ..." says
// what the program is and where its guide is, which "Правила работы" shows.
TEST_F(MainWindowTest, ViewAndHelpMenus) {
  // The guide's picture of the box as it is shown.
  SetMessageBoxService(nullptr);
  QTimer::singleShot(0, w, [] {
    QWidget* box = QApplication::activeModalWidget();
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->grab().save(QString(VEXA_SHOT_DIR) + "/about.png"));
    QTest::keyClick(box, Qt::Key_Return);
  });
  w->MenuHelp_About->trigger();
  SetMessageBoxService(&boxes_);
  w->MenuHelp_About->trigger();
  ASSERT_FALSE(boxes_.shown.empty());
  const std::string about = boxes_.shown.back().text;
  EXPECT_EQ(boxes_.shown.back().caption, "О программе");
  EXPECT_NE(about.find("версия " VEXA_VERSION), std::string::npos) << about;
  EXPECT_NE(about.find(std::string("Qt ") + qVersion()), std::string::npos) << about;
  EXPECT_NE(about.find("GPL-3.0-or-later"), std::string::npos) << about;
  EXPECT_NE(about.find("guide.md"), std::string::npos) << about;

  w->MenuHelp_Manual->trigger();
  ASSERT_NE(w->Guide(), nullptr);
  EXPECT_TRUE(w->Guide()->isVisible());
  EXPECT_TRUE(w->Guide()->toPlainText().contains("Главное окно"));
  EXPECT_TRUE(w->Guide()->toHtml().contains("<table")) << "tables rendered";
  // A link of the contents, clicked, brings its heading into view.
  TFormGuide* guide = w->Guide();
  const QTextCursor link = guide->document()->find("Соединение с модулем");
  ASSERT_FALSE(link.isNull());
  ASSERT_TRUE(link.charFormat().isAnchor());
  QTextCursor middle = link;
  middle.setPosition((link.selectionStart() + link.selectionEnd()) / 2);
  QTest::mouseClick(guide->viewport(), Qt::LeftButton, {}, guide->cursorRect(middle).center());
  EXPECT_EQ(guide->textCursor().block().text(), "Соединение с модулем");
  EXPECT_GT(guide->textCursor().block().blockFormat().headingLevel(), 0);
  EXPECT_GT(guide->verticalScrollBar()->value(), 0);
  EXPECT_TRUE(guide->window()->grab().save(QString(VEXA_SHOT_DIR) + "/guide_window.png"));

  w->MenuView_LedOut->trigger();
  w->MenuSetup_Interf->trigger();
  ASSERT_TRUE(w->LineMonitor()->isVisible() && FormInterf->isVisible());
  w->MenuView_Diagram->trigger();
  ASSERT_TRUE(w->Diagram()->isVisible());
  w->N2->trigger();
  EXPECT_FALSE(w->Diagram()->isVisible());
  EXPECT_FALSE(w->LineMonitor()->isVisible());
  EXPECT_FALSE(w->Guide()->isVisible());
  EXPECT_FALSE(FormInterf->isVisible());

  // An edited dialog closes as its own close would: the question first, "No" leaves the record as
  // it was, "Yes" takes the edit.
  const float before = ModuleSettings.ChanSet[0].Point0;
  for (const BoxAnswer answer : {BoxAnswer::No, BoxAnswer::Yes}) {
    w->MenuSetup_Chanel->trigger();
    ASSERT_TRUE(FormSetChanel->isVisible());
    FormSetChanel->Edit_Point0->selectAll();
    QTest::keyClicks(FormSetChanel->Edit_Point0, "12.5");
    boxes_.shown.clear();
    boxes_.answers = {answer};
    w->N2->trigger();
    ASSERT_FALSE(boxes_.shown.empty());
    EXPECT_EQ(boxes_.shown[0].text, "Данные формы были изменены. Принять изменения?");
    EXPECT_FALSE(FormSetChanel->isVisible());
    const float stored = ModuleSettings.ChanSet[0].Point0;  // a copy: the record is packed
    EXPECT_EQ(stored, answer == BoxAnswer::Yes ? 12.5F : before);
  }
}

TEST_F(MainWindowTest, AFileNamedAtStartIsOpened) {
  TModuleSettings file{};
  file.ChanSet[2].AdcMax = 777;
  const std::string path = QDir::tempPath().toStdString() + "/vexa_start_" + Pid() + ".vxa";
  ASSERT_EQ(SaveSettingsFile(file, path), FileOutcome::Done);
  FormSetChanel->show();
  w->LoadSettingsFile(path);
  EXPECT_EQ(+ModuleSettings.ChanSet[2].AdcMax, 777);
  EXPECT_TRUE(boxes_.shown.empty());
  std::remove(path.c_str());
  w->LoadSettingsFile(path);
  ASSERT_FALSE(boxes_.shown.empty());
  EXPECT_EQ(boxes_.shown.back().text, "Файл не удается открыть.");
}

TEST_F(MainWindowTest, OpeningAFileRefillsTheOpenDialogs) {
  ScriptedFileDialogs dialogs;
  SetFileDialogService(&dialogs);
  const std::string dir = QDir::tempPath().toStdString() + "/vexa_open_" + Pid();
  QDir().mkpath(QString::fromStdString(dir));
  TModuleSettings file{};
  file.ChanSet[0].Format = 0x02;
  file.ChanSet[0].Aprox = 6;
  file.ChanSet[0].AdcMax = 900;
  file.SysSet.RS485_speed = 4;
  file.SysSet.RS485_adres = 17;
  file.SysSet.CAN_En = 1;
  file.SysSet.Logic[0] = 0x07;
  ASSERT_EQ(SaveSettingsFile(file, dir + "/plant.vxa"), FileOutcome::Done);

  // The dialogs are open on another record when the file is opened.
  ClearSettings(ModuleSettings);
  ModuleSettings.ChanSet[0].AdcMax = 900;
  ModuleSettings.SysSet.RS485_adres = 1;
  w->MenuSetup_Chanel->trigger();
  w->MenuSetup_Interf->trigger();
  w->MenuSetup_Logic->trigger();
  dialogs.names = {QString::fromStdString(dir + "/plant.vxa")};
  w->MenuFile_Open->trigger();

  // A change in the channel and interface dialogs, accepted; the saved record is the file's with
  // those changes (the logic dialog, open and untouched, must not have changed it either).
  QTest::keyClick(FormSetChanel->findChild<QLineEdit*>("Edit_Point0"), Qt::Key_A, Qt::ControlModifier);
  QTest::keyClicks(FormSetChanel->findChild<QLineEdit*>("Edit_Point0"), "12.5");
  QTest::mouseClick(FormSetChanel->Button1, Qt::LeftButton);
  auto* address = FormInterf->findChild<QLineEdit*>("MaskEdit_RS485_adres");
  QTest::keyClick(address, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClicks(address, "33");
  QTest::mouseClick(FormInterf->Button1, Qt::LeftButton);
  dialogs.names = {QString::fromStdString(dir + "/saved.vxa")};
  w->MenuFile_Save->trigger();
  TModuleSettings saved{};
  ASSERT_EQ(OpenSettingsFile(dir + "/saved.vxa", saved), FileOutcome::Done);
  TModuleSettings want = file;
  want.ChanSet[0].Point0 = 12.5F;
  want.SysSet.RS485_adres = 33;
  EXPECT_EQ(std::memcmp(&saved, &want, sizeof saved), 0)
      << "channel format " << int{saved.ChanSet[0].Format} << ", RS-485 speed "
      << int{saved.SysSet.RS485_speed};
  SetFileDialogService(nullptr);
  QDir(QString::fromStdString(dir)).removeRecursively();
}

}  // namespace

// The serial workers' calls into the GUI thread: two workers hand it many, each waits for its own,
// and every one is run and every worker goes on (a missed wake-up would keep one waiting for ever).
TEST(GuiCallQueueTest, ManyCallsFromTwoWorkersAllComeBack) {
  GuiCallQueue queue;
  constexpr int kCalls = 5000;
  std::atomic<int> ran{0};
  std::atomic<int> finished{0};
  const auto work = [&] {
    for (int i = 0; i < kCalls; ++i) queue.Call([&] { ++ran; });
    ++finished;
  };
  std::thread first(work);
  std::thread second(work);
  // The GUI thread waits in its event loop, as the window's does (qWaitFor would sleep between looks).
  QEventLoop loop;
  QTimer look;
  QObject::connect(&look, &QTimer::timeout, &loop, [&] {
    if (finished == 2) loop.quit();
  });
  look.start(5);
  QTimer::singleShot(60000, &loop, &QEventLoop::quit);
  loop.exec();
  if (finished != 2) {
    std::fprintf(stderr, "GuiCallQueueTest: a worker still waits after %d calls\n", ran.load());
    std::abort();  // the waiting worker cannot be joined
  }
  first.join();
  second.join();
  EXPECT_EQ(ran, 2 * kCalls);
}

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
  // What the window remembers between runs (its port) goes to a folder of this run's, never the
  // user's, and no test finds what another left.
  const QString remembered =
      QDir::tempPath() + "/vexa_app_tests_" + QString::number(QCoreApplication::applicationPid());
  QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, remembered);
  testing_support::NameOffscreenFontFolder();
  QApplication app(argc, argv);
  testing_support::UseOffscreenFonts();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
