// SPDX-License-Identifier: GPL-3.0-or-later
#include "comm/SioComm.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "comm/Sioutils.h"
#include "platform/kernel.h"
#include "platform/ports.h"
#include "platform/serial.h"

using namespace platform;

namespace sio_detail {

// What the component shares with its threads. The threads outlive a Close (they are signalled, not
// awaited), so the locks they use live here, and comm is cleared when the component is destroyed so
// that a step still queued for the GUI thread finds nothing to run on.
struct CommCore {
  TSioCustomComm* comm = nullptr;  // GUI thread only
  unsigned generation = 0;         // one per Open; GUI thread only
  TSioSyncCall sync;
  TSioCriticalSection writeLock;
  TSioCriticalSection globalLock;
  // The opening whose handle is open, 0 while closed. Windows gives a closed handle's value to the
  // next open at once, so a thread of an earlier opening starts nothing on its handle value unless
  // this still names its opening, checked under handleLock, which Close takes before closing.
  TSioCriticalSection handleLock;
  unsigned openGeneration = 0;  // under handleLock
};

namespace {

std::atomic<DWORD> gClosePause{300};

// Runs step on the GUI thread with the component it belongs to, unless that component is gone or has
// been opened again since the step was made.
void RunOnGui(const std::shared_ptr<CommCore>& core, const TSioSyncCall& sync, unsigned generation,
              const std::function<void(TSioCustomComm*)>& step) {
  const auto guarded = [&] {
    if (core->comm == nullptr || core->generation != generation) return;
    GuardedStep([&] { step(core->comm); });
  };
  GuardedStep([&] {
    if (sync) {
      sync(guarded);
    } else {
      guarded();
    }
  });
}

// Runs start, which begins an operation on a worker's handle, only while that handle is still the
// open one; false when its opening has been closed. start must return at once: Close waits for the
// lock before it closes the handle.
template <class Start>
bool IfStillOpen(CommCore& core, unsigned generation, Start&& start) {
  TSioLockGuard lock(core.handleLock);
  if (core.openGeneration != generation) return false;
  start();
  return true;
}

}  // namespace

// An overlapped operation's record, with room for what the device writes back.
struct TSioIo {
  OVERLAPPED ov{};
  DWORD mask = 0;
  std::vector<std::uint8_t> data;
};

// Waits until the device has written the outcome of io's operation, ended before by a cancel or by
// closing the handle: Windows
// completes a cancelled operation after CancelIoEx returns, and Wine ends a serial wait only when its
// own thread next looks. After two seconds it gives up and leaves io to the device for good, so that a
// late completion writes into memory nobody else uses.
void AwaitIo(std::unique_ptr<TSioIo>& io) {
  for (int i = 0; i < 200; ++i) {
    if (IoCompleted(&io->ov)) return;
    Sleep(10);
  }
  (void)io.release();
}

// Ends the operation of io on the owner's open handle, if it still runs.
void EndIo(HANDLE h, std::unique_ptr<TSioIo>& io) {
  CancelIoEx(h, &io->ov);
  AwaitIo(io);
}

// The same from a worker, whose handle may have been closed (which ends the operation by itself).
void EndWorkerIo(CommCore& core, unsigned generation, HANDLE h, std::unique_ptr<TSioIo>& io) {
  IfStillOpen(core, generation, [&] { CancelIoEx(h, &io->ov); });
  AwaitIo(io);
}

// The write queue: bytes held always start at the front of the block.
class TSioCommBuffer {
 public:
  explicit TSioCommBuffer(int size) : data_(static_cast<std::size_t>(std::max(size, 0))) {}
  std::uint8_t* DataPtr() { return data_.data(); }
  int Count() const { return count_; }
  int Size() const { return static_cast<int>(data_.size()); }
  void Clear() { count_ = 0; }
  void Write(const void* data, int count) {
    std::memcpy(data_.data() + count_, data, static_cast<std::size_t>(count));
    count_ += count;
  }
  void Peek(void* data, int count) const { std::memcpy(data, data_.data(), static_cast<std::size_t>(count)); }
  void Read(void* data, int count) {
    Peek(data, count);
    Remove(count);
  }
  void Remove(int count) {
    count = std::min(count, count_.load());
    std::memmove(data_.data(), data_.data() + count, static_cast<std::size_t>(count_ - count));
    count_ -= count;
  }

 private:
  std::vector<std::uint8_t> data_;
  std::atomic<int> count_{0};
};

class TSioCommEventThread : public TSioThread {
 public:
  TSioCommEventThread(std::shared_ptr<CommCore> core, HANDLE handle)
      : core_(std::move(core)), handle_(handle), generation_(core_->generation), sync_(core_->sync) {}

  void StopThread() {
    Terminate();
    waitEvent_.SetEvent();
  }

 protected:
  void Execute() override {
    auto io = std::make_unique<TSioIo>();
    io->ov.hEvent = waitEvent_.Handle();
    while (!Terminated()) {
      BOOL started = FALSE;
      DWORD error = 0;
      if (!IfStillOpen(*core_, generation_, [&] {
            started = WaitCommEvent(handle_, &io->mask, &io->ov);
            error = started ? 0 : GetLastError();
          }))
        break;
      bool fire = started != FALSE;
      if (!started && error == ERROR_IO_PENDING) {
        fire = waitEvent_.WaitFor(INFINITE) == wrSignaled;
      } else if (!started) {
        // A wait that cannot start (the device is gone): pause rather than spin until stopped.
        waitEvent_.WaitFor(250);
        continue;
      }
      if (fire && !Terminated()) {
        const DWORD mask = io->mask;
        waitEvent_.ResetEvent();
        if (mask != 0) {
          RunOnGui(core_, sync_, generation_, [mask](TSioCustomComm* comm) { comm->DoEvent(mask); });
        } else {
          // Nothing happened: the mask was changed, or (Wine on a pseudo-terminal, which has no
          // modem lines) the driver ends every wait at once. A short pause keeps that from spinning.
          waitEvent_.WaitFor(10);
        }
      }
    }
    // The device must not complete a wait into this thread's storage after it is gone.
    EndWorkerIo(*core_, generation_, handle_, io);
  }

 private:
  std::shared_ptr<CommCore> core_;
  HANDLE handle_;
  unsigned generation_;
  TSioSyncCall sync_;
  TSioWaitEvent waitEvent_;
};

class TSioCommWriteThread : public TSioThread {
 public:
  TSioCommWriteThread(std::shared_ptr<CommCore> core, HANDLE handle, int size)
      : core_(std::move(core)),
        handle_(handle),
        generation_(core_->generation),
        sync_(core_->sync),
        queue_(size) {}

  void StopThread() { stop_.SetEvent(); }

  // Waits up to writeTimeout for room; the room is checked under the lock, since another writer may
  // take it between a look and the write.
  bool WriteData(const void* data, int count, DWORD writeTimeout) {
    if (count <= 0) return false;
    TSioTimeEvent timer;
    InitTimer(timer, writeTimeout);
    for (;;) {
      {
        TSioLockGuard lock(core_->writeLock);
        if (count <= queue_.Size() - queue_.Count()) {
          queue_.Write(data, count);
          dataReady_.SetEvent();
          return true;
        }
      }
      if (TimerExpired(timer)) return false;
      Sleep(1);
    }
  }

  // From a step this thread waits on (OnTxEmpty, the error path) the thread cannot answer the request;
  // it has no write under way there either, so the queue is cleared at once. The lock orders this
  // against the thread entering a step: a request made just before is answered before it blocks.
  void PurgeWrite() {
    {
      TSioLockGuard lock(core_->writeLock);
      if (inStep_) {
        queue_.Clear();
        return;
      }
      purgeDone_.ResetEvent();
      purgeRequest_.SetEvent();
    }
    if (purgeDone_.WaitFor(2000) != wrSignaled) return;
    TSioLockGuard lock(core_->writeLock);
    queue_.Clear();
  }

  // Under the write lock.
  int Used() const { return queue_.Count(); }

 protected:
  void Execute() override {
    const HANDLE idle[] = {stop_.Handle(), purgeRequest_.Handle(), dataReady_.Handle()};
    const HANDLE busy[] = {stop_.Handle(), purgeRequest_.Handle(), ioDone_.Handle()};
    // The device writes from the record's own copy of the bytes and reports into it: a write still
    // pending when the thread ends must find neither freed.
    auto io = std::make_unique<TSioIo>();
    bool pending = false;
    while (!Terminated()) {
      const DWORD woke = WaitForMultipleObjects(3, idle, FALSE, INFINITE);
      if (woke == WAIT_OBJECT_0) {
        Terminate();
        break;
      }
      if (woke == WAIT_OBJECT_0 + 1) {
        AnswerPurge();
        continue;
      }
      if (woke != WAIT_OBJECT_0 + 2) continue;
      if (pending) {
        // A write left to the device purge must end before the record is used again.
        const HANDLE drain[] = {stop_.Handle(), ioDone_.Handle()};
        if (WaitForMultipleObjects(2, drain, FALSE, INFINITE) == WAIT_OBJECT_0) {
          Terminate();
          break;
        }
        pending = false;
      }

      const std::uint8_t* start;
      int count;
      {
        TSioLockGuard lock(core_->writeLock);
        count = queue_.Count();
        start = queue_.DataPtr();
        if (count == 0) {
          dataReady_.ResetEvent();
          continue;
        }
      }
      io->ov = OVERLAPPED{};
      io->ov.hEvent = ioDone_.Handle();
      io->data.assign(start, start + count);
      DWORD written = 0;
      BOOL started = FALSE;
      DWORD error = 0;
      if (!IfStillOpen(*core_, generation_, [&] {
            started = WriteFile(handle_, io->data.data(), static_cast<DWORD>(count), &written, &io->ov);
            error = started ? 0 : GetLastError();
          }))
        break;  // closed, and told to stop before that
      if (started) {
        Completion(written);
      } else if (error == ERROR_IO_PENDING) {
        pending = true;
        const DWORD done = WaitForMultipleObjects(3, busy, FALSE, INFINITE);
        if (done == WAIT_OBJECT_0) {
          Terminate();
        } else if (done == WAIT_OBJECT_0 + 1) {
          AnswerPurge();
        } else if (done == WAIT_OBJECT_0 + 2) {
          pending = false;
          BOOL result = FALSE;
          // Finished: nothing to wait for, and the lock must never be held while waiting.
          IfStillOpen(*core_, generation_,
                      [&] { result = GetOverlappedResult(handle_, &io->ov, &written, FALSE); });
          if (result) Completion(written);
        }
      } else {
        Step([](TSioCustomComm* comm) { comm->HandleLineEvent(EV_ERR); });
        // The same bytes go again on the next pass; a device that is gone must not make that a spin.
        const HANDLE calm[] = {stop_.Handle(), purgeRequest_.Handle()};
        WaitForMultipleObjects(2, calm, FALSE, 100);
      }
    }
    if (pending) EndWorkerIo(*core_, generation_, handle_, io);
  }

 private:
  void AnswerPurge() {
    purgeRequest_.ResetEvent();
    purgeDone_.SetEvent();
  }

  void Completion(DWORD written) {
    {
      TSioLockGuard lock(core_->writeLock);
      queue_.Remove(static_cast<int>(written));
      if (queue_.Count() > 0) {
        dataReady_.SetEvent();
        return;
      }
      dataReady_.ResetEvent();
    }
    Step([](TSioCustomComm* comm) { comm->HandleLineEvent(EV_TXEMPTY); });
  }

  void Step(const std::function<void(TSioCustomComm*)>& step) {
    {
      TSioLockGuard lock(core_->writeLock);
      inStep_ = true;
      if (purgeRequest_.WaitFor(0) == wrSignaled) AnswerPurge();
    }
    RunOnGui(core_, sync_, generation_, step);
    TSioLockGuard lock(core_->writeLock);
    inStep_ = false;
  }

  std::shared_ptr<CommCore> core_;
  HANDLE handle_;
  unsigned generation_;
  TSioSyncCall sync_;
  bool inStep_ = false;  // under the write lock
  TSioCommBuffer queue_;
  TSioWaitEvent dataReady_, stop_, purgeRequest_, purgeDone_, ioDone_;
};

}  // namespace sio_detail

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

// --- dispatcher ---------------------------------------------------------------------------------

TSioDispatcher::~TSioDispatcher() {
  if (comm_ != nullptr) comm_->RemoveClient(this);
}

void TSioDispatcher::DataEvent(PSioData data, int count) {
  if (active_) user_->DataChanged(data, count);
}

void TSioDispatcher::LineEvent(DWORD evtMask) {
  if (active_) user_->LineChanged(evtMask);
}

void TSioDispatcher::SetDTRState(bool state) {
  if (comm_ != nullptr) comm_->SetDTR(state);
}
void TSioDispatcher::PurgeRead() {
  if (comm_ != nullptr) comm_->PurgeRead();
}
void TSioDispatcher::PurgeWrite() {
  if (comm_ != nullptr) comm_->PurgeWrite();
}
void TSioDispatcher::PurgeReadWrite() {
  if (comm_ != nullptr) comm_->PurgeReadWrite();
}
int TSioDispatcher::WriteBuf(const void* data, int count) {
  return comm_ != nullptr ? comm_->WriteBuf(data, count) : 0;
}
bool TSioDispatcher::WriteText(const std::string& text) { return comm_ != nullptr && comm_->WriteText(text); }
bool TSioDispatcher::WriteChar(char ch) { return comm_ != nullptr && comm_->WriteChar(ch); }

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

TSioDisplayBase::~TSioDisplayBase() {
  for (TSioCustomComm* comm : std::vector<TSioCustomComm*>(comms_)) comm->DisplayRemoved(this);
}

void TSioCustomComm::SetDisplay(TSioDisplayBase* value) {
  if (value == display_) return;
  if (display_ != nullptr) std::erase(display_->comms_, this);
  display_ = value;
  if (value != nullptr) value->comms_.push_back(this);
}

void TSioCustomComm::DisplayRemoved(TSioDisplayBase* display) {
  if (display == display_) SetDisplay(nullptr);
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

int TSioCustomComm::WriteBuf(const void* data, int count) {
  if (!Active() || data == nullptr || count <= 0) return 0;
  if (!directWrite_) {
    if (writeThread_ == nullptr) return 0;
    if (!writeThread_->WriteData(data, count, static_cast<DWORD>(buffers_->WriteTimeout())))
      Error("Output buffer is full. Please check comm status.");
    return count;
  }
  TSioLockGuard lock(core_->writeLock);
  // The device writes from the record's copy: a write cut short may end after this returns.
  if (writeIo_ == nullptr) writeIo_ = std::make_unique<sio_detail::TSioIo>();
  sio_detail::TSioIo& io = *writeIo_;
  io.ov = OVERLAPPED{};
  io.ov.hEvent = completion_->Handle();
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  io.data.assign(bytes, bytes + count);
  DWORD written = 0;
  if (!WriteFile(handle_, io.data.data(), static_cast<DWORD>(count), &written, &io.ov) &&
      GetLastError() != ERROR_IO_PENDING)
    Error("Write error (%d), %s");
  if (completion_->WaitFor(static_cast<DWORD>(buffers_->ReadTimeout())) == wrSignaled) {
    GetOverlappedResult(handle_, &io.ov, &written, FALSE);
    return static_cast<int>(written);
  }
  sio_detail::EndIo(handle_, writeIo_);
  return 0;
}

bool TSioCustomComm::WriteText(const std::string& text) {
  return WriteBuf(text.data(), static_cast<int>(text.size())) == static_cast<int>(text.size());
}

bool TSioCustomComm::WriteChar(char ch) { return WriteBuf(&ch, 1) == 1; }

int TSioCustomComm::ReadBuf(void* data, int count) {
  if (!Active() || data == nullptr || count <= 0) return 0;
  TSioLockGuard lock(core_->globalLock);
  // The device reads into the record: a read cut short may end after this returns.
  if (readIo_ == nullptr) readIo_ = std::make_unique<sio_detail::TSioIo>();
  sio_detail::TSioIo& io = *readIo_;
  io.ov = OVERLAPPED{};
  io.ov.hEvent = completion_->Handle();
  io.data.resize(static_cast<std::size_t>(count));
  DWORD read = 0;
  if (!ReadFile(handle_, io.data.data(), static_cast<DWORD>(count), &read, &io.ov) &&
      GetLastError() != ERROR_IO_PENDING)
    Error("Read error (%d), %s");
  if (completion_->WaitFor(static_cast<DWORD>(buffers_->ReadTimeout())) != wrSignaled) {
    sio_detail::EndIo(handle_, readIo_);
    // A read may finish with its bytes while it is being cancelled: they are kept, not lost.
    if (readIo_ == nullptr || !GetOverlappedResult(handle_, &io.ov, &read, FALSE)) return 0;
  } else if (!GetOverlappedResult(handle_, &io.ov, &read, FALSE)) {
    return 0;
  }
  std::memcpy(data, io.data.data(), std::min<std::size_t>(read, static_cast<std::size_t>(count)));
  return static_cast<int>(read);
}

std::string TSioCustomComm::ReadText() {
  const int used = ReadBufUsed();
  if (used <= 0) return {};
  std::string text(static_cast<std::size_t>(used), '\0');
  text.resize(static_cast<std::size_t>(std::max(0, ReadBuf(text.data(), used))));
  return text;
}

bool TSioCustomComm::ReadChar(char& ch) { return ReadBuf(&ch, 1) == 1; }

TSioCommStatus TSioCustomComm::GetCommStatus() {
  TSioLockGuard lock(core_->globalLock);
  TSioCommStatus status;
  if (Active()) {
    DWORD errors = 0;
    COMSTAT stat{};
    if (!ClearCommError(handle_, &errors, &stat)) Error("Error retrieving statistics (%d), %s");
    status = TSioCommStatus{errors, stat.Flags, stat.cbInQue, stat.cbOutQue};
  }
  return status;
}

int TSioCustomComm::ReadBufUsed() { return Active() ? static_cast<int>(GetCommStatus().InQueue) : 0; }

int TSioCustomComm::ReadBufFree() { return Active() ? buffers_->ReadSize() - ReadBufUsed() : 0; }

int TSioCustomComm::WriteBufUsed() {
  if (!Active()) return 0;
  if (directWrite_) return static_cast<int>(GetCommStatus().OutQueue);
  if (writeThread_ == nullptr) return 0;
  TSioLockGuard lock(core_->writeLock);
  return writeThread_->Used();
}

int TSioCustomComm::WriteBufFree() {
  if (!Active()) return 0;
  if (!directWrite_ && writeThread_ == nullptr) return 0;
  return buffers_->WriteSize() - WriteBufUsed();
}

bool TSioCustomComm::ClearLineErrors() {
  const TSioCommStatus status = GetCommStatus();
  if (status.Errors == 0) return false;
  if (OnError) GuardedStep([&] { OnError(this, static_cast<int>(status.Errors)); });
  return true;
}

void TSioCustomComm::PurgeRead() { PurgeBuffers(PURGE_RXABORT | PURGE_RXCLEAR); }
void TSioCustomComm::PurgeWrite() { PurgeBuffers(PURGE_TXABORT | PURGE_TXCLEAR); }
void TSioCustomComm::PurgeReadWrite() {
  PurgeBuffers(PURGE_RXABORT | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_TXCLEAR);
}

void TSioCustomComm::PurgeBuffers(DWORD flags) {
  if (!Active()) return;
  TSioLockGuard lock(core_->globalLock);
  if (flags != (PURGE_RXABORT | PURGE_RXCLEAR) && writeThread_ != nullptr) writeThread_->PurgeWrite();
  if (!PurgeComm(handle_, flags)) Error("Error clearing buffers (%d), %s");
}

void TSioCustomComm::SetDTR(bool state) {
  if (flowControl_->ControlDtr() == dtrHandshake)
    throw ESioCommError("DTR line updates not allowed when flowcontrol is set to Handshake.");
  ToggleCommState(state ? SETDTR : CLRDTR);
}

void TSioCustomComm::SetRTS(bool state) {
  if (flowControl_->ControlRts() == rtsHandshake || flowControl_->ControlRts() == rtsToggle)
    throw ESioCommError("RTS line updates not allowed when flowcontrol is set to Handshake or Toggle.");
  ToggleCommState(state ? SETRTS : CLRRTS);
}

void TSioCustomComm::SetBreak(bool state) { ToggleCommState(state ? SETBREAK : CLRBREAK); }
void TSioCustomComm::SetXon(bool state) { ToggleCommState(state ? SETXON : SETXOFF); }
void TSioCustomComm::ResetDev() { ToggleCommState(RESETDEV); }

void TSioCustomComm::ToggleCommState(DWORD func) {
  if (Active() && !EscapeCommFunction(handle_, func)) Error("Error calling comm function (%d), %s");
}

bool TSioCustomComm::GetModemStatus(int index) {
  DWORD word = 0;
  if (Active() && !GetCommModemStatus(handle_, &word)) Error("Error reading modem state (%d), %s");
  static constexpr DWORD kBits[] = {MS_CTS_ON, MS_DSR_ON, MS_RING_ON, MS_RLSD_ON};
  return index >= 1 && index <= 4 && (word & kBits[index - 1]) != 0;
}

bool TSioCustomComm::GetComStat(int index) {
  const TSioCommStatus status = GetCommStatus();
  return index >= 1 && index <= 8 && (status.Flags & (1U << (index - 1))) != 0;
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

void TSioCustomComm::InsertClient(TSioDispatcher* dispatcher) {
  dispatcher->comm_ = this;
  clients_->push_back(dispatcher);
}

void TSioCustomComm::RemoveClient(TSioDispatcher* dispatcher) {
  const auto it = std::find(clients_->begin(), clients_->end(), dispatcher);
  if (it == clients_->end()) return;
  dispatcher->comm_ = nullptr;
  clients_->erase(it);
}

void TSioCustomComm::DestroyClients() {
  while (!clients_->empty()) RemoveClient(clients_->back());
}

void TSioCustomComm::UpdateDisplay() {
  if (display_ != nullptr) display_->UpdateDisplay(this);
}

void TSioCustomComm::Error(const std::string& msg) {
  const DWORD code = GetLastError();
  throw ESioCommError(FormatError(msg, code, ErrorText(code)), code);
}

void TSioCustomComm::Watch(bool ok, const std::string& msg) {
  if (!ok) Error(msg);
}

void TSioCustomComm::DoEvent(DWORD evtMask) {
  GuardedStep([&] {
    UpdateDisplay();
    if (evtMask & EV_RXCHAR) {
      HandleDataEvent();
      evtMask &= ~EV_RXCHAR;
    }
    if (evtMask != 0) HandleLineEvent(evtMask);
  });
}

void TSioCustomComm::HandleDataEvent() {
  const int waiting = ReadBufUsed();
  if (waiting <= 0) return;
  if (!clients_->empty()) {
    std::vector<std::uint8_t> block(static_cast<std::size_t>(waiting));
    const int read = ReadBuf(block.data(), waiting);
    if (read > 0) WriteBuffer(block.data(), read);  // only what really arrived
  } else if (OnRxChar) {
    OnRxChar(this, waiting);
  }
}

void TSioCustomComm::HandleLineEvent(DWORD evtMask) {
  if (evtMask & EV_ERR) ClearLineErrors();
  if (!clients_->empty()) WriteEvents(evtMask);
  const std::pair<DWORD, TNotifyEvent*> order[] = {
      {EV_RXFLAG, &OnRxFlag},     {EV_CTS, &OnCts},         {EV_DSR, &OnDsr},       {EV_RING, &OnRing},
      {EV_RLSD, &OnRlsd},         {EV_TXEMPTY, &OnTxEmpty}, {EV_BREAK, &OnBreak},   {EV_PERR, &OnPErr},
      {EV_RX80FULL, &OnRx80Full}, {EV_EVENT1, &OnEvent1},   {EV_EVENT2, &OnEvent2},
  };
  for (const auto& [bit, handler] : order)
    if ((evtMask & bit) && *handler) (*handler)(this);
}

// A handler may detach or destroy any client, a later one too: each is looked up again before its
// call, so none that left is called.
void TSioCustomComm::ForEachClient(const std::function<void(TSioDispatcher*)>& call) {
  const std::vector<TSioDispatcher*> clients = *clients_;
  for (TSioDispatcher* client : clients)
    if (clients_ && std::find(clients_->begin(), clients_->end(), client) != clients_->end()) call(client);
}

void TSioCustomComm::WriteEvents(DWORD evtMask) {
  if (!controlsEnabled_) return;
  ForEachClient([&](TSioDispatcher* client) { client->LineEvent(evtMask); });
}

void TSioCustomComm::WriteBuffer(PSioData data, int count) {
  if (controlsEnabled_) ForEachClient([&](TSioDispatcher* client) { client->DataEvent(data, count); });
  if (OnRxBuf) OnRxBuf(this, data, count);
}

void TSioCustomComm::BuffersChanged(TSioPersistent*) { CheckOpen(); }
void TSioCustomComm::EventCharsChanged(TSioPersistent*) { SetDCB(); }
void TSioCustomComm::FlowControlChanged(TSioPersistent*) { SetDCB(); }

// --- consumer base ------------------------------------------------------------------------------

TSioCommComponent::~TSioCommComponent() { dispatcher_.reset(); }

void TSioCommComponent::SetComm(TSioCustomComm* value) {
  if (TSioCustomComm* old = dispatcher_->Comm(); old != nullptr) old->RemoveClient(dispatcher_.get());
  if (value != nullptr) value->InsertClient(dispatcher_.get());
}

// The port forgets its clients when it is destroyed, which clears the dispatcher's link: Comm() then
// gives null by itself. This notice stays for callers that remove the port otherwise.
void TSioCommComponent::CommRemoved(TSioCustomComm* comm) {
  if (comm != nullptr && comm == dispatcher_->Comm()) comm->RemoveClient(dispatcher_.get());
}
