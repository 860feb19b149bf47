// SPDX-License-Identifier: GPL-3.0-or-later
// A connection to a module for the command line: the serial component, the link engine and its
// timers on QtCore's event loop, with the window's part reduced to what a command needs to know.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "comm/SioComm.h"
#include "guicall/gui_call_queue.h"
#include "link/exchange_record.h"
#include "link/link_engine.h"
#include "link/live_status.h"

namespace sim {
class InProcessLine;
}

class LinkSession : public QObject, private ILinkPort, private ILinkWindow, private IWritePermission {
 public:
  explicit LinkSession(TModuleSettings& record);
  ~LinkSession() override;

  // Opens the port, or joins the in-process simulator's line, and runs the handshake; false with
  // Failure() set when it does not succeed.
  bool Connect(const std::string& device);
  bool Connect(sim::InProcessLine& line);
  // Set-up step 1 with the disconnect flag, then the port is closed. A chain under way ends with
  // its current exchange; after Ctrl-C all of it takes at most a few tenths of a second.
  void Disconnect();
  // Runs the event loop until done() holds; false on a link failure, a time-out or Ctrl-C.
  bool RunUntil(const std::function<bool()>& done, int timeoutMs);

  LinkEngine& Engine() { return engine_; }
  LiveStatus& Live() { return live_; }
  // The text of the link's or the port's failure, empty while all is well.
  const std::string& Failure() const { return failure_; }
  // A line more for the failure, such as a hint of what the user may have meant.
  void AddToFailure(const std::string& line) { failure_ += (failure_.empty() ? "" : "\n") + line; }
  // The port open, or the in-process simulator joined.
  bool LineOpen() const { return comm_.Active() || line_ != nullptr; }
  // The signal that asked the program to stop (SIGINT, SIGTERM), 0 while none has.
  static int InterruptSignal();
  int StatusCycles() const { return cycles_; }
  std::uint8_t ModuleStatus() const { return moduleStatus_; }
  // The module's number and year as it reported them last (its memory's bytes, whatever their
  // value); nothing before the first report.
  const std::optional<ModuleIdentity>& Stored() const { return stored_; }
  // The firmware version of the last status answer; empty before the first.
  const std::string& Firmware() const { return firmware_; }
  // What a settings write gives the module: its own number and year, each unless overridden.
  void OverrideNumber(std::uint16_t number) { numberOverride_ = number; }
  void OverrideYear(std::uint8_t year) { yearOverride_ = year; }
  std::optional<ModuleIdentity> IdentityToWrite() override;
  int CompletionMessage() const { return completion_; }
  void ForgetCompletion() { completion_ = 0; }
  // Frames written, and of them the reads and writes of the settings blocks: a chain's progress.
  int FramesSent() const { return frames_; }
  int SettingsFramesSent() const { return settingsFrames_; }
  int HeaderReads() const { return headerReads_; }
  // The set-up again on the open line, which ends with the header read: the number and year once
  // more. False as RunUntil is.
  bool ReadHeaderAgain();

  // Every exchange, as it ends, to print: time, request, answer, verdict, round trip.
  void Trace(std::function<void(const std::string&)> print);
  // Settings blocks whose writes the module has acknowledged, and refused.
  int SettingsWritesAnswered() const { return settingsWritesAnswered_; }
  int SettingsWritesRefused() const { return settingsWritesRefused_; }

  // Ctrl-C and SIGTERM: the next RunUntil stops and the command disconnects.
  static void InstallInterruptHandler();

 private:
  // ILinkPort
  void WriteByte(std::uint8_t byte) override;
  bool ReadByte(std::uint8_t& byte) override;
  int Waiting() override;
  // ILinkWindow
  void Status_connect() override {}
  void Status_no_connect() override;
  void SetExchangeLamp(std::uint32_t color) override;
  void MessageBox(std::string_view text, std::string_view caption) override;
  void Out_module_status(const std::uint8_t* data) override;
  void Out_chanel_status(int ch, const std::uint8_t* data) override;
  // Writes take the identity; the texts are only the window's way to it.
  std::string NumberText() override { return {}; }
  std::string YearText() override { return {}; }
  void ShowNumberAndYear(const std::string&, const std::string&) override {}
  void StoredNumberAndYear(const ModuleIdentity& identity) override;
  void RefreshViews(unsigned) override {}
  bool Timer2Running() override { return timer2_.isActive(); }
  void StartTimer2() override { timer2_.start(); }
  void StopTimer2() override { timer2_.stop(); }
  // IWritePermission
  void SetWritePermission(bool) override {}
  void SetBlockChecked(bool) override {}

  void CloseLine();
  bool Handshake();
  void ExchangeEnded(const Exchange& exchange);
  // The connection failed on an answer to a request that was not the one sent: what an interrupted
  // command left on the line.
  bool FailedOnLeftover() const;
  // Reads and drops what comes until nothing has for quietMs; false when the line never fell quiet.
  bool WaitForQuietLine(int quietMs);
  // The event loop until done() holds or the time is up, whatever else happens.
  bool Pump(const std::function<bool()>& done, int timeoutMs);

  // The component's first error, taken as the session's failure; the handler may run on a worker.
  std::mutex errorMutex_;
  std::string componentError_;

  ExchangeRecord exchanges_;  // every exchange as it ends; outlives the engine and the port
  GuiCallQueue calls_;        // outlives comm_: its threads' last steps still find it
  TSioComm comm_;
  LiveStatus live_{*this};
  LinkEngine engine_;
  QTimer timer1_, timer2_;
  std::string failure_;
  std::optional<ModuleIdentity> stored_;
  std::string firmware_;
  std::optional<std::uint16_t> numberOverride_;
  std::optional<std::uint8_t> yearOverride_;
  int cycles_ = 0;
  std::uint8_t moduleStatus_ = 0;
  int completion_ = 0;
  int frames_ = 0;
  int settingsFrames_ = 0;
  int headerReads_ = 0;
  int settingsWritesAnswered_ = 0, settingsWritesRefused_ = 0;
  std::function<void(const std::string&)> trace_;
  QElapsedTimer lastByte_;              // since the last byte read
  bool droppedSinceQuiet_ = false;      // bytes read while no answer was awaited, since the line was quiet
  bool frameStarted_ = false;           // a frame is written within one tick: the tick's first byte starts it
  std::vector<std::uint8_t> request_;   // the frame being written, to count settings frames
  sim::InProcessLine* line_ = nullptr;  // the simulator's line in place of the port, when joined
};
