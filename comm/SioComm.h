// SPDX-License-Identifier: GPL-3.0-or-later
// The serial port component: one serial device with an event thread that delivers receive and line
// events on the GUI thread and a write thread that drains a byte queue into the device.
//
// On Linux the line honours rate, data bits, parity, stop bits, CTS/RTS and Xon/Xoff flow control,
// null stripping and RTS toggle (where the driver has an RS-485 mode; elsewhere opening with it
// fails). Accepted without effect: DSR flow and sensitivity, DTR handshake, continue-on-Xoff,
// error-character replacement, abort-on-error and the Xon/Xoff limits. Of the hold flags only the
// CTS hold can be set (platform/serial.h tells why).
#pragma once

#include <atomic>
#include <bitset>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "comm/SioPrst.h"
#include "comm/SioTypes.h"
#include "comm/Sioclasses.h"
#include "comm/Sioobjects.h"
#include "platform/win32_types.h"

enum TSioBaudrate {
  brUser,
  br110,
  br300,
  br600,
  br1200,
  br2400,
  br4800,
  br9600,
  br14400,
  br19200,
  br38400,
  br56000,
  br57600,
  br115200,
  br128000,
  br256000,
};
enum TSioParity { paNone, paOdd, paEven, paMark, paSpace };
enum TSioDatabits { db4, db5, db6, db7, db8 };
enum TSioStopbits { sb1, sb15, sb2 };
enum TSioCommOption { coErrorChar, coNullStrip, coParityCheck };
enum TSioCommEvent {
  ceBreak,
  ceCts,
  ceDsr,
  ceError,
  ceRing,
  ceRlsd,
  ceRxChar,
  ceRxFlag,
  ceTxEmpty,
  cePErr,
  ceRx80Full,
  ceEvent1,
  ceEvent2,
};

// A set of enumeration members, as the component's option and event properties hold them.
template <class E, std::size_t N>
class TSioSet {
 public:
  TSioSet() = default;
  TSioSet(std::initializer_list<E> members) {
    for (E m : members) bits_.set(m);
  }
  bool Contains(E member) const { return bits_.test(member); }
  TSioSet& Include(E member) {
    bits_.set(member);
    return *this;
  }
  TSioSet& Exclude(E member) {
    bits_.reset(member);
    return *this;
  }
  bool Empty() const { return bits_.none(); }
  bool operator==(const TSioSet&) const = default;

 private:
  std::bitset<N> bits_;
};
using TSioCommOptions = TSioSet<TSioCommOption, 3>;
using TSioCommEvents = TSioSet<TSioCommEvent, 13>;

// Line errors, status flags, input and output queue counts, in that order.
struct TSioCommStatus {
  platform::DWORD Errors = 0;
  platform::DWORD Flags = 0;
  platform::DWORD InQueue = 0;
  platform::DWORD OutQueue = 0;
};

class TSioCustomComm;

// Something that shows a component's line states (the indicator control). It knows the components
// bound to it, so that whichever of the two goes first, the other keeps no pointer to it.
class TSioDisplayBase {
 public:
  TSioDisplayBase() = default;
  TSioDisplayBase(const TSioDisplayBase&) = delete;
  TSioDisplayBase& operator=(const TSioDisplayBase&) = delete;
  virtual ~TSioDisplayBase();
  virtual void UpdateDisplay(TSioCustomComm* sender) = 0;

 private:
  friend class TSioCustomComm;
  std::vector<TSioCustomComm*> comms_;
};

// Receives a port's traffic through a dispatcher.
class ISioCommUser {
 public:
  virtual ~ISioCommUser() = default;
  virtual void LineChanged(platform::DWORD evtMask) = 0;
  virtual void DataChanged(PSioData data, int count) = 0;
};

class TSioDispatcher {
 public:
  explicit TSioDispatcher(ISioCommUser* user) : user_(user) {}
  ~TSioDispatcher();
  TSioDispatcher(const TSioDispatcher&) = delete;
  TSioDispatcher& operator=(const TSioDispatcher&) = delete;

  void DataEvent(PSioData data, int count);
  void LineEvent(platform::DWORD evtMask);
  bool Active() const { return active_; }
  void SetActive(bool active) { active_ = active; }
  TSioCustomComm* Comm() const { return comm_; }

  // Forwarded to the attached component; without one they do nothing or give 0 or false.
  void SetDTRState(bool state);
  void PurgeRead();
  void PurgeWrite();
  void PurgeReadWrite();
  int WriteBuf(const void* data, int count);
  bool WriteText(const std::string& text);
  bool WriteChar(char ch);

 private:
  friend class TSioCustomComm;
  bool active_ = true;
  TSioCustomComm* comm_ = nullptr;
  ISioCommUser* user_;
};

// What runs a step on the GUI thread and blocks the calling worker until the step has returned.
using TSioSyncCall = std::function<void(const std::function<void()>& step)>;

namespace sio_detail {
struct CommCore;
struct TSioIo;
class TSioCommEventThread;
class TSioCommWriteThread;
}  // namespace sio_detail

class TSioCustomComm : public TSioComponent {
 public:
  using TNotifyEvent = std::function<void(TSioCustomComm* sender)>;
  using TSioCommErrorEvent = std::function<void(TSioCustomComm* sender, int errors)>;
  using TSioCommRxCharEvent = std::function<void(TSioCustomComm* sender, int count)>;
  using TSioCommRxBufEvent = std::function<void(TSioCustomComm* sender, PSioData data, int count)>;

  TSioCustomComm();
  ~TSioCustomComm() override;

  // The owner's services: the synchronous call to the GUI thread (required before Open).
  void SetSyncCall(TSioSyncCall call);
  // Called by the owner once it has set the properties: opens the port when AutoOpen is set.
  virtual void Loaded();
  // The pause at the end of Close, 300 ms; tests shorten it, and so does a program about to exit,
  // which opens nothing after it.
  static void SetClosePause(platform::DWORD ms);

  // Properties.
  bool AutoOpen() const { return autoOpen_; }
  void SetAutoOpen(bool value) { autoOpen_ = value; }
  TSioBaudrate Baudrate() const { return baudrate_; }
  void SetBaudrate(TSioBaudrate value);
  TSioParity Parity() const { return parity_; }
  void SetParity(TSioParity value);
  TSioDatabits Databits() const { return databits_; }
  void SetDatabits(TSioDatabits value);
  TSioStopbits Stopbits() const { return stopbits_; }
  void SetStopbits(TSioStopbits value);
  TSioEventChars& EventChars() { return *eventChars_; }
  void SetEventChars(const TSioEventChars& value) { eventChars_->Assign(value); }
  TSioFlowControl& FlowControl() { return *flowControl_; }
  void SetFlowControl(const TSioFlowControl& value) { flowControl_->Assign(value); }
  TSioCommOptions Options() const { return options_; }
  void SetOptions(TSioCommOptions value);
  TSioPortInt PortNum() const { return portNum_; }
  void SetPortNum(TSioPortInt value);
  const std::string& DeviceName() const { return deviceName_; }
  void SetDeviceName(const std::string& value);
  TSioCommEvents MonitorEvents() const { return monitorEvents_; }
  void SetMonitorEvents(TSioCommEvents value);
  TSioBuffers& Buffers() { return *buffers_; }
  void SetBuffers(const TSioBuffers& value);
  TThreadPriority EventPriority() const { return eventPriority_; }
  void SetEventPriority(TThreadPriority value);
  TThreadPriority WritePriority() const { return writePriority_; }
  void SetWritePriority(TThreadPriority value);
  bool DirectWrite() const { return directWrite_; }
  void SetDirectWrite(bool value);
  bool UpdateDCB() const { return updateDcb_; }
  void SetUpdateDCB(bool value);
  int UserBaudrate() const { return userBaudrate_; }
  void SetUserBaudrate(int value);
  TSioDisplayBase* Display() const { return display_; }
  void SetDisplay(TSioDisplayBase* value);
  // In place of the framework's removal notice: the display is going away.
  void DisplayRemoved(TSioDisplayBase* display);

  TNotifyEvent OnOpen, OnClose;
  TNotifyEvent OnCts, OnDsr, OnRlsd, OnRing, OnBreak, OnRxFlag, OnTxEmpty, OnPErr, OnRx80Full, OnEvent1,
      OnEvent2;
  TSioCommErrorEvent OnError;
  TSioCommRxCharEvent OnRxChar;
  TSioCommRxBufEvent OnRxBuf;

  // Operations.
  void Open();
  void Close();
  bool Active() const;
  void CheckOpen();
  std::string GetDeviceName() const;
  int WriteBuf(const void* data, int count);
  bool WriteText(const std::string& text);
  bool WriteChar(char ch);
  int ReadBuf(void* data, int count);
  std::string ReadText();
  bool ReadChar(char& ch);
  TSioCommStatus GetCommStatus();
  int ReadBufUsed();
  int ReadBufFree();
  int WriteBufUsed();
  int WriteBufFree();
  bool ClearLineErrors();
  void PurgeRead();
  void PurgeWrite();
  void PurgeReadWrite();
  void PurgeBuffers(platform::DWORD flags);
  void SetDTR(bool state);
  void SetRTS(bool state);
  void SetBreak(bool state);
  void SetXon(bool state);
  void ResetDev();
  void ToggleCommState(platform::DWORD func);
  bool GetModemStatus(int index);
  bool GetComStat(int index);
  void GetProperties();
  const platform::COMMPROP& Properties() const { return properties_; }
  void ResetPortParameters();
  void ReadDCB(const platform::DCB& dcb);
  static void GetComPortNames(std::vector<std::string>& list);
  void WriteLock();
  void WriteUnlock();
  void GlobalLock();
  void GlobalUnlock();
  void EnableControls() { controlsEnabled_ = true; }
  void DisableControls() { controlsEnabled_ = false; }
  void InsertClient(TSioDispatcher* dispatcher);
  void RemoveClient(TSioDispatcher* dispatcher);
  void DestroyClients();
  void UpdateDisplay();
  [[noreturn]] void Error(const std::string& msg);
  void Watch(bool ok, const std::string& msg);

  // The device mask computed at the last open (or update).
  platform::DWORD DeviceEventMask() const { return eventMask_; }

 protected:
  virtual void CreateHandle();
  virtual void CreateThreads();
  virtual void HandleDataEvent();
  virtual void HandleLineEvent(platform::DWORD evtMask);
  void ForEachClient(const std::function<void(TSioDispatcher*)>& call);
  virtual void WriteEvents(platform::DWORD evtMask);
  virtual void WriteBuffer(PSioData data, int count);

  void DestroyHandle();
  void SetDCB();
  void UpdateBuffers();
  void UpdateTimeouts();
  void UpdateEventMask();
  void DestroyThreads();
  void DoOpen();
  void DoClose();
  void BuffersChanged(TSioPersistent* sender);
  void EventCharsChanged(TSioPersistent* sender);
  void FlowControlChanged(TSioPersistent* sender);

 private:
  friend class sio_detail::TSioCommEventThread;
  friend class sio_detail::TSioCommWriteThread;
  friend struct sio_detail::CommCore;

  void DoEvent(platform::DWORD evtMask);
  platform::DWORD BaudValue() const;

  std::shared_ptr<sio_detail::CommCore> core_;
  platform::HANDLE handle_;
  bool destroying_ = false;
  platform::COMMPROP properties_{};
  std::unique_ptr<TSioWaitEvent> completion_;
  std::unique_ptr<sio_detail::TSioIo> readIo_, writeIo_;  // the direct reads' and writes' records
  std::shared_ptr<sio_detail::TSioCommEventThread> eventThread_;
  std::shared_ptr<sio_detail::TSioCommWriteThread> writeThread_;
  platform::DWORD eventMask_ = 0;
  std::unique_ptr<std::vector<TSioDispatcher*>> clients_;
  bool controlsEnabled_ = true;

  bool autoOpen_ = false;
  TSioBaudrate baudrate_ = br1200;
  TSioParity parity_ = paNone;
  TSioDatabits databits_ = db8;
  TSioStopbits stopbits_ = sb1;
  std::unique_ptr<TSioEventChars> eventChars_;
  std::unique_ptr<TSioFlowControl> flowControl_;
  TSioCommOptions options_;
  TSioPortInt portNum_ = 0;
  std::string deviceName_ = "COM%d";
  TSioCommEvents monitorEvents_{ceError, ceRxChar, ceTxEmpty};
  std::unique_ptr<TSioBuffers> buffers_;
  TThreadPriority eventPriority_ = tpNormal;
  TThreadPriority writePriority_ = tpHighest;
  bool directWrite_ = false;
  bool updateDcb_ = true;
  int userBaudrate_ = 0;
  TSioDisplayBase* display_ = nullptr;
};

// Publishes the properties; no behaviour of its own.
class TSioComm : public TSioCustomComm {};

// Bytes received and not yet read; 0 for a port closed, or failed (its error is reported on its own
// path, by the event that brings it).
int UnreadBytes(TSioCustomComm& comm);

// Base of components that consume a port's traffic through their own dispatcher. Its user interface
// is itself: descendants override DataChanged and LineChanged.
class TSioCommComponent : public TSioComponent, public ISioCommUser {
 public:
  TSioCommComponent() : dispatcher_(std::make_unique<TSioDispatcher>(this)) {}
  ~TSioCommComponent() override;

  TSioCustomComm* Comm() const { return dispatcher_->Comm(); }
  void SetComm(TSioCustomComm* value);
  // In place of the framework's notice that a component it refers to is being removed.
  void CommRemoved(TSioCustomComm* comm);
  bool Active() const { return dispatcher_->Active(); }
  void SetActive(bool value) { dispatcher_->SetActive(value); }

  void DataChanged(PSioData, int) override {}
  void LineChanged(platform::DWORD) override {}

 protected:
  TSioDispatcher& Dispatcher() { return *dispatcher_; }

 private:
  std::unique_ptr<TSioDispatcher> dispatcher_;
};
