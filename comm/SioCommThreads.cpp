// SPDX-License-Identifier: GPL-3.0-or-later
// The event thread, which waits for the line's events, and what both worker threads share: their
// steps on the GUI thread and the end of an operation left to the device.
#include "comm/SioCommThreads.h"

using namespace platform;

namespace sio_detail {

std::atomic<DWORD> gClosePause{300};

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

void TSioCommEventThread::Execute() {
  auto io = std::make_unique<TSioIo>();
  io->ov.hEvent = waitEvent_.Handle();
  bool told = false;  // that the device is gone
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
      // A wait that cannot start: the device is gone (an adapter pulled, a line hung up). Said once,
      // as a failed step is, since nothing else may ever ask the device again; then a pause rather
      // than a spin until stopped.
      if (!told) {
        told = true;
        RunOnGui(core_, sync_, generation_, [error](TSioCustomComm* comm) {
          SetLastError(error);
          comm->Error("Error waiting for port events (%d), %s");
        });
      }
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

}  // namespace sio_detail
