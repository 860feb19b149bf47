// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/link_session.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <exception>

#include "link/exchange_verdict.h"
#include "platform/ports.h"
#include "sim/in_process_line.h"

namespace {

volatile std::sig_atomic_t gSignal = 0;

// After Ctrl-C: how long the exchange under way may take to end, and then the disconnect.
constexpr int kInterruptedExchangeMs = 150;
constexpr int kInterruptedDisconnectMs = 150;

}  // namespace

LinkSession::LinkSession(TModuleSettings& record) : engine_(*this, *this, record) {
  engine_.SetExchangeRecord(&exchanges_);
  exchanges_.OnExchange = [this](const Exchange& exchange) { ExchangeEnded(exchange); };
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
  connect(&timer1_, &QTimer::timeout, this, [this] {
    frameStarted_ = false;
    // The tick reads and writes the port: a port that fails there ends the command with its message,
    // as a failure in the component's own steps does.
    GuardedStep([this] {
      // The in-process simulator's answers arrive as the port's receive events would, between ticks.
      if (line_)
        if (const std::size_t due = line_->Due()) engine_.SioComm1OnRxChar(static_cast<int>(due));
      engine_.Timer1Timer();
    });
  });
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
#ifdef _WIN32
  std::signal(SIGINT, [](int signal) { gSignal = signal; });
  std::signal(SIGTERM, [](int signal) { gSignal = signal; });
#else
  // Without SA_RESTART, so that a wait in progress returns at once; once only, so that a second
  // Ctrl-C ends a program that does not end.
  struct sigaction action {};
  action.sa_handler = [](int signal) { gSignal = signal; };
  action.sa_flags = SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
#endif
}

int LinkSession::InterruptSignal() { return gSignal; }

bool LinkSession::Pump(const std::function<bool()>& done, int timeoutMs) {
  QElapsedTimer clock;
  clock.start();
  for (;;) {
    if (done()) return true;
    if (clock.elapsed() > timeoutMs) return false;
    // Sleeps until something happens; the engine's 10 ms tick runs for as long as this object
    // lives, so the checks come round at least that often. (The overload with a time limit never
    // waits: it spun a core for every command.)
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
}

bool LinkSession::RunUntil(const std::function<bool()>& done, int timeoutMs) {
  bool ok = false;
  Pump(
      [&] {
        {
          std::lock_guard lock(errorMutex_);
          if (failure_.empty() && !componentError_.empty()) failure_ = componentError_;
        }
        // A failure first: the answer that refuses a command also leaves the engine idle, which is
        // what most commands take for done.
        if (!failure_.empty() || gSignal != 0) return true;
        return ok = done();
      },
      timeoutMs);
  return ok;
}

bool LinkSession::Connect(const std::string& device) {
  // A command interrupted on a slow line may leave requests that the adapter still answers, to
  // arrive as the answers to this one's set-up. What comes before the first request is dropped; a
  // handshake that fails on another request's answer (or on the rest of one whose start came
  // before the request) is tried again once the line has been quiet for longer than any answer
  // may take, each leftover answered and dropped by then.
  constexpr int kAttempts = 3;
  for (int attempt = 1;; ++attempt) {
    failure_.clear();  // a new connection after a failed one
    try {
      comm_.SetDeviceName(device);
      comm_.Open();
      // The rest of an answer under way as the port opened comes within a few bytes' time; after a
      // leftover, wait longer than the engine waits for an answer's first byte (100 ticks), so that
      // no answer to an earlier request is still to come.
      // (No purge after the wait: it could cut an answer that starts just then, whose head would
      // tell it for a leftover.)
      comm_.PurgeRead();
      if (!WaitForQuietLine(attempt == 1 ? 40 : 1200) && attempt > 1) {
        CloseLine();
        failure_ = "the line does not fall quiet: something else is sending on it";
        return false;
      }
    } catch (const ESioCommError& e) {
      failure_ = e.what();
      const std::string hint = platform::OpenRefusalHint(e.SystemCode());
      if (!hint.empty()) failure_ += "\n" + Translated("Messages", hint.c_str());
      CloseLine();
      return false;
    }
    if (gSignal != 0) return false;
    if (Handshake()) return true;
    if (attempt == kAttempts || gSignal != 0 || engine_.Connected || !FailedOnLeftover()) return false;
    if (LineOpen()) CloseLine();
  }
}

bool LinkSession::WaitForQuietLine(int quietMs) {
  constexpr int kLongestMs = 8000;  // for a line that never falls quiet
  lastByte_.start();
  const bool quiet = Pump(
      [&] {
        // Bytes waiting are read and dropped here: the receive event that would have the engine
        // drop them may still be on its way when the time is up.
        std::uint8_t dropped = 0;
        while (comm_.GetCommStatus().InQueue > 0 && ReadByte(dropped)) {
        }
        return gSignal != 0 || lastByte_.elapsed() >= quietMs;
      },
      kLongestMs);
  droppedSinceQuiet_ = false;
  return quiet;
}

bool LinkSession::FailedOnLeftover() const {
  if (exchanges_.Entries().empty()) return false;
  const Exchange& last = exchanges_.Entries().back();
  if (last.verdict != Verdict::Garbled || last.answer.empty()) return false;
  // Bytes came while no answer was awaited, after the line had been quiet: the start of an answer
  // to an earlier request, whose rest this one got.
  if (droppedSinceQuiet_) return true;
  if (last.answer.size() < 2) return false;
  // Well formed, but for another request: set-up (10), opening (40), write (42) or read (44), each
  // answered with the adapter's 28 or 22. A line that changes bytes gives no such head.
  const std::uint8_t kind = last.answer[0] & 0x7F;
  const bool known = kind == 0x10 || kind == 0x40 || kind == 0x42 || kind == 0x44;
  return known && (last.answer[1] == 0x28 || last.answer[1] == 0x22);
}

bool LinkSession::Connect(sim::InProcessLine& line) {
  failure_.clear();
  line_ = &line;
  return Handshake();
}

bool LinkSession::Handshake() {
  {
    std::lock_guard lock(errorMutex_);
    componentError_.clear();
  }
  completion_ = 0;
  engine_.Disconnect_req = 0;
  engine_.Request_code = Req_setup;
  // Connected, and the header read answered: the module's number and year are known.
  return RunUntil([this] { return engine_.Connected && !engine_.Wait_reply && engine_.Request_code == 0; },
                  5000);
}

void LinkSession::CloseLine() {
  comm_.Close();
  line_ = nullptr;
}

bool LinkSession::ReadHeaderAgain() {
  const int before = headerReads_;
  engine_.Disconnect_req = 0;
  engine_.Request_code = Req_setup;
  return RunUntil([&] { return headerReads_ > before && !engine_.Wait_reply && engine_.Request_code == 0; },
                  5000);
}

void LinkSession::Disconnect() {
  if (!LineOpen()) return;
  const bool interrupted = gSignal != 0;
  const std::string failure = failure_;  // the command's; the goodbye's own troubles come second
  // The program ends after an interruption: nothing opens the port again, so the close need not
  // pause (the port may close inside the pumping below, on the answer to the disconnect).
  if (interrupted) TSioCustomComm::SetClosePause(0);
  // The chain under way ends with its current exchange: a write stops between two blocks.
  engine_.HoldChains(true);
  const bool idle = Pump([this] { return !engine_.Wait_reply || !LineOpen(); },
                         interrupted ? kInterruptedExchangeMs : 3000);
  if (idle && LineOpen()) {
    engine_.Disconnect_req = 1;
    engine_.Request_code = Req_setup;
    Pump([this] { return !LineOpen(); }, interrupted ? kInterruptedDisconnectMs : 3000);
  }
  CloseLine();
  // A disconnect whose answer never came leaves the engine believing it is connected, which would
  // let the next connection's set-up count a stray answer as done.
  if (engine_.Connected || engine_.Wait_reply) engine_.Status_no_connect();
  engine_.Request_code = 0;
  engine_.HoldChains(false);
  if (!failure.empty()) failure_ = failure;
}

void LinkSession::WriteByte(std::uint8_t byte) {
  // The engine writes a whole frame within one tick, before it waits for the answer.
  if (!frameStarted_) {
    ++frames_;
    frameStarted_ = true;
    request_.clear();
  }
  request_.push_back(byte);
  if (request_.size() == 4 && (request_[0] == 0x44 || request_[0] == 0x42) && request_[2] == 0x00)
    ++settingsFrames_;
  if (line_) {
    line_->Write(byte);
    return;
  }
  comm_.WriteChar(static_cast<char>(byte));
}

bool LinkSession::ReadByte(std::uint8_t& byte) {
  char ch = 0;
  if (line_ ? !line_->Read(byte) : !comm_.ReadChar(ch)) return false;
  if (!line_) byte = static_cast<std::uint8_t>(ch);
  lastByte_.start();
  if (!engine_.Wait_reply) droppedSinceQuiet_ = true;  // the engine drops what no request asked for
  return true;
}

// The in-process line hands its bytes in on ticks of its own.
int LinkSession::Waiting() { return line_ ? 0 : UnreadBytes(comm_); }

void LinkSession::Status_no_connect() { CloseLine(); }

void LinkSession::Trace(std::function<void(const std::string&)> print) { trace_ = std::move(print); }

void LinkSession::ExchangeEnded(const Exchange& exchange) {
  const auto& r = exchange.request;
  if (r.size() >= 4 && r[0] == 0x42 && r[2] == 0x00) {
    // A longer answer is taken by the link as it stands, the write with it.
    if (exchange.verdict == Verdict::Answered || exchange.verdict == Verdict::Long) ++settingsWritesAnswered_;
    if (exchange.verdict == Verdict::Refused) ++settingsWritesRefused_;
  }
  if (trace_) trace_(ExchangeLine(exchange));
}

void LinkSession::SetExchangeLamp(std::uint32_t color) {
  if (color != kColorYellow) return;
  // The engine gives up on an answer it cannot take as it does on a refusal: the bytes say which.
  const Exchange failed = exchanges_.Entries().empty() ? Exchange{} : exchanges_.Entries().back();
  failure_ = DescribeExchange(failed.request, failed.answer);
  if (failure_.empty())
    failure_ = "the exchange with the module failed (" + RequestName(failed.request) + ")";
}

void LinkSession::MessageBox(std::string_view text, std::string_view caption) {
  if (caption == kMessageCaption) {
    completion_ = text == kReadDoneText ? 1 : 2;
    return;
  }
  // A garbled set-up answer is also the end of the connection: what was wrong with it says more.
  if (failure_.empty()) failure_ = std::string(text);
}

void LinkSession::Out_module_status(const std::uint8_t* data) {
  moduleStatus_ = data[15];
  firmware_ = VersionText(data);
  if (live_.Module_view.version != nullptr) live_.Out_module_status(data);  // only when shown
}

void LinkSession::Out_chanel_status(int ch, const std::uint8_t* data) {
  if (live_.Chanel_view[ch].value != nullptr) live_.Out_chanel_status(ch, data);
  if (ch == 3) ++cycles_;
}

void LinkSession::StoredNumberAndYear(const ModuleIdentity& identity) {
  if (engine_.Head_only) ++headerReads_;
  stored_ = identity;
}

std::optional<ModuleIdentity> LinkSession::IdentityToWrite() {
  const ModuleIdentity own = stored_.value_or(ModuleIdentity{});
  return ModuleIdentity{numberOverride_.value_or(own.number), yearOverride_.value_or(own.year)};
}
