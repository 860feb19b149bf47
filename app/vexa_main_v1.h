// SPDX-License-Identifier: GPL-3.0-or-later
// The main window: live display, module number and year, menus, the port and the link engine.
#pragma once

#include <filesystem>

#include <QAction>
#include <QActionGroup>
#include <QCoreApplication>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QTimer>

#include <array>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/port_return.h"
#include "comm/SioComm.h"
#include "gui/file_dialog.h"
#include "gui/lamp.h"
#include "gui/text_edit.h"
#include "guicall/gui_call_queue.h"
#include "journal/journal.h"
#include "link/exchange_record.h"
#include "link/link_engine.h"
#include "link/live_history.h"
#include "link/live_status.h"
#include "link/module_commands.h"
#include "settings/file_io.h"
#include "translations/language.h"

namespace sim {
class PtySimulator;
class InProcessLine;
}  // namespace sim

inline constexpr const char* kSettingsFilter =
    QT_TRANSLATE_NOOP("TFormMain", "Файлы настройки VEXA (*.vxa)|*.vxa|Все файлы (*.*)|*.*");

class TFormLineMonitor;
class TFormGuide;
class TFormDiagram;
class TFormCompare;
class TFormJournal;
class TWindowJournal;

class TFormMain : public QMainWindow,
                  private ILinkPort,
                  private ILinkWindow,
                  private IWritePermission,
                  private ICommandHost {
  Q_DECLARE_TR_FUNCTIONS(TFormMain)

 public:
  TFormMain();
  ~TFormMain() override;

  // Handlers, named as the program names them; tests call them directly.
  void MenuConn_ConnectClick();
  void MenuConn_DisconClick();
  void Menu_sel_COMClick(int n);  // 1..4
  void Timer_TimeOutTimer();
  void Timer1Timer();
  void Timer2Timer();
  void SioComm1OnRxChar(int count) { engine_.SioComm1OnRxChar(count); }
  // The module commands; each one sent goes to the journal with its outcome.
  void MenuExec_BlockClick();
  void MenuExec_ResetClick();  // not journalled, but it may replace a command that is
  void MenuExec_ReadParamClick();
  void MenuExec_WriteParamClick();
  void MenuExec_SaveEEPROMClick();
  // "Сравнить с модулем": the module's settings read aside (two reads that agree), then the fields
  // that differ from the window's.
  void MenuExec_CompareClick();
  // "Журнал работ".
  void MenuView_JournalClick();
  void MenuFile_OpenClick();
  // A settings file into the record, as "Открыть" loads it (the name as it stands).
  bool LoadSettingsFile(const std::filesystem::path& path);  // true when loaded
  void MenuFile_SaveClick();
  void N1Click();
  void MenuFile_ResetClick();
  void MenuSetup_ChanelClick();
  void MenuSetup_InterfClick();
  void MenuSetup_LogicClick();
  void Tenu1Click();
  // "Вид" and "Помощь".
  void MenuView_LedOutClick();
  void MenuView_DiagramClick();
  // Remembered for the next start; this run keeps its language.
  void MenuView_LanguageClick(UiLanguage language);
  void N2Click();
  void MenuHelp_ManualClick();
  void MenuHelp_AboutClick();
  // "Другой порт…": a typed device path, checked, then a choice of the port submenu for this run.
  void Menu_sel_OtherClick();

  // A port beyond COM1..COM4 for the port submenu: a discovered device, or one a test provides.
  QAction* AddPortChoice(const QString& caption, const std::string& device);
  QAction* SimulatorChoice() { return Menu_sel_Sim; }
  // The built-in simulator while it runs (when chosen), else null: on a pseudo-terminal where the
  // system has them, else joined to the link in-process.
  sim::PtySimulator* Simulator() { return simulator_.get(); }
  sim::InProcessLine* SimulatorLine() { return line_.get(); }
  // Tests only: the simulator in-process where pseudo-terminals would serve too.
  static void SetSimulatorInProcess(bool inProcess);
  LinkEngine& Engine() { return engine_; }
  TSioComm& SioComm1() { return sioComm1_; }
  // Every exchange of the link, kept whether or not the monitor shows it.
  const ExchangeRecord& Exchanges() const { return exchanges_; }
  ExchangeRecord& Exchanges() { return exchanges_; }  // benchmarks fill it
  // The live values of every status cycle since the first connection, for the diagram.
  const LiveHistory& History() const { return history_; }
  LiveHistory& History() { return history_; }  // benchmarks fill it
  // The windows of "Вид" and "Помощь" once opened, else null.
  TFormLineMonitor* LineMonitor() { return monitor_.get(); }
  TFormGuide* Guide() { return guide_.get(); }
  TFormDiagram* Diagram() { return diagram_; }
  TFormCompare* Compare() { return compare_.get(); }
  TFormJournal* JournalWindow() { return journalWindow_.get(); }
  // The journal this window appends to (set before the first action; tests name their own).
  void SetJournalPath(const std::filesystem::path& path);
  // Where the window's settings came from, as the comparison names it.
  const QString& SettingsSource() const { return source_; }

  // Controls, by their designer names.
  TLabel* Label_Version;
  TMaskEdit* MaskEdit_Number;
  TMaskEdit* MaskEdit_Year;
  TShape* Shape_LedUpdate;
  TEdit *Edit_val[4], *Edit_curr[4], *Edit_adc[4], *Edit_dac[4];
  TShape* Shape_ch[4][8];  // crc, corr, smin, smax, p1..p4
  TShape* Shape_log[12];
  TShape* Shape_sys[6];
  QMenu *MenuFile, *MenuExec, *MenuSetup, *MenuConn, *MenuView, *MenuHelp, *MenuConn_COM1;
  QAction *MenuFile_Open, *MenuFile_Save, *N1, *MenuFile_Reset;
  QAction *MenuExec_Block, *MenuExec_Reset, *MenuExec_ReadParam, *MenuExec_WriteParam, *MenuExec_SaveEEPROM;
  QAction* MenuExec_Compare;
  QAction* MenuView_Journal;
  QAction *MenuSetup_Chanel, *MenuSetup_Interf, *MenuSetup_Logic, *Tenu1;
  QAction *MenuConn_Connect, *MenuConn_Discon;
  QAction* MenuConn_Reconnect;  // "Переподключать автоматически", kept between runs
  QAction* Menu_sel_COM[4];
  QAction* Menu_sel_Sim;
  QAction* Menu_sel_Other;
  QAction *MenuView_LedOut, *MenuView_Diagram, *N2;
  QMenu* MenuView_Language;
  QAction *MenuHelp_Manual, *MenuHelp_About;
  QTimer Timer1, Timer2, Timer_TimeOut;
  TFileDialog OpenDialog1{FileDialogKind::Open, tr(kSettingsFilter)};
  TFileDialog SaveDialogData{FileDialogKind::Save, tr(kSettingsFilter)};
  TFileDialog SaveDialogText{FileDialogKind::Save, QCoreApplication::translate("Messages", kTextFileFilter)};

 protected:
  // Asks first while a settings write runs or the record holds edits neither written nor saved;
  // closing ends the program, the dialogs with it.
  void closeEvent(QCloseEvent* event) override;

 private:
  void PortError(std::exception_ptr error);
  // A link whose adapter went away, with the option on (main_reconnect.cpp): said once in the status
  // bar and the line monitor, then its port awaited and connected again on its return.
  void AwaitAdapter(const std::string& reason);
  void AdapterReturned(const std::string& device);
  void AdapterRefused(std::uint32_t code);
  // The connect steps' open of a port that came back: done, or refused with the system's code.
  void ReturnedPortOpened(bool opened, std::uint32_t refusal = 0);
  void StopAwaiting();  // "Отключить", or the option turned off, while waiting
  void LinkNote(const QString& note);
  void BuildLayout();
  // The record as last read, written, saved, loaded or reset: what closing would not lose.
  void RememberSettings() { kept_ = ModuleSettings; }
  ViewBinding Binding() const;
  void FileError(const FileResult& result);
  void BuildMenus();
  void RefreshPortChoices();
  // The port of the last connection, when it is still there (remembered_port.cpp); and the one
  // chosen now, as it is remembered.
  void ChooseRememberedPort();
  QString ChosenPort() const;
  void StopSimulator();

  // ILinkPort
  void WriteByte(std::uint8_t byte) override;
  bool ReadByte(std::uint8_t& byte) override;
  int Waiting() override;
  // ILinkWindow
  void Status_connect() override;
  void Status_no_connect() override;
  void SetExchangeLamp(std::uint32_t color) override { Shape_LedUpdate->SetColor(color); }
  void MessageBox(std::string_view text, std::string_view caption) override;
  void Out_module_status(const std::uint8_t* data) override { live_.Out_module_status(data); }
  void Out_chanel_status(int ch, const std::uint8_t* data) override;
  void StoredNumberAndYear(const ModuleIdentity& identity) override { stored_ = identity; }
  std::string NumberText() override { return MaskEdit_Number->Text(); }
  std::string YearText() override { return MaskEdit_Year->Text(); }
  void ShowNumberAndYear(const std::string& number, const std::string& year) override;
  void RefreshViews(unsigned refresh) override;
  bool Timer2Running() override { return Timer2.isActive(); }
  void StartTimer2() override { Timer2.start(); }
  void StopTimer2() override { Timer2.stop(); }
  // IWritePermission
  void SetWritePermission(bool allowed) override;
  void SetBlockChecked(bool checked) override { MenuExec_Block->setChecked(checked); }
  // ICommandHost
  bool BlockChecked() override { return MenuExec_Block->isChecked(); }
  bool Confirm(std::string_view text) override;
  void Warn(std::string_view text) override;

  ExchangeRecord exchanges_;  // outlives the engine and the port's last steps
  LiveHistory history_;
  std::array<std::array<std::uint8_t, 11>, 4> cycle_{};  // the channels' blocks of the cycle under way
  GuiCallQueue calls_;  // outlives sioComm1_: its threads' last steps still find it
  TSioComm sioComm1_;
  LinkEngine engine_;
  LiveStatus live_;
  QActionGroup* portGroup_;
  std::unique_ptr<sim::PtySimulator> simulator_;
  std::unique_ptr<sim::InProcessLine> line_;
  std::unique_ptr<TFormLineMonitor> monitor_;  // before sioComm1_ goes, its display is unbound
  std::unique_ptr<TFormGuide> guide_;
  // Held as a plain widget, so that this header needs none of the chart's.
  std::unique_ptr<QWidget> diagramWindow_;
  TFormDiagram* diagram_ = nullptr;
  TPortReturn portReturn_;
  std::string awaitedPort_;      // the connection's port as it comes back: empty for the simulator
  std::string returnedDevice_;   // while the connect steps run for a port that came back
  bool portErrorShown_ = false;  // the component's first error of this connection was shown
  TModuleSettings kept_{};

  // The comparison and the journal (main_compare_journal.cpp).
  journal::Record JournalRecord(const char* action) const;
  // A command just asked of the engine, kept until its outcome is known; before: the request it
  // found waiting, which it may have replaced.
  void BeginAction(int before);
  void SendCommand(void (*command)(LinkEngine&, ICommandHost&));
  void EndAction(int command, const std::string& failure = {});
  void EndAllActions(const std::string& failure);
  void ActionExchange(const Exchange& exchange);
  void ActionLinkLost(const std::string& message);
  void SetComparing(bool comparing);
  void CompareReadDone(bool whole);
  void CompareFailed();
  void ShowComparison();
  void TakeModuleValues(const TModuleSettings& module);
  std::optional<ModuleIdentity> stored_;  // as the module reported them last
  QString source_;                        // where the record came from, as the comparison says it
  std::string sourceFile_;                // the settings file it came from, if it did (UTF-8)
  std::string journalPort_;               // the port as the journal names it ("sim" for the simulator)
  std::string lastLinkError_;             // the link's last message, for a comparison it ended
  std::unique_ptr<TWindowJournal> journal_;
  QLabel* journalWarning_ = nullptr;  // in the status bar, for the whole run, once the journal fails
  struct WindowAction {
    int command;
    journal::Record record;
    TModuleSettings sent;  // a write's: the window's settings, then each block as its frame went
  };
  std::vector<WindowAction> actions_;  // commands sent and not yet ended
  std::vector<TModuleSettings> compareReads_;
  TModuleSettings compareRead_{};
  bool comparing_ = false;
  std::unique_ptr<TFormCompare> compare_;
  std::unique_ptr<TFormJournal> journalWindow_;
};

inline constexpr const char* kCloseWhileWriting =
    QT_TRANSLATE_NOOP("Messages", "Идет загрузка параметров в модуль. Закрыть программу?");
inline constexpr const char* kCloseUnsaved = QT_TRANSLATE_NOOP(
    "Messages", "Изменения настроек не загружены в модуль и не сохранены в файл. Закрыть программу?");
