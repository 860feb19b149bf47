// SPDX-License-Identifier: GPL-3.0-or-later
// A pulled adapter that comes back: the window waits for its port and connects again, on real
// pseudo-terminals whose path goes and comes back as a USB adapter's device file does.
#include <gtest/gtest.h>

#include <QLabel>
#include <QSettings>
#include <QStatusBar>
#include <QTest>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "app/forms.h"
#include "app/remembered_port.h"
#include "app/vexa_main_v1.h"
#include "gui/message_box.h"
#ifndef _WIN32
#include "platform/kernel.h"
#include "platform/serial.h"
#endif
#include "sim/pty_simulator.h"
#include "tests/support/patience.h"
#include "views/line_monitor.h"

// Pseudo-terminals are Linux's; Windows' side is shown under Wine by scripts/windows-desktop.
#ifndef _WIN32
namespace {

namespace fs = std::filesystem;
using testing_support::kPatienceMs;

// An adapter at a path of its own: a link to a simulator's pseudo-terminal, which goes when it is
// pulled and comes back (to a new simulator) when it is plugged.
class Adapter {
 public:
  explicit Adapter(fs::path link) : link_(std::move(link)) {}
  void Plug() {
    sim_ = std::make_unique<sim::PtySimulator>();
    const fs::path made = link_.string() + ".new";
    fs::remove(made);
    fs::create_symlink(sim_->DevicePath(), made);
    fs::rename(made, link_);  // appears in one step, as udev makes a node
  }
  // The device file goes first, then the line hangs up at the next request.
  void Pull() {
    fs::remove(link_);
    sim::Faults gone;
    gone.hangUpAfter = 0;
    sim_->SetFaults(gone);
  }
  sim::PtySimulator& Sim() { return *sim_; }
  const fs::path& Path() const { return link_; }

 private:
  fs::path link_;
  std::unique_ptr<sim::PtySimulator> sim_;
};

class ReconnectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ =
        fs::temp_directory_path() / ("vexa_reconnect_" + std::to_string(QCoreApplication::applicationPid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    adapter_ = std::make_unique<Adapter>(dir_ / "ttyUSB-adapter");
    TSioCustomComm::SetClosePause(0);
    SetMessageBoxService(&boxes_);
    RememberPort("");
    // As at the first start: nothing kept of the option.
    QSettings(QSettings::IniFormat, QSettings::UserScope, "vexa-setup", "port").remove("reconnect");
    StartWindow();
  }
  void StartWindow() {
    CreateForms();
    w = FormMain;
    w->SetJournalPath(dir_ / "journal.jsonl");
    w->show();
    QObject::connect(w->statusBar(), &QStatusBar::messageChanged, w, [this](const QString& message) {
      if (!message.isEmpty()) said_.push_back(message.toStdString());
    });
  }
  void TearDown() override {
    if (w == nullptr) return;
    DestroyForms();
    SetMessageBoxService(nullptr);
    TSioCustomComm::SetClosePause(300);
    adapter_.reset();
    fs::remove_all(dir_);
  }
  bool Connected() const { return w->MenuConn_Discon->isEnabled() && w->MenuExec->isEnabled(); }
  bool Closed() const {
    return w->MenuConn_Connect->isEnabled() && !w->MenuConn_Discon->isEnabled() && !w->MenuExec->isEnabled();
  }
  // The link down, its port awaited: only "Отключить" is offered.
  bool Waiting() const {
    return !w->MenuConn_Connect->isEnabled() && w->MenuConn_Discon->isEnabled() && !w->MenuExec->isEnabled();
  }
  // What a failure shows: the boxes and the status bar's messages.
  std::string State() const {
    std::string state = "boxes:";
    for (const auto& box : boxes_.shown) state += " [" + box.text + "]";
    state += " said:";
    for (const auto& note : said_) state += " [" + note + "]";
    return state;
  }
  std::size_t Samples() const { return w->History().Samples().size(); }
  void ConnectToAdapter() {
    adapter_->Plug();
    w->AddPortChoice("adapter", adapter_->Path().string())->trigger();
    w->MenuConn_Connect->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Connected() && Samples() > 0; }, kPatienceMs));
  }
  // "Адаптер отключен, ожидание его возвращения на <port>… (<the port's error>)"
  bool IsGoneNote(const std::string& note) const {
    const std::string start =
        "Адаптер отключен, ожидание его возвращения на " + adapter_->Path().string() + "… (";
    return note.size() > start.size() + 1 && note.rfind(start, 0) == 0 && note.back() == ')';
  }
  // Pulls the adapter and waits until the window has let the link go.
  void PullAndWait(bool waiting) {
    adapter_->Pull();
    ASSERT_TRUE(QTest::qWaitFor([&] { return waiting ? Waiting() : Closed(); }, kPatienceMs)) << State();
  }

  fs::path dir_;
  std::unique_ptr<Adapter> adapter_;
  ScriptedMessageBoxes boxes_;
  std::vector<std::string> said_;  // the status bar's messages, in order
  TFormMain* w = nullptr;
};

TEST_F(ReconnectTest, TimedThePulledAdapterIsConnectedAgainOnItsReturn) {
  EXPECT_FALSE(w->MenuConn_Reconnect->isChecked()) << "off at the first start";
  w->MenuConn_Reconnect->trigger();
  DestroyForms();
  StartWindow();
  EXPECT_TRUE(w->MenuConn_Reconnect->isChecked()) << "on at the next start";
  w->MenuView_LedOut->trigger();
  ConnectToAdapter();
  PullAndWait(true);
  ASSERT_EQ(said_.size(), 1U);
  EXPECT_TRUE(IsGoneNote(said_[0])) << said_[0];
  EXPECT_EQ(w->LineMonitor()->Label_Note->text().toStdString(), said_[0]);
  QTest::qWait(700);  // more than one look at the missing port: nothing more is said
  EXPECT_EQ(said_.size(), 1U);

  const std::size_t before = Samples();
  const auto plugged = std::chrono::steady_clock::now();
  adapter_->Plug();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Connected(); }, kPatienceMs));
  const auto took =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - plugged);
  EXPECT_LT(took.count(), 2000);
  std::printf("connected again %lld ms after the adapter was plugged\n",
              static_cast<long long>(took.count()));
  ASSERT_TRUE(QTest::qWaitFor([&] { return Samples() > before + 1; }, kPatienceMs))
      << "live values move again";
  int gaps = 0;
  for (const LiveSample& s : w->History().Samples()) gaps += s.breakBefore ? 1 : 0;
  EXPECT_EQ(gaps, 1);
  ASSERT_EQ(said_.size(), 2U);
  EXPECT_EQ(said_[1], "Адаптер снова на месте: " + adapter_->Path().string());
  EXPECT_EQ(w->LineMonitor()->Label_Note->text().toStdString(), said_[1]);
  EXPECT_TRUE(boxes_.shown.empty()) << boxes_.shown.front().text;
}

// With the option off the loss is a box and the link stays closed; "Отключить", or the option turned
// off, while waiting ends the waiting; a pull while disconnecting closes the link as asked.
TEST_F(ReconnectTest, WithoutTheOptionOrAfterDisconnectingNothingReconnects) {
  ConnectToAdapter();
  PullAndWait(false);
  ASSERT_EQ(boxes_.shown.size(), 1U);
  EXPECT_TRUE(said_.empty());
  adapter_->Plug();
  QTest::qWait(1500);
  EXPECT_TRUE(Closed());

  w->MenuConn_Reconnect->trigger();
  w->MenuConn_Connect->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Connected(); }, kPatienceMs));
  PullAndWait(true);
  w->MenuConn_Discon->trigger();
  EXPECT_TRUE(Closed());
  EXPECT_EQ(said_.back(), "Ожидание адаптера прекращено.");
  adapter_->Plug();
  QTest::qWait(1500);
  EXPECT_TRUE(Closed());
  EXPECT_EQ(boxes_.shown.size(), 1U);

  w->MenuConn_Connect->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Connected(); }, kPatienceMs));
  PullAndWait(true);
  w->MenuConn_Reconnect->trigger();
  EXPECT_TRUE(Closed());
  EXPECT_EQ(said_.back(), "Ожидание адаптера прекращено.");

  w->MenuConn_Reconnect->trigger();
  adapter_->Plug();
  w->MenuConn_Connect->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Connected(); }, kPatienceMs));
  const std::size_t saidBefore = said_.size();
  w->MenuConn_Discon->trigger();
  adapter_->Pull();  // before the module's answer: the disconnect request goes unanswered
  ASSERT_TRUE(QTest::qWaitFor([&] { return Closed(); }, kPatienceMs)) << State();
  QTest::qWait(700);
  EXPECT_TRUE(Closed());
  EXPECT_EQ(boxes_.shown.size(), 2U) << State();
  EXPECT_EQ(said_.size(), saidBefore) << "not awaited";
}

// A port that is back but does not open (held by another program) is said once, and waited for
// until it opens.
TEST_F(ReconnectTest, APortThatRefusesIsSaidOnceAndAwaited) {
  w->MenuConn_Reconnect->trigger();
  ConnectToAdapter();
  PullAndWait(true);
  adapter_->Plug();
  // Held as another program holds it, before the window looks (no event runs in between). As root
  // a port never refuses for want of permission: "busy" stands for both.
  using namespace platform;
  const HANDLE holder = CreateFile(adapter_->Path().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                   OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(QTest::qWaitFor([&] { return said_.size() == 2; }, kPatienceMs));
  EXPECT_EQ(said_[1].rfind("Адаптер на месте, но порт не открывается: ", 0), 0U) << said_[1];
  EXPECT_NE(said_[1].find("Порт занят другой программой."), std::string::npos) << said_[1];
  QTest::qWait(1200);
  EXPECT_EQ(said_.size(), 2U) << "said once";
  EXPECT_TRUE(Waiting());
  CloseHandle(holder);
  ASSERT_TRUE(QTest::qWaitFor([&] { return Connected(); }, kPatienceMs));
  EXPECT_TRUE(boxes_.shown.empty());
}

// A write cut by the pull is reported failed, as without the option; after the return nothing of it
// goes out again.
TEST_F(ReconnectTest, AWriteCutByThePullIsReportedAndNotResumed) {
  w->MenuConn_Reconnect->trigger();
  ConnectToAdapter();
  w->MenuExec_Block->trigger();  // writes are allowed with the outputs blocked
  ASSERT_TRUE(QTest::qWaitFor([&] { return w->MenuExec_Block->isChecked(); }, kPatienceMs));
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return !w->Engine().Wait_reply && w->Engine().Request_code == 0 && w->Engine().Poll_count > 20; },
      kPatienceMs));
  std::size_t requests = 0;
  for (const sim::LogEntry& e : adapter_->Sim().Log()) requests += e.request ? 1 : 0;
  fs::remove(adapter_->Path());
  sim::Faults pulled;
  pulled.hangUpAfter = static_cast<unsigned>(requests + 2);  // the system block and one channel block
  adapter_->Sim().SetFaults(pulled);
  boxes_.answers = {BoxAnswer::Yes};
  w->MenuExec_WriteParam->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Waiting(); }, kPatienceMs)) << State();
  ASSERT_EQ(boxes_.shown.size(), 2U) << "the question, then the port's error";
  EXPECT_FALSE(boxes_.shown[1].text.empty());
  adapter_->Plug();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Connected(); }, kPatienceMs));
  QTest::qWait(1500);
  for (const sim::LogEntry& e : adapter_->Sim().Log())
    EXPECT_FALSE(e.request && CommandOfRequest(e.bytes) == Req_write_param) << "a write went out again";
  EXPECT_EQ(boxes_.shown.size(), 2U);
}

}  // namespace
#endif  // _WIN32
