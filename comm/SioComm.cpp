// SPDX-License-Identifier: GPL-3.0-or-later
#include "comm/SioComm.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "comm/SioCommThreads.h"
#include "platform/kernel.h"
#include "platform/ports.h"
#include "platform/serial.h"

using namespace platform;

using sio_detail::CommCore;
using sio_detail::TSioCommEventThread;
using sio_detail::TSioCommWriteThread;

namespace {

constexpr DWORD kEventBits[] = {EV_BREAK,  EV_CTS,     EV_DSR,  EV_ERR,      EV_RING,   EV_RLSD,  EV_RXCHAR,
                                EV_RXFLAG, EV_TXEMPTY, EV_PERR, EV_RX80FULL, EV_EVENT1, EV_EVENT2};
constexpr int kRates[] = {0,     110,   300,   600,   1200,  2400,   4800,   9600,
                          14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000};

// A text that Error must not read placeholders from.
std::string Literal(const std::string& text) {
  std::string out;
  for (const char c : text) {
    out += c;
    if (c == '%') out += '%';
  }
  return out;
}

// Formats msg with the error number for "%d" and its text for "%s", in order of appearance.
std::string FormatError(const std::string& msg, DWORD code, const std::string& text) {
  std::string out;
  int next = 0;
  for (std::size_t i = 0; i < msg.size(); ++i) {
    if (msg[i] != '%' || i + 1 == msg.size()) {
      out += msg[i];
      continue;
    }
    const char kind = msg[++i];
    if (kind == '%') {
      out += '%';
    } else if (kind == 'd' || kind == 's') {
      out += next++ == 0 ? std::to_string(code) : text;
    } else {
      out += '%';
      out += kind;
    }
  }
  return out;
}

}  // namespace

// --- component ----------------------------------------------------------------------------------

TSioCustomComm::TSioCustomComm()
    : core_(std::make_shared<CommCore>()),
      handle_(INVALID_HANDLE_VALUE),
      completion_(std::make_unique<TSioWaitEvent>()),
      clients_(std::make_unique<std::vector<TSioDispatcher*>>()),
      eventChars_(std::make_unique<TSioEventChars>()),
      flowControl_(std::make_unique<TSioFlowControl>()),
      buffers_(std::make_unique<TSioBuffers>()) {
  core_->comm = this;
  buffers_->SetOnChange([this](TSioPersistent* sender) { BuffersChanged(sender); });
  eventChars_->SetOnChange([this](TSioPersistent* sender) { EventCharsChanged(sender); });
  flowControl_->SetOnChange([this](TSioPersistent* sender) { FlowControlChanged(sender); });
}

TSioCustomComm::~TSioCustomComm() {
  destroying_ = true;
  SetDisplay(nullptr);
  GuardedStep([this] { Close(); });
  DestroyClients();
  core_->comm = nullptr;  // steps still queued for the GUI thread do not run now
  clients_.reset();
  buffers_.reset();
  eventChars_.reset();
  flowControl_.reset();
  completion_.reset();
}

void TSioCustomComm::SetSyncCall(TSioSyncCall call) { core_->sync = std::move(call); }

void TSioCustomComm::Loaded() {
  if (autoOpen_) Open();
}

void TSioCustomComm::SetClosePause(DWORD ms) { sio_detail::gClosePause = ms; }

void TSioCustomComm::SetBaudrate(TSioBaudrate value) {
  if (value == baudrate_) return;
  baudrate_ = value;
  if (value != brUser) userBaudrate_ = 0;
  SetDCB();
}

void TSioCustomComm::SetParity(TSioParity value) {
  if (value == parity_) return;
  parity_ = value;
  SetDCB();
}

void TSioCustomComm::SetDatabits(TSioDatabits value) {
  if (value == databits_) return;
  databits_ = value;
  SetDCB();
}

void TSioCustomComm::SetStopbits(TSioStopbits value) {
  if (value == stopbits_) return;
  stopbits_ = value;
  SetDCB();
}

void TSioCustomComm::SetOptions(TSioCommOptions value) {
  if (value == options_) return;
  options_ = value;
  SetDCB();
}

void TSioCustomComm::SetPortNum(TSioPortInt value) {
  CheckOpen();
  portNum_ = value;
}

void TSioCustomComm::SetDeviceName(const std::string& value) {
  CheckOpen();
  deviceName_ = value;
}

void TSioCustomComm::SetMonitorEvents(TSioCommEvents value) {
  CheckOpen();
  monitorEvents_ = value;
}

void TSioCustomComm::SetBuffers(const TSioBuffers& value) {
  CheckOpen();
  buffers_->Assign(value);
}

void TSioCustomComm::SetEventPriority(TThreadPriority value) {
  if (value == eventPriority_) return;
  eventPriority_ = value;
  if (eventThread_ != nullptr) eventThread_->SetPriority(value);
}

void TSioCustomComm::SetWritePriority(TThreadPriority value) {
  if (value == writePriority_) return;
  writePriority_ = value;
  if (writeThread_ != nullptr) writeThread_->SetPriority(value);
}

void TSioCustomComm::SetDirectWrite(bool value) {
  CheckOpen();
  directWrite_ = value;
}

void TSioCustomComm::SetUpdateDCB(bool value) {
  CheckOpen();
  updateDcb_ = value;
}

void TSioCustomComm::SetUserBaudrate(int value) {
  if (value == userBaudrate_) return;
  userBaudrate_ = value;
  baudrate_ = brUser;
  SetDCB();
}

void TSioCustomComm::Open() {
  CheckOpen();
  CreateHandle();
  try {
    if (Active()) {
      // Without it the handlers would run on the event and write threads.
      if (!core_->sync) throw ESioCommError("No synchronous call set: events cannot reach the user's thread");
      SetDCB();
      UpdateBuffers();
      UpdateTimeouts();
      UpdateEventMask();
      CreateThreads();
      DoOpen();
    }
  } catch (...) {
    DestroyThreads();
    DestroyHandle();
    throw;
  }
}

void TSioCustomComm::Close() {
  if (!Active()) return;
  {
    TSioLockGuard lock(core_->globalLock);
    DestroyThreads();
  }
  DestroyHandle();
  DoClose();
  Sleep(sio_detail::gClosePause);
}

bool TSioCustomComm::Active() const { return handle_ != INVALID_HANDLE_VALUE; }

void TSioCustomComm::CheckOpen() {
  if (Active()) Error("Can't perform this operation while port is open");
}

std::string TSioCustomComm::GetDeviceName() const {
  // Only "%d" (and "%%") are read from the name: it is the user's text, not a format to trust.
  std::string out;
  for (std::size_t i = 0; i < deviceName_.size(); ++i) {
    if (deviceName_[i] == '%' && i + 1 < deviceName_.size() && deviceName_[i + 1] == 'd') {
      out += std::to_string(portNum_);
      ++i;
    } else if (deviceName_[i] == '%' && i + 1 < deviceName_.size() && deviceName_[i + 1] == '%') {
      out += '%';
      ++i;
    } else {
      out += deviceName_[i];
    }
  }
  return out;
}

void TSioCustomComm::CreateHandle() {
  const std::string name = GetDeviceName();
  const HANDLE h = CreateFile(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OVERLAPPED, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    if (GetLastError() == ERROR_FILE_NOT_FOUND) Error(Literal("Specified device not found (" + name + ")."));
    Error(Literal("Can't open specified device " + name) + " (Error %d, %s)");
  }
  handle_ = h;
  if (++core_->generation == 0) ++core_->generation;  // 0 means closed
  TSioLockGuard lock(core_->handleLock);
  core_->openGeneration = core_->generation;
}

void TSioCustomComm::DestroyHandle() {
  if (handle_ == INVALID_HANDLE_VALUE) return;
  {
    TSioLockGuard lock(core_->handleLock);
    core_->openGeneration = 0;
  }
  CloseHandle(handle_);
  handle_ = INVALID_HANDLE_VALUE;
}

DWORD TSioCustomComm::BaudValue() const {
  return baudrate_ == brUser ? static_cast<DWORD>(userBaudrate_) : static_cast<DWORD>(kRates[baudrate_]);
}

void TSioCustomComm::SetDCB() {
  if (!Active() || !updateDcb_) return;
  DCB dcb{};
  dcb.BaudRate = BaudValue();
  DWORD flags = DCB_BINARY;
  const TSioFlowControl& f = *flowControl_;
  if (f.OutCtsFlow()) flags |= DCB_OUTX_CTS_FLOW;
  if (f.OutDsrFlow()) flags |= DCB_OUTX_DSR_FLOW;
  static constexpr DWORD kDtr[] = {0, 0x10, 0x20};
  static constexpr DWORD kRts[] = {0, 0x1000, 0x2000, 0x3000};
  flags |= kDtr[f.ControlDtr()] | kRts[f.ControlRts()];
  if (f.DsrSensitivity()) flags |= DCB_DSR_SENSITIVITY;
  if (f.TxContinueOnXoff()) flags |= DCB_TX_CONTINUE_ON_XOFF;
  if (f.XonXoffOut()) flags |= DCB_OUTX;
  if (f.XonXoffIn()) flags |= DCB_INX;
  if (options_.Contains(coErrorChar)) flags |= DCB_ERROR_CHAR;
  if (options_.Contains(coNullStrip)) flags |= DCB_NULL;
  if (options_.Contains(coParityCheck)) flags |= DCB_PARITY;
  dcb.Flags = flags;
  dcb.XonLim = static_cast<WORD>(buffers_->XonLimit());
  dcb.XoffLim = static_cast<WORD>(buffers_->XoffLimit());
  dcb.ByteSize = static_cast<BYTE>(4 + databits_);
  dcb.Parity = static_cast<BYTE>(parity_);
  dcb.StopBits = static_cast<BYTE>(stopbits_);
  dcb.XonChar = eventChars_->XonChar();
  dcb.XoffChar = eventChars_->XoffChar();
  dcb.ErrorChar = eventChars_->ErrorChar();
  dcb.EofChar = eventChars_->EofChar();
  dcb.EvtChar = eventChars_->EventChar();
  if (!SetCommState(handle_, &dcb)) Error("Error writing dcb (%d), %s");
}

void TSioCustomComm::UpdateBuffers() {
  if (!Active()) return;
  if (!SetupComm(handle_, static_cast<DWORD>(buffers_->ReadSize()),
                 static_cast<DWORD>(buffers_->WriteSize())))
    Error("Error initializing buffers (%d), %s");
}

void TSioCustomComm::UpdateTimeouts() {
  const COMMTIMEOUTS immediate{MAXDWORD, 0, 0, 0, 0};
  if (!SetCommTimeouts(handle_, &immediate)) Error("Error setting timeouts (%d), %s");
}

void TSioCustomComm::UpdateEventMask() {
  DWORD mask = 0;
  for (int e = ceBreak; e <= ceEvent2; ++e)
    if (monitorEvents_.Contains(static_cast<TSioCommEvent>(e))) mask |= kEventBits[e];
  // The write thread reports output-empty itself.
  if (!directWrite_) mask &= ~EV_TXEMPTY;
  eventMask_ = mask;
  if (Active() && !SetCommMask(handle_, mask)) Error(" Error setting EventMask (%d), %s");
}

void TSioCustomComm::CreateThreads() {
  if (eventMask_ != 0) {
    eventThread_ = std::make_shared<TSioCommEventThread>(core_, handle_);
    eventThread_->SetPriority(eventPriority_);
    eventThread_->Start();
  }
  if (!directWrite_) {
    writeThread_ = std::make_shared<TSioCommWriteThread>(core_, handle_, buffers_->WriteSize());
    writeThread_->SetPriority(writePriority_);
    writeThread_->Start();
  }
}

void TSioCustomComm::DestroyThreads() {
  if (eventThread_ != nullptr) {
    eventThread_->StopThread();
    eventThread_.reset();
  }
  if (writeThread_ != nullptr) {
    writeThread_->StopThread();
    writeThread_.reset();
  }
}

void TSioCustomComm::DoOpen() {
  if (OnOpen) GuardedStep([this] { OnOpen(this); });
}

void TSioCustomComm::DoClose() {
  if (OnClose && !destroying_) OnClose(this);
}

void TSioCustomComm::GetProperties() {
  properties_ = COMMPROP{};
  if (!Active()) Error("Can't perform this operation while port is closed");
  if (!GetCommProperties(handle_, &properties_)) Error("Error reading port properties (%d), %s");
}

void TSioCustomComm::ResetPortParameters() {
  COMMCONFIG config{};
  DWORD size = sizeof config;
  if (!GetDefaultCommConfig(GetDeviceName().c_str(), &config, &size))
    throw ESioCommError("Error reading default port parameters.");
  ReadDCB(config.dcb);
}

// Mapping choices for the control fields: a DTR field with the handshake bit is dtrHandshake (also
// with both bits), one with only the enable bit dtrEnabled, none dtrDisabled; an RTS field with both
// bits is rtsToggle, none rtsDisabled.
void TSioCustomComm::ReadDCB(const DCB& dcb) {
  baudrate_ = brUser;
  userBaudrate_ = static_cast<int>(dcb.BaudRate);
  for (int b = brUser; b <= br256000; ++b) {
    if (static_cast<DWORD>(kRates[b]) == dcb.BaudRate) {
      baudrate_ = static_cast<TSioBaudrate>(b);
      userBaudrate_ = 0;
      break;
    }
  }
  parity_ = dcb.Parity <= paSpace ? static_cast<TSioParity>(dcb.Parity) : paNone;
  databits_ = dcb.ByteSize >= 4 && dcb.ByteSize <= 8 ? static_cast<TSioDatabits>(dcb.ByteSize - 4) : db8;
  stopbits_ = dcb.StopBits <= 2 ? static_cast<TSioStopbits>(dcb.StopBits) : sb1;

  const DWORD dtr = dcb.Flags & DCB_DTR_CONTROL_MASK;
  flowControl_->SetControlDtr((dtr & DCB_DTR_CONTROL_HANDSHAKE) ? dtrHandshake
                              : dtr                             ? dtrEnabled
                                                                : dtrDisabled);
  const DWORD rts = dcb.Flags & DCB_RTS_CONTROL_MASK;
  flowControl_->SetControlRts(rts == DCB_RTS_CONTROL_TOGGLE      ? rtsToggle
                              : rts == DCB_RTS_CONTROL_HANDSHAKE ? rtsHandshake
                              : rts == DCB_RTS_CONTROL_ENABLE    ? rtsEnabled
                                                                 : rtsDisabled);
  flowControl_->SetOutCtsFlow(dcb.Flags & DCB_OUTX_CTS_FLOW);
  flowControl_->SetOutDsrFlow(dcb.Flags & DCB_OUTX_DSR_FLOW);
  flowControl_->SetXonXoffOut(dcb.Flags & DCB_OUTX);
  flowControl_->SetXonXoffIn(dcb.Flags & DCB_INX);
  flowControl_->SetDsrSensitivity(dcb.Flags & DCB_DSR_SENSITIVITY);
  flowControl_->SetTxContinueOnXoff(dcb.Flags & DCB_TX_CONTINUE_ON_XOFF);
  eventChars_->SetEventChar(1, dcb.XonChar);
  eventChars_->SetEventChar(2, dcb.XoffChar);
  eventChars_->SetEventChar(3, dcb.ErrorChar);
  eventChars_->SetEventChar(4, dcb.EvtChar);
  eventChars_->SetEventChar(5, dcb.EofChar);
  buffers_->SetXonLimit(dcb.XonLim);
  buffers_->SetXoffLimit(dcb.XoffLim);

  options_ = TSioCommOptions{};
  if (dcb.Flags & DCB_ERROR_CHAR) options_.Include(coErrorChar);
  if (dcb.Flags & DCB_NULL) options_.Include(coNullStrip);
  if (dcb.Flags & DCB_PARITY) options_.Include(coParityCheck);
}

// UARTs come first and are listed as found; every other port only once.
void TSioCustomComm::GetComPortNames(std::vector<std::string>& list) {
  list.clear();
  for (const auto& port : ListSerialPorts())
    if (port.uart || std::find(list.begin(), list.end(), port.name) == list.end()) list.push_back(port.name);
}

void TSioCustomComm::WriteLock() { core_->writeLock.Enter(); }
void TSioCustomComm::WriteUnlock() { core_->writeLock.Leave(); }
void TSioCustomComm::GlobalLock() { core_->globalLock.Enter(); }
void TSioCustomComm::GlobalUnlock() { core_->globalLock.Leave(); }

void TSioCustomComm::Error(const std::string& msg) {
  const DWORD code = GetLastError();
  throw ESioCommError(FormatError(msg, code, ErrorText(code)), code);
}

void TSioCustomComm::Watch(bool ok, const std::string& msg) {
  if (!ok) Error(msg);
}

void TSioCustomComm::BuffersChanged(TSioPersistent*) { CheckOpen(); }
void TSioCustomComm::EventCharsChanged(TSioPersistent*) { SetDCB(); }
void TSioCustomComm::FlowControlChanged(TSioPersistent*) { SetDCB(); }
