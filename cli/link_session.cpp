#include "cli/link_session.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>

#include <csignal>
#include <cstdio>
#include <exception>

namespace {

volatile std::sig_atomic_t gInterrupted = 0;

}  // namespace

LinkSession::LinkSession(TModuleSettings& record) : engine_(*this, *this, record) {
  // A device that vanished fails every status read of the component: the first error ends the
  // command with one message instead of a line for each.
  SetSioApplicationErrorHandler([this](std::exception_ptr error) {
    std::string text = "unknown error";
    try {
      std::rethrow_exception(error);
    } catch (const std::exception& e) {
      text = e.what();
    } catch (...) {
    }
    std::lock_guard lock(errorMutex_);
    if (componentError_.empty()) componentError_ = text;
  });
  comm_.SetSyncCall([this](const std::function<void()>& step) { calls_.Call(step); });
  comm_.SetBaudrate(br19200);
  comm_.OnRxChar = [this](TSioCustomComm*, int count) { engine_.SioComm1OnRxChar(count); };
  timer1_.setTimerType(Qt::PreciseTimer);
  timer1_.setInterval(10);
  connect(&timer1_, &QTimer::timeout, this, [this] { engine_.Timer1Timer(); });
  timer2_.setTimerType(Qt::PreciseTimer);
  timer2_.setInterval(10);
  connect(&timer2_, &QTimer::timeout, this, [this] { engine_.Timer2Timer(); });
  timer1_.start();
}

LinkSession::~LinkSession() {
  timer1_.stop();
  timer2_.stop();
  comm_.Close();
  // The component's threads end by themselves after a close; let them, running the steps they may
  // still hand over, so that none outlives this object or the process's clean-up.
  QElapsedTimer clock;
  clock.start();
  while (TSioThread::RunningCount() > 0 && clock.elapsed() < 2000) {
    QEventLoop pause;
    QTimer::singleShot(5, &pause, &QEventLoop::quit);
    pause.exec();
  }
  SetSioApplicationErrorHandler(nullptr);
}

void LinkSession::InstallInterruptHandler() {
  std::signal(SIGINT, [](int) { gInterrupted = 1; });
}

bool LinkSession::Interrupted() const { return gInterrupted != 0; }

bool LinkSession::RunUntil(const std::function<bool()>& done, int timeoutMs) {
  QElapsedTimer clock;
  clock.start();
  for (;;) {
    {
      std::lock_guard lock(errorMutex_);
      if (failure_.empty() && !componentError_.empty()) failure_ = componentError_;
    }
    // A failure first: the answer that refuses a command also leaves the engine idle, which is
    // what most commands take for done.
    if (!failure_.empty() || gInterrupted) return false;
    if (done()) return true;
    if (clock.elapsed() > timeoutMs) return false;
    // Sleeps until something happens; the engine's 10 ms tick runs for as long as this object
    // lives, so the checks above come round at least that often. (The overload with a time limit
    // never waits: it spun a core for every command.)
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
}

bool LinkSession::Connect(const std::string& device) {
  failure_.clear();  // a new connection after a failed one
  {
    std::lock_guard lock(errorMutex_);
    componentError_.clear();
  }
  completion_ = 0;
  refused_ = -1;
  try {
    comm_.SetDeviceName(device);
    comm_.Open();
  } catch (const ESioCommError& e) {
    failure_ = e.what();
    return false;
  }
  engine_.Disconnect_req = 0;
  engine_.Request_code = Req_setup;
  // Connected, and the header read answered: the module's number and year are known.
  return RunUntil([this] { return engine_.Connected && !engine_.Wait_reply && engine_.Request_code == 0; },
                  5000);
}

void LinkSession::Disconnect() {
  if (!comm_.Active()) return;
  const bool wasInterrupted = gInterrupted != 0;
  gInterrupted = 0;
  const std::string failure = failure_;
  failure_.clear();
  engine_.Disconnect_req = 1;
  engine_.Request_code = Req_setup;
  RunUntil([this] { return !comm_.Active(); }, 3000);
  comm_.Close();
  // A disconnect whose answer never came leaves the engine believing it is connected, which would
  // let the next connection's set-up count a stray answer as done.
  if (engine_.Connected) engine_.Status_no_connect();
  if (failure_.empty()) failure_ = failure;
  gInterrupted = wasInterrupted ? 1 : 0;
}

void LinkSession::WriteByte(std::uint8_t byte) {
  // The engine writes a whole frame before it waits for the answer: the first byte counts it.
  if (!frameStarted_) {
    ++frames_;
    frameStarted_ = true;
  }
  comm_.WriteChar(static_cast<char>(byte));
}

bool LinkSession::ReadByte(std::uint8_t& byte) {
  frameStarted_ = false;
  char ch;
  if (!comm_.ReadChar(ch)) return false;
  byte = static_cast<std::uint8_t>(ch);
  return true;
}

void LinkSession::Status_no_connect() { comm_.Close(); }

void LinkSession::SetExchangeLamp(std::uint32_t color) {
  if (color == kColorYellow) {
    // A refused read or write: which block is in the answer that was refused.
    refused_ = engine_.Rx_buf[3];
    char text[64];
    std::snprintf(text, sizeof text, "the module refused the exchange at address %02X%02X", engine_.Rx_buf[2],
                  engine_.Rx_buf[3]);
    failure_ = text;
  }
}

void LinkSession::MessageBox(std::string_view text, std::string_view caption) {
  if (caption == kMessageCaption) {
    completion_ = text == kReadDoneText ? 1 : 2;
    return;
  }
  failure_ = std::string(text);
}

void LinkSession::Out_module_status(const std::uint8_t* data) {
  moduleStatus_ = data[15];
  if (live_.Module_view.version != nullptr) live_.Out_module_status(data);  // only when shown
}

void LinkSession::Out_chanel_status(int ch, const std::uint8_t* data) {
  if (live_.Chanel_view[ch].value != nullptr) live_.Out_chanel_status(ch, data);
  if (ch == 3) ++cycles_;
}

void LinkSession::ShowNumberAndYear(const std::string& number, const std::string& year) {
  number_ = numberOverride_.value_or(number);
  year_ = yearOverride_.value_or(year);
}
