// SPDX-License-Identifier: GPL-3.0-or-later
// The port component's reads and writes, its queues' state, purging, and the modem and control
// lines.
#include "comm/SioComm.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "comm/SioCommThreads.h"
#include "platform/kernel.h"
#include "platform/serial.h"

using namespace platform;

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

int UnreadBytes(TSioCustomComm& comm) {
  try {
    return comm.ReadBufUsed();
  } catch (const ESioCommError&) {
    return 0;
  }
}
