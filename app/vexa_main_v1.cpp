// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/vexa_main_v1.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFrame>
#include <QGroupBox>
#include <QMenuBar>
#include <QStatusBar>

#include <algorithm>
#include <cstring>
#include <vector>

#include "app/forms.h"
#include "app/journal_window.h"
#include "app/module_compare.h"
#include "app/other_port.h"
#include "app/remembered_port.h"
#include "app/window_journal.h"
#include "comm/Siodisplay.h"
#include "gui/error_box.h"
#include "gui/message_box.h"
#include "gui/module_picture.h"
#include "journal/journal_place.h"
#include "link/wall_clock.h"
#include "platform/kernel.h"
#include "platform/ports.h"
#include "settings/settings_codec.h"
#include "settings/settings_file.h"
#include "settings/text_number.h"
#include "settings/text_report.h"
#include "sim/in_process_line.h"
#include "sim/pty_simulator.h"
#include "views/diagram.h"
#include "views/help_windows.h"
#include "views/line_monitor.h"

namespace {

// Where the system has pseudo-terminals the built-in simulator sits on one, so that the real serial
// component carries its exchanges; elsewhere (Windows) it joins the link in-process.
bool gSimulatorInProcess = !sim::PtySimulator::Available();

QLabel* MakeLabel(QWidget* parent, const QString& text, int x, int y, int w = -1, int h = 14) {
  auto* label = new QLabel(text, parent);
  label->setGeometry(x, y, w < 0 ? label->sizeHint().width() + 2 : w, h);
  return label;
}

template <class T>
T* Named(T* widget, const QString& name) {
  widget->setObjectName(name);
  return widget;
}

TShape* MakeLamp(QWidget* parent, const QString& name, int x, int y, const QString& hint = {}) {
  auto* lamp = Named(new TShape(parent), name);
  lamp->move(x, y);
  if (!hint.isEmpty()) lamp->setToolTip(hint);
  return lamp;
}

TEdit* MakeField(QWidget* parent, const QString& name, int x, int y, int w) {
  auto* edit = Named(new TEdit(parent), name);
  edit->setGeometry(x, y, w, 19);
  edit->setReadOnly(true);
  edit->setFocusPolicy(Qt::NoFocus);
  edit->setText("0");
  return edit;
}

// The five dialogs, those created (all but in tests that build the window alone).
std::vector<QWidget*> SettingsDialogs() {
  std::vector<QWidget*> dialogs;
  for (QWidget* dialog :
       std::initializer_list<QWidget*>{FormSetChanel, FormInterf, FormLogic, Form_Led_tenu, Form_Calc})
    if (dialog != nullptr) dialogs.push_back(dialog);
  return dialogs;
}

}  // namespace

TFormMain::TFormMain() : engine_(*this, *this), live_(*this) {
  engine_.SetExchangeRecord(&exchanges_);
  exchanges_.OnExchange = [this](const Exchange& exchange) {
    if (monitor_ != nullptr) monitor_->ExchangeEnded();
    ActionExchange(exchange);
  };
  setWindowTitle(tr("Настройка модуля VEXA"));
  QFont font("DejaVu Sans");
  font.setPixelSize(11);
  setFont(font);
  BuildLayout();
  BuildMenus();
  ChooseRememberedPort();
  statusBar()->setSizeGripEnabled(false);
  journalWarning_ = new QLabel(this);
  journalWarning_->setObjectName("Label_JournalWarning");
  statusBar()->addPermanentWidget(journalWarning_, 1);
  SetJournalPath(JournalPath());
  move(340, 203);

  sioComm1_.SetSyncCall([this](const std::function<void()>& step) { calls_.Call(step); });
  sioComm1_.SetBaudrate(br19200);
  sioComm1_.SetDeviceName("COM%d");
  sioComm1_.OnRxChar = [this](TSioCustomComm*, int count) { SioComm1OnRxChar(count); };

  Timer1.setTimerType(Qt::PreciseTimer);
  Timer1.setInterval(10);
  connect(&Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
  Timer2.setTimerType(Qt::PreciseTimer);
  Timer2.setInterval(10);
  connect(&Timer2, &QTimer::timeout, this, [this] { Timer2Timer(); });
  Timer_TimeOut.setInterval(2000);
  connect(&Timer_TimeOut, &QTimer::timeout, this, [this] { Timer_TimeOutTimer(); });
  Timer1.start();

  live_.Init_views(Binding());
  RememberSettings();
  SetSioApplicationErrorHandler([this](std::exception_ptr error) { PortError(error); });
  portReturn_.Refused = [this](std::uint32_t code) { AdapterRefused(code); };
  portReturn_.Returned = [this](const std::string& device) { AdapterReturned(device); };
}

TFormMain::~TFormMain() {
  SetSioApplicationErrorHandler(nullptr);
  Timer1.stop();
  sioComm1_.Close();
  StopSimulator();
  // The port's threads end by themselves after the close; run the steps they may still hand over so
  // that none of them outlives the queue.
  for (int i = 0; i < 400 && TSioThread::RunningCount() > 0; ++i) {
    calls_.RunQueued();
    platform::Sleep(5);
  }
}

ViewBinding TFormMain::Binding() const {
  ViewBinding binding{};
  for (int ch = 0; ch < 4; ++ch) {
    binding.channel[ch] = {Edit_val[ch], Edit_curr[ch], Edit_adc[ch], Edit_dac[ch], {}};
    for (int i = 0; i < 8; ++i) binding.channel[ch].lamp[i] = Shape_ch[ch][i];
  }
  for (int i = 0; i < 12; ++i) binding.logic[i] = Shape_log[i];
  for (int i = 0; i < 6; ++i) binding.module[i] = Shape_sys[i];
  binding.version = Label_Version;
  return binding;
}

void TFormMain::BuildLayout() {
  auto* client = new QWidget(this);
  client->setFixedSize(661, 281);
  setCentralWidget(client);

  // Top panel.
  auto* panel = Named(new QFrame(client), "Panel1");
  panel->setFrameShape(QFrame::StyledPanel);
  panel->setGeometry(0, 0, 449, 61);
  auto* image = Named(new QLabel(panel), "Image1");
  image->setGeometry(6, 8, 64, 44);
  image->setPixmap(ModulePicture());
  Named(MakeLabel(panel, tr("Версия ПО VEXA"), 84, 10), "Label24");
  Label_Version = Named(new TLabel("--.--", panel), "Label_Version");
  Label_Version->setGeometry(84, 30, 60, 16);
  QFont bold = Label_Version->font();
  bold.setBold(true);
  bold.setPixelSize(13);
  Label_Version->setFont(bold);
  Named(MakeLabel(panel, tr("Номер модуля VEXA"), 200, 10), "Label22");
  MaskEdit_Number = Named(new TMaskEdit("9999;1;0", panel), "MaskEdit_Number");
  MaskEdit_Number->setGeometry(330, 7, 42, 19);
  MaskEdit_Number->setFocusPolicy(Qt::ClickFocus);
  Named(MakeLabel(panel, tr("Год выпуска  VEXA"), 200, 35), "Label23");
  MaskEdit_Year = Named(new TMaskEdit("99;1;0", panel), "MaskEdit_Year");
  MaskEdit_Year->setGeometry(330, 32, 26, 19);
  MaskEdit_Year->setFocusPolicy(Qt::ClickFocus);
  Shape_LedUpdate = MakeLamp(panel, "Shape_LedUpdate", 435, 47);

  // Channel area.
  auto* channels = Named(new QGroupBox(tr("Текущее состояние каналов измерения"), client), "GroupBox1");
  channels->setGeometry(0, 64, 449, 217);
  const char* const rows[] = {QT_TR_NOOP("Выход за уставки"), QT_TR_NOOP("Значение параметра"),
                              QT_TR_NOOP("Ток датчика, мА"),  QT_TR_NOOP("Значение АЦП"),
                              QT_TR_NOOP("Значение ЦАП"),     QT_TR_NOOP("Ошибка параметров")};
  const int rowY[] = {46, 72, 98, 124, 150, 180};
  for (int r = 0; r < 6; ++r) MakeLabel(channels, tr(rows[r]), 8, rowY[r] + 2);
  const char* const lampNames[] = {"crc", "corr", "smin", "smax", "p1", "p2", "p3", "p4"};
  for (int ch = 0; ch < 4; ++ch) {
    const int x = 156 + 72 * ch;
    const QString n = QString::number(ch + 1);
    auto* bevel = Named(new QFrame(channels), "Bevel" + n);
    bevel->setFrameShape(QFrame::Box);
    bevel->setFrameShadow(QFrame::Sunken);
    bevel->setGeometry(x, 16, 69, 193);
    auto* head = MakeLabel(channels, tr("Канал %1").arg(n), x, 20, 69, 14);
    head->setAlignment(Qt::AlignCenter);
    QFont headFont = head->font();
    headFont.setBold(true);
    headFont.setUnderline(true);
    head->setFont(headFont);
    for (int k = 0; k < 4; ++k) {
      auto* digit = MakeLabel(channels, QString::number(k + 1), x + 9 + 14 * k, 36, 9, 10);
      QFont small = digit->font();
      small.setPixelSize(8);
      digit->setFont(small);
      digit->setAlignment(Qt::AlignCenter);
      Shape_ch[ch][4 + k] =
          MakeLamp(channels, QString("Shape_ch_%1_%2").arg(lampNames[4 + k]).arg(n), x + 9 + 14 * k, 48);
    }
    Edit_val[ch] = MakeField(channels, "Edit_val_" + n, x + 6, 70, 57);
    Shape_ch[ch][2] =
        MakeLamp(channels, "Shape_ch_smin_" + n, x + 4, 96, tr("Ток датчика ниже допустимого уровня"));
    Shape_ch[ch][3] =
        MakeLamp(channels, "Shape_ch_smax_" + n, x + 4, 106, tr("Ток датчика выше допустимого уровня"));
    Edit_curr[ch] = MakeField(channels, "Edit_curr_" + n, x + 15, 96, 49);
    Edit_adc[ch] = MakeField(channels, "Edit_adc_" + n, x + 6, 122, 57);
    Edit_dac[ch] = MakeField(channels, "Edit_dac_" + n, x + 6, 148, 57);
    Shape_ch[ch][0] = MakeLamp(channels, "Shape_ch_crc_" + n, x + 22, 184, tr("Ошибка контрольной суммы"));
    Shape_ch[ch][1] =
        MakeLamp(channels, "Shape_ch_corr_" + n, x + 38, 184, tr("Загрузка параметров из резервной секции"));
  }

  // Module area.
  auto* module = Named(new QGroupBox(tr("Текущее состояние модуля"), client), "GroupBox2");
  module->setGeometry(452, 0, 209, 281);
  auto underlined = [](QLabel* label) {
    QFont f = label->font();
    f.setUnderline(true);
    label->setFont(f);
    return label;
  };
  underlined(MakeLabel(module, tr("Логические выходы"), 10, 22));
  for (int i = 0; i < 12; ++i) {
    const int col = i / 4, row = i % 4;
    const int x = 10 + 66 * col, y = 42 + 20 * row;
    Shape_log[i] = MakeLamp(module, QString("Shape_log_%1").arg(i + 1), x, y + 2);
    MakeLabel(module, tr("Вых. %1").arg(i + 1), x + 14, y);
  }
  underlined(MakeLabel(module, tr("Сигнализация"), 10, 130));
  const char* const sysLabels[] = {QT_TR_NOOP("Ошибка параметров"),   QT_TR_NOOP("Коррекция параметров"),
                                   QT_TR_NOOP("Ошибка  CAN интерф."), QT_TR_NOOP("Старт. блокир. выходов"),
                                   QT_TR_NOOP("Блокировка выходов"),  QT_TR_NOOP("Блокировка работы VEXA")};
  const char* const sysNames[] = {"crc", "corr", "can", "start", "user", "off"};
  for (int i = 0; i < 6; ++i) {
    const int y = 150 + 21 * i;
    MakeLabel(module, tr(sysLabels[i]), 10, y);
    Shape_sys[i] = MakeLamp(module, QString("Shape_sys_%1").arg(sysNames[i]), 182, y + 2);
  }
}

void TFormMain::BuildMenus() {
  QMenuBar* bar = menuBar();
  const auto action = [](QMenu* menu, const QString& text, const QString& name) {
    QAction* a = menu->addAction(text);
    a->setObjectName(name);
    return a;
  };
  MenuFile = Named(bar->addMenu(tr("Файл")), "MenuFile");
  MenuFile_Open = action(MenuFile, tr("Открыть"), "MenuFile_Open");
  MenuFile_Save = action(MenuFile, tr("Сохранить"), "MenuFile_Save");
  N1 = action(MenuFile, tr("Текстовый отчет"), "N1");
  MenuFile->addSeparator();
  MenuFile_Reset = action(MenuFile, tr("Сброс формы"), "MenuFile_Reset");

  MenuExec = Named(bar->addMenu(tr("Действие")), "MenuExec");
  MenuExec_Block = action(MenuExec, tr("Блокировка выходов", "menu command"), "MenuExec_Block");
  MenuExec_Block->setCheckable(true);
  MenuExec_Reset = action(MenuExec, tr("Сброс VEXA"), "MenuExec_Reset");
  MenuExec->addSeparator();
  MenuExec_ReadParam = action(MenuExec, tr("Прочитать настройки из VEXA"), "MenuExec_ReadParam");
  MenuExec_WriteParam = action(MenuExec, tr("Загрузить настройки в VEXA"), "MenuExec_WriteParam");
  MenuExec_Compare = action(MenuExec, tr("Сравнить с модулем"), "MenuExec_Compare");
  MenuExec->addSeparator();
  MenuExec_SaveEEPROM = action(MenuExec, tr("Сохранить настройки в памяти VEXA"), "MenuExec_SaveEEPROM");
  MenuExec->setEnabled(false);

  MenuSetup = Named(bar->addMenu(tr("Настройка")), "MenuSetup");
  MenuSetup_Chanel = action(MenuSetup, tr("Параметры каналов измерения"), "MenuSetup_Chanel");
  MenuSetup->addSeparator();
  MenuSetup_Interf = action(MenuSetup, tr("Параметры интерфейсов связи"), "MenuSetup_Interf");
  MenuSetup_Logic = action(MenuSetup, tr("Логическая сигнализация"), "MenuSetup_Logic");
  Tenu1 = action(MenuSetup, tr("Индикация варианта 'Tenu'"), "Tenu1");

  MenuConn = Named(bar->addMenu(tr("Соединение")), "MenuConn");
  MenuConn_Connect = action(MenuConn, tr("Соединить"), "MenuConn_Connect");
  MenuConn_Discon = action(MenuConn, tr("Отключить"), "MenuConn_Discon");
  MenuConn_Discon->setEnabled(false);
  MenuConn_Reconnect = action(MenuConn, tr("Переподключать автоматически"), "MenuConn_Reconnect");
  MenuConn_Reconnect->setCheckable(true);
  MenuConn_Reconnect->setChecked(RememberedReconnect());
  MenuConn->addSeparator();
  MenuConn_COM1 = Named(MenuConn->addMenu(tr("Выбор COM порта")), "MenuConn_COM1");
  portGroup_ = new QActionGroup(this);
  portGroup_->setExclusive(true);
  for (int i = 0; i < 4; ++i) {
    Menu_sel_COM[i] =
        action(MenuConn_COM1, QString("COM %1").arg(i + 1), QString("Menu_sel_COM%1").arg(i + 1));
    Menu_sel_COM[i]->setCheckable(true);
    portGroup_->addAction(Menu_sel_COM[i]);
    connect(Menu_sel_COM[i], &QAction::triggered, this, [this, i] { Menu_sel_COMClick(i + 1); });
  }
  Menu_sel_COM[0]->setChecked(true);
  MenuConn_COM1->addSeparator();
  Menu_sel_Sim = action(MenuConn_COM1, tr("Имитатор модуля VEXA"), "Menu_sel_Sim");
  Menu_sel_Sim->setCheckable(true);
  portGroup_->addAction(Menu_sel_Sim);
  MenuConn_COM1->addSeparator();
  Menu_sel_Other = action(MenuConn_COM1, tr("Другой порт…"), "Menu_sel_Other");
  connect(MenuConn_COM1, &QMenu::aboutToShow, this, [this] { RefreshPortChoices(); });

  MenuView = Named(bar->addMenu(tr("Вид")), "MenuView");
  MenuView_LedOut = action(MenuView, tr("Состояние индикации"), "MenuView_LedOut");
  MenuView_Diagram = action(MenuView, tr("Диаграмма"), "MenuView_Diagram");
  MenuView_Journal = action(MenuView, tr("Журнал работ"), "MenuView_Journal");
  N2 = action(MenuView, tr("Закрыть все вспомогательные окна"), "N2");
  MenuView->addSeparator();
  // Named in both languages, so that either reader finds it.
  MenuView_Language = Named(MenuView->addMenu("Язык / Language"), "MenuView_Language");
  auto* languages = new QActionGroup(this);
  for (const auto& [language, caption] :
       {std::pair{UiLanguage::Russian, "Русский"}, {UiLanguage::English, "English"}}) {
    QAction* choice = action(MenuView_Language, caption, "MenuView_Language_" + LanguageCode(language));
    choice->setCheckable(true);
    choice->setChecked(language == CurrentLanguage());
    languages->addAction(choice);
    connect(choice, &QAction::triggered, this, [this, language] { MenuView_LanguageClick(language); });
  }
  MenuHelp = Named(bar->addMenu(tr("Помощь")), "MenuHelp");
  MenuHelp_Manual = action(MenuHelp, tr("Правила работы"), "MenuHelp_Manual");
  MenuHelp->addSeparator();
  MenuHelp_About = action(MenuHelp, tr("О программе ..."), "MenuHelp_About");

  // An exception from a handler goes to the error box and the program goes on.
  const auto guarded = [](auto handler) { return [handler] { Guarded(handler); }; };
  connect(MenuConn_Connect, &QAction::triggered, this, guarded([this] { MenuConn_ConnectClick(); }));
  connect(MenuConn_Discon, &QAction::triggered, this, guarded([this] { MenuConn_DisconClick(); }));
  connect(MenuConn_Reconnect, &QAction::toggled, this, [this](bool on) {
    RememberReconnect(on);
    if (!on && portReturn_.Waiting()) StopAwaiting();
  });
  connect(MenuExec_Block, &QAction::triggered, this, guarded([this] {
            MenuExec_Block->setChecked(!MenuExec_Block->isChecked());  // only the module's answer moves it
            MenuExec_BlockClick();
          }));
  connect(MenuExec_Reset, &QAction::triggered, this, guarded([this] { MenuExec_ResetClick(); }));
  connect(MenuExec_ReadParam, &QAction::triggered, this, guarded([this] { MenuExec_ReadParamClick(); }));
  connect(MenuExec_WriteParam, &QAction::triggered, this, guarded([this] { MenuExec_WriteParamClick(); }));
  connect(MenuExec_SaveEEPROM, &QAction::triggered, this, guarded([this] { MenuExec_SaveEEPROMClick(); }));
  connect(MenuFile_Open, &QAction::triggered, this, guarded([this] { MenuFile_OpenClick(); }));
  connect(MenuFile_Save, &QAction::triggered, this, guarded([this] { MenuFile_SaveClick(); }));
  connect(N1, &QAction::triggered, this, guarded([this] { N1Click(); }));
  connect(MenuFile_Reset, &QAction::triggered, this, guarded([this] { MenuFile_ResetClick(); }));
  connect(MenuSetup_Chanel, &QAction::triggered, this, [this] { MenuSetup_ChanelClick(); });
  connect(MenuSetup_Interf, &QAction::triggered, this, [this] { MenuSetup_InterfClick(); });
  connect(MenuSetup_Logic, &QAction::triggered, this, [this] { MenuSetup_LogicClick(); });
  connect(Tenu1, &QAction::triggered, this, [this] { Tenu1Click(); });
  connect(Menu_sel_Other, &QAction::triggered, this, guarded([this] { Menu_sel_OtherClick(); }));
  connect(MenuView_LedOut, &QAction::triggered, this, guarded([this] { MenuView_LedOutClick(); }));
  connect(MenuView_Diagram, &QAction::triggered, this, guarded([this] { MenuView_DiagramClick(); }));
  connect(MenuView_Journal, &QAction::triggered, this, guarded([this] { MenuView_JournalClick(); }));
  connect(MenuExec_Compare, &QAction::triggered, this, guarded([this] { MenuExec_CompareClick(); }));
  connect(N2, &QAction::triggered, this, guarded([this] { N2Click(); }));
  connect(MenuHelp_Manual, &QAction::triggered, this, guarded([this] { MenuHelp_ManualClick(); }));
  connect(MenuHelp_About, &QAction::triggered, this, guarded([this] { MenuHelp_AboutClick(); }));
}

QAction* TFormMain::AddPortChoice(const QString& caption, const std::string& device) {
  QAction* choice = new QAction(caption, MenuConn_COM1);
  choice->setCheckable(true);
  choice->setData(QString::fromStdString(device));
  choice->setProperty("discovered", true);
  MenuConn_COM1->insertAction(Menu_sel_Sim, choice);
  portGroup_->addAction(choice);
  return choice;
}

// Discovered devices are listed anew each time the submenu opens; a checked one stays.
void TFormMain::RefreshPortChoices() {
  std::string chosen;
  std::vector<std::string> typed;
  for (QAction* a : MenuConn_COM1->actions())
    if (a->property("typed").toBool()) typed.push_back(a->data().toString().toStdString());
  for (QAction* a : MenuConn_COM1->actions()) {
    if (!a->property("discovered").toBool()) continue;
    if (a->isChecked()) {
      chosen = a->data().toString().toStdString();
      continue;
    }
    portGroup_->removeAction(a);
    delete a;
  }
  for (const auto& port : platform::EachNameOnce(platform::ListSerialPorts())) {
    if (port.name.rfind("COM", 0) == 0 && port.name.size() == 4 && port.name[3] >= '1' && port.name[3] <= '4')
      continue;
    if (port.path == chosen || std::find(typed.begin(), typed.end(), port.path) != typed.end()) continue;
    AddPortChoice(QString::fromStdString(port.name + "  (" + port.description + ")"), port.path);
  }
}

void TFormMain::Menu_sel_COMClick(int n) { Menu_sel_COM[n - 1]->setChecked(true); }

void TFormMain::Menu_sel_OtherClick() {
  TFormOtherPort dialog(this);
  QString typed = dialog.Ask();
  if (typed.isEmpty()) return;
  // A relative path names a file from here; bare names ("ttyUSB0", "COM7") are the system's.
  if (typed.startsWith("~/")) typed = QDir::homePath() + typed.mid(1);
  if (typed.contains('/') && QDir::isRelativePath(typed)) typed = QDir::current().absoluteFilePath(typed);
  const std::string path = QDir::cleanPath(typed).toStdString();
  for (QAction* a : MenuConn_COM1->actions()) {
    if (a->property("typed").toBool() && a->data().toString().toStdString() == path) {
      a->setChecked(true);
      return;
    }
  }
  if (const std::string why = NotAPortMessage(path); !why.empty()) {
    MessageBoxes().Show(why, kOtherPortCaption, BoxButtons::Ok);
    return;
  }
  QAction* choice = AddPortChoice(QString::fromStdString(path), path);
  choice->setProperty("discovered", false);
  choice->setProperty("typed", true);
  choice->setChecked(true);
}

void TFormMain::MenuConn_ConnectClick() {
  RememberPort(ChosenPort());  // chosen at the next start, while it is there
  if (returnedDevice_.empty()) LinkNote({});
  MenuConn_Connect->setEnabled(false);
  MenuConn_COM1->setEnabled(false);
  for (int i = 0; i < 4; ++i)
    if (Menu_sel_COM[i]->isChecked()) sioComm1_.SetDeviceName("COM" + std::to_string(i + 1));
  if (QAction* other = portGroup_->checkedAction();
      other != nullptr && (other->property("discovered").toBool() || other->property("typed").toBool()))
    sioComm1_.SetDeviceName(other->data().toString().toStdString());
  exchanges_.NewConnection(Menu_sel_Sim->isChecked() ? Menu_sel_Sim->text().toStdString()
                                                     : sioComm1_.DeviceName());
  // As the engineer chose it: "\\.\COM5" is the system's way to a port above COM9, "COM5" the name.
  journalPort_ = Menu_sel_Sim->isChecked() ? "sim" : sioComm1_.DeviceName();
  if (journalPort_.rfind("\\\\.\\", 0) == 0) journalPort_.erase(0, 4);
  // Looked up while the adapter is there: its by-id name is gone with it.
  awaitedPort_ = Menu_sel_Sim->isChecked() ? "" : platform::StableDeviceName(sioComm1_.DeviceName());
  if (monitor_ != nullptr && monitor_->isVisible()) monitor_->Refresh();
  if (Menu_sel_Sim->isChecked()) {
    try {
      if (gSimulatorInProcess) {
        // Joined to the link without a port: the set-up goes out on the next tick.
        line_ = std::make_unique<sim::InProcessLine>();
        engine_.Request_code = Req_setup;
        engine_.Disconnect_req = 0;
        return;
      }
      simulator_ = std::make_unique<sim::PtySimulator>();
    } catch (const std::exception& e) {
      // No port was opened, so no time-out would bring the window back: it goes back now.
      MessageBoxes().ShowError(QCoreApplication::translate("Messages", "Имитатор модуля VEXA не запущен: %1")
                                   .arg(QString::fromUtf8(e.what()))
                                   .toStdString());
      engine_.Status_no_connect();
      return;
    }
    sioComm1_.SetDeviceName(simulator_->DevicePath());
  }
  Timer_TimeOut.start();
  portErrorShown_ = false;
  try {
    sioComm1_.Open();
  } catch (const ESioCommError& e) {
    if (!returnedDevice_.empty()) return ReturnedPortOpened(false, e.SystemCode());
    // The error box; Timer_TimeOut stays running and brings the window back to Closed.
    std::string text = e.what();
    const std::string hint = platform::OpenRefusalHint(e.SystemCode());
    if (!hint.empty()) text += "\n" + hint;
    MessageBoxes().ShowError(text);
    return;
  }
  engine_.Request_code = Req_setup;
  engine_.Disconnect_req = 0;
  Timer_TimeOut.stop();
  if (!returnedDevice_.empty()) ReturnedPortOpened(true);
}

void TFormMain::MenuConn_DisconClick() {
  if (portReturn_.Waiting()) {
    StopAwaiting();
    return;
  }
  engine_.Request_code = Req_setup;
  engine_.Disconnect_req = 1;
}

void TFormMain::Timer2Timer() {
  if (engine_.Done_message != 0) {  // a read or a write has just completed
    RememberSettings();
    if (engine_.Done_message == 1) {
      source_ = tr("модуль %1").arg(stored_ ? stored_->number : 0);
      sourceFile_.clear();
    }
    // On disk before the box reports it done.
    EndAction(engine_.Done_message == 1 ? Req_read_param : Req_write_param);
  }
  engine_.Timer2Timer();
}

void TFormMain::closeEvent(QCloseEvent* event) {
  // The number and year fields go into the record only when it is written: typed ones count too.
  const auto typed = [](const TMaskEdit* field, std::size_t chars, unsigned recorded) {
    return FloorAsSingle(TextToNumber(field->Text(), chars)) != recorded;
  };
  const bool unsaved = std::memcmp(&ModuleSettings, &kept_, sizeof kept_) != 0 ||
                       typed(MaskEdit_Number, 4, ModuleSettings.SysSet.Number) ||
                       typed(MaskEdit_Year, 2, ModuleSettings.SysSet.Year);
  const char* question = engine_.Writing() ? kCloseWhileWriting : unsaved ? kCloseUnsaved : nullptr;
  if (question != nullptr && !Confirm(question)) {
    event->ignore();
    return;
  }
  // The dialogs are windows of their own: hidden first, so that this window is the last one and its
  // closing ends the program.
  for (QWidget* dialog : SettingsDialogs()) dialog->hide();
  if (monitor_ != nullptr) monitor_->hide();
  if (diagramWindow_ != nullptr) diagramWindow_->hide();
  if (guide_ != nullptr) guide_->hide();
  if (compare_ != nullptr) compare_->hide();
  if (journalWindow_ != nullptr) journalWindow_->hide();
  // A command still under way (a write the engineer chose to close through) is kept as such.
  EndAllActions(tr("не завершено: программа закрыта").toStdString());
  event->accept();
}

void TFormMain::Timer_TimeOutTimer() {
  Timer_TimeOut.stop();
  engine_.Status_no_connect();
}

void TFormMain::Status_connect() {
  Timer_TimeOut.stop();
  MenuExec->setEnabled(true);
  MenuConn_Discon->setEnabled(true);
  if (FormSetChanel != nullptr) FormSetChanel->Set_pwm_enabled(true);
}

void TFormMain::Out_chanel_status(int ch, const std::uint8_t* data) {
  live_.Out_chanel_status(ch, data);
  std::copy(data, data + 11, cycle_[static_cast<std::size_t>(ch)].begin());
  if (ch != 3) return;  // the cycle's last block
  history_.Add(WallClockMs(),
               DecodeLiveValues({cycle_[0].data(), cycle_[1].data(), cycle_[2].data(), cycle_[3].data()}));
  if (diagram_ != nullptr) diagram_->Refresh();
}

void TFormMain::Status_no_connect() {
  history_.LinkDown();
  Timer_TimeOut.stop();
  MenuExec->setEnabled(false);
  MenuConn_Discon->setEnabled(false);
  MenuConn_Connect->setEnabled(true);
  MenuConn_COM1->setEnabled(true);
  if (FormSetChanel != nullptr) FormSetChanel->Set_pwm_enabled(false);
  MenuExec_WriteParam->setEnabled(false);
  MenuExec_SaveEEPROM->setEnabled(false);
  sioComm1_.Close();
  StopSimulator();
  // A link closed without a message (Отключить) ends the actions under way as not done; one with a
  // message has it said as their result first.
  if (!actions_.empty())
    QTimer::singleShot(0, this, [this] { EndAllActions(tr("связь прервана").toStdString()); });
}

void TFormMain::StopSimulator() {
  simulator_.reset();
  line_.reset();
}

void TFormMain::SetSimulatorInProcess(bool inProcess) { gSimulatorInProcess = inProcess; }

void TFormMain::Timer1Timer() {
  // The in-process simulator's answers arrive as a port's receive events would, between ticks.
  if (line_)
    if (const std::size_t due = line_->Due()) engine_.SioComm1OnRxChar(static_cast<int>(due));
  engine_.Timer1Timer();
}

void TFormMain::WriteByte(std::uint8_t byte) {
  if (line_) {
    line_->Write(byte);
  } else {
    sioComm1_.WriteChar(static_cast<char>(byte));
  }
}

// The in-process line hands its bytes in on ticks of its own.
int TFormMain::Waiting() { return line_ ? 0 : UnreadBytes(sioComm1_); }

bool TFormMain::ReadByte(std::uint8_t& byte) {
  if (line_) return line_->Read(byte);
  char ch;
  if (!sioComm1_.ReadChar(ch)) return false;
  byte = static_cast<std::uint8_t>(ch);
  return true;
}

void TFormMain::MessageBox(std::string_view text, std::string_view caption) {
  if (caption == kLinkErrorCaption) ActionLinkLost(TranslatedMessage(text));
  MessageBoxes().Show(text, caption, BoxButtons::Ok);
}

void TFormMain::ShowNumberAndYear(const std::string& number, const std::string& year) {
  MaskEdit_Number->SetText(number);
  MaskEdit_Year->SetText(year);
  // What the module reports of itself is no edit of the user's.
  kept_.SysSet.Number = ModuleSettings.SysSet.Number;
  kept_.SysSet.Year = ModuleSettings.SysSet.Year;
}

void TFormMain::RefreshViews(unsigned refresh) {
  if ((refresh & kRefreshLogic) && FormLogic) FormLogic->Out_data_form();
  if ((refresh & kRefreshInterface) && FormInterf) FormInterf->Out_data_form();
  if ((refresh & kRefreshLedTenu) && Form_Led_tenu) Form_Led_tenu->Out_data_form();
  if ((refresh & kRefreshChanel) && FormSetChanel) FormSetChanel->Out_chanel_form();
}

void TFormMain::SetWritePermission(bool allowed) {
  MenuExec_WriteParam->setEnabled(allowed);
  MenuExec_SaveEEPROM->setEnabled(allowed);
  if (FormSetChanel != nullptr) FormSetChanel->Set_pwm_enabled(allowed);
}

bool TFormMain::Confirm(std::string_view text) {
  return MessageBoxes().Show(text, kAttentionCaption, BoxButtons::YesNo) == BoxAnswer::Yes;
}

void TFormMain::Warn(std::string_view text) { MessageBoxes().Show(text, kAttentionCaption, BoxButtons::Ok); }

void TFormMain::MenuSetup_ChanelClick() { FormSetChanel->ShowAndFocus(); }
void TFormMain::MenuSetup_InterfClick() { FormInterf->ShowAndFocus(); }
void TFormMain::MenuSetup_LogicClick() { FormLogic->ShowAndFocus(); }
void TFormMain::Tenu1Click() { Form_Led_tenu->ShowAndFocus(); }

void TFormMain::MenuView_LedOutClick() {
  if (monitor_ == nullptr) {
    monitor_ = std::make_unique<TFormLineMonitor>(exchanges_);
    sioComm1_.SetDisplay(monitor_->Leds);
  }
  monitor_->show();
  monitor_->raise();
  monitor_->activateWindow();
}

void TFormMain::MenuView_DiagramClick() {
  if (diagram_ == nullptr) {
    diagram_ = new TFormDiagram(history_, ModuleSettings);
    diagramWindow_.reset(diagram_);
  }
  diagram_->show();
  diagram_->raise();
  diagram_->activateWindow();
}

void TFormMain::MenuView_LanguageClick(UiLanguage language) {
  if (const std::optional<QString> failed = RememberLanguage(language)) {
    Warn(QCoreApplication::translate("Messages", "Выбор языка не сохранен: не удалось записать %1.")
             .arg(*failed)
             .toStdString());
    return;
  }
  MessageBoxes().Show(QT_TRANSLATE_NOOP("Messages", "Язык сменится при следующем запуске программы."),
                      "Язык / Language", BoxButtons::Ok);
}

void TFormMain::N2Click() {
  // Each dialog closes as its own close would, asking first about edits not accepted.
  for (QWidget* dialog : SettingsDialogs())
    if (dialog->isVisible()) dialog->close();
  if (monitor_ != nullptr) monitor_->hide();
  if (diagramWindow_ != nullptr) diagramWindow_->hide();
  if (guide_ != nullptr) guide_->hide();
  if (compare_ != nullptr) compare_->hide();
  if (journalWindow_ != nullptr) journalWindow_->hide();
}

void TFormMain::MenuHelp_ManualClick() {
  if (guide_ == nullptr) {
    guide_ = std::make_unique<TFormGuide>();
    if (!guide_->Load()) {
      guide_.reset();
      return;
    }
  }
  guide_->show();
  guide_->raise();
  guide_->activateWindow();
}

void TFormMain::MenuHelp_AboutClick() {
  MessageBoxes().Show(AboutText().toStdString(), QT_TRANSLATE_NOOP("Messages", "О программе"),
                      BoxButtons::Ok);
}

void TFormMain::FileError(const FileResult& result) {
  if (result.outcome != FileOutcome::Done)
    MessageBoxes().Show(FileResultText(result), kFileErrorCaption, BoxButtons::Ok);
}

void TFormMain::MenuFile_OpenClick() {
  if (!OpenDialog1.Execute() || OpenDialog1.FileName().isEmpty()) return;
  if (LoadSettingsFile(PathWithExtension(OpenDialog1.FileName().toStdString(), kSettingsFileExtension)))
    OpenDialog1.Succeeded();
}

bool TFormMain::LoadSettingsFile(const std::filesystem::path& path) {
  const FileResult outcome = OpenSettingsFile(path, ModuleSettings);
  if (outcome == FileOutcome::Done) {
    RememberSettings();
    source_ = QString::fromStdU16String(path.u16string());
    sourceFile_ = source_.toStdString();
    // The dialogs show the file's record, as after a read: a dialog left showing the old one would
    // store its lists and boxes from it over the file's values on the next accept.
    RefreshViews(kRefreshLogic | kRefreshInterface | kRefreshLedTenu | kRefreshChanel);
  }
  FileError(outcome);
  return outcome == FileOutcome::Done;
}

void TFormMain::MenuFile_SaveClick() {
  if (!SaveDialogData.Execute() || SaveDialogData.FileName().isEmpty()) return;
  const std::filesystem::path path =
      PathWithExtension(SaveDialogData.FileName().toStdString(), kSettingsFileExtension);
  const FileResult outcome = SaveSettingsFile(ModuleSettings, path);
  if (outcome == FileOutcome::Done) {
    RememberSettings();
    source_ = QString::fromStdU16String(path.u16string());
    sourceFile_ = source_.toStdString();
    SaveDialogData.Succeeded();
  }
  FileError(outcome);
}

void TFormMain::N1Click() {
  if (!SaveDialogText.Execute() || SaveDialogText.FileName().isEmpty()) return;
  const std::filesystem::path path =
      PathWithExtension(SaveDialogText.FileName().toStdString(), kReportExtension);
  ReportRanges ranges;
  if (Form_Calc != nullptr)
    ranges = {Form_Calc->Values.Vrms_N, Form_Calc->Values.Vrms_V, Form_Calc->Values.Out_N,
              Form_Calc->Values.Out_V};
  const FileResult outcome = WriteTextReport(ModuleSettings, ranges, path);
  if (outcome == FileOutcome::Done) SaveDialogText.Succeeded();
  FileError(outcome);
}

void TFormMain::MenuFile_ResetClick() {
  if (!Confirm(QT_TRANSLATE_NOOP("Messages", "Сбросить форму в исходное состояние?"))) return;
  live_.Init_views(Binding());  // also clears the settings record
  RememberSettings();
  source_ = tr("сброс формы");
  sourceFile_.clear();
  RefreshViews(kRefreshLogic | kRefreshInterface | kRefreshLedTenu | kRefreshChanel);
  if (FormSetChanel != nullptr) FormSetChanel->setEnabled(true);
  for (int ch = 0; ch < 4; ++ch) {
    for (TEdit* edit : {Edit_val[ch], Edit_curr[ch], Edit_adc[ch], Edit_dac[ch]}) edit->setText("0");
    for (TShape* lamp : Shape_ch[ch]) lamp->SetColor(kColorSilver);
  }
  for (TShape* lamp : Shape_log) lamp->SetColor(kColorSilver);
  for (TShape* lamp : Shape_sys) lamp->SetColor(kColorSilver);
  Label_Version->setText("--.--");
  MaskEdit_Number->SetText("0000");
  MaskEdit_Year->SetText("00");
}
