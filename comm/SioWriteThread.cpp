// SPDX-License-Identifier: GPL-3.0-or-later
// The write thread: it drains the write queue into the device, one overlapped write at a time.
#include "comm/SioCommThreads.h"

using namespace platform;

namespace sio_detail {

void TSioCommWriteThread::Execute() {
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

}  // namespace sio_detail
