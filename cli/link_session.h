// A connection to a module for the command line: the serial component, the link engine and its
// timers on QtCore's event loop, with the window's part reduced to what a command needs to know.
#pragma once

#include <QObject>
#include <QTimer>

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "comm/SioComm.h"
#include "guicall/gui_call_queue.h"
#include "link/link_engine.h"
#include "link/live_status.h"

class LinkSession : public QObject, private ILinkPort, private ILinkWindow, private IWritePermission {
 public:
  explicit LinkSession(TModuleSettings& record);
  ~LinkSession() override;

  // Opens the port and runs the handshake; false with Failure() set when it does not succeed.
  bool Connect(const std::string& device);
  // Set-up step 1 with the disconnect flag, then the port is closed.
  void Disconnect();
  // Runs the event loop until done() holds; false on a link failure, a time-out or Ctrl-C.
  bool RunUntil(const std::function<bool()>& done, int timeoutMs);

  LinkEngine& Engine() { return engine_; }
  LiveStatus& Live() { return live_; }
  // The text of the link's or the port's failure, empty while all is well.
  const std::string& Failure() const { return failure_; }
  bool Interrupted() const;
  int StatusCycles() const { return cycles_; }
  std::uint8_t ModuleStatus() const { return moduleStatus_; }
  const std::string& ModuleNumber() const { return number_; }
  const std::string& ModuleYear() const { return year_; }
  // Values for the module's number and year fields in place of those it reports.
  void OverrideNumber(std::string text) {
    numberOverride_ = std::move(text);
    number_ = *numberOverride_;
  }
  void OverrideYear(std::string text) {
    yearOverride_ = std::move(text);
    year_ = *yearOverride_;
  }
  int CompletionMessage() const { return completion_; }
  void ForgetCompletion() { completion_ = 0; }
  int RefusedAt() const { return refused_; }
  // Frames written: a chain's progress.
  int FramesSent() const { return frames_; }

  // Ctrl-C: the next RunUntil stops and the command disconnects.
  static void InstallInterruptHandler();

 private:
  // ILinkPort
  void WriteByte(std::uint8_t byte) override;
  bool ReadByte(std::uint8_t& byte) override;
  // ILinkWindow
  void Status_connect() override {}
  void Status_no_connect() override;
  void SetExchangeLamp(std::uint32_t color) override;
  void MessageBox(std::string_view text, std::string_view caption) override;
  void Out_module_status(const std::uint8_t* data) override;
  void Out_chanel_status(int ch, const std::uint8_t* data) override;
  std::string NumberText() override { return number_; }
  std::string YearText() override { return year_; }
  void ShowNumberAndYear(const std::string& number, const std::string& year) override;
  void RefreshViews(unsigned) override {}
  bool Timer2Running() override { return timer2_.isActive(); }
  void StartTimer2() override { timer2_.start(); }
  void StopTimer2() override { timer2_.stop(); }
  // IWritePermission
  void SetWritePermission(bool) override {}
  void SetBlockChecked(bool) override {}

  // The component's first error, taken as the session's failure; the handler may run on a worker.
  std::mutex errorMutex_;
  std::string componentError_;

  GuiCallQueue calls_;  // outlives comm_: its threads' last steps still find it
  TSioComm comm_;
  LiveStatus live_{*this};
  LinkEngine engine_;
  QTimer timer1_, timer2_;
  std::string failure_;
  std::string number_ = "   0", year_ = " 0";
  std::optional<std::string> numberOverride_, yearOverride_;
  int cycles_ = 0;
  std::uint8_t moduleStatus_ = 0;
  int completion_ = 0;
  int refused_ = -1;
  int frames_ = 0;
  bool frameStarted_ = false;
};
