// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/kernel.h"

#include <glob.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <atomic>
#include <cerrno>
#include <chrono>

#include <cstring>
#include <optional>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/kernel_object.h"

namespace platform {
namespace detail {
namespace {

// Never destroyed: detached worker threads may still close their handles while the process exits.
std::mutex& gTableMutex = *new std::mutex;
auto& gTable = *new std::unordered_map<std::uintptr_t, std::shared_ptr<KernelObject>>;
std::uintptr_t gNextHandle = 0x100;

}  // namespace

HANDLE RegisterObject(std::shared_ptr<KernelObject> object) {
  std::lock_guard lock(gTableMutex);
  const std::uintptr_t id = gNextHandle;
  gNextHandle += 4;
  gTable.emplace(id, std::move(object));
  return reinterpret_cast<HANDLE>(id);
}

std::shared_ptr<KernelObject> LookupObject(HANDLE handle) {
  std::lock_guard lock(gTableMutex);
  const auto it = gTable.find(reinterpret_cast<std::uintptr_t>(handle));
  return it == gTable.end() ? nullptr : it->second;
}

BOOL Fail(DWORD code) {
  SetLastError(code);
  return FALSE;
}

}  // namespace detail

using detail::Fail;
using detail::KernelObject;

namespace {

thread_local DWORD tLastError = 0;
std::atomic<DWORD> gTickBias{0};

// All events share one mutex: waits on several events need one lock to see them together, and the
// traffic here is a handful of events per serial exchange.
std::mutex& gEventMutex = *new std::mutex;

// A waiting thread sleeps in poll() on its own eventfd, which SetEvent writes; the same poll can then
// also watch the devices that drive the awaited events.
struct Waiter {
  Waiter() : fd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}
  ~Waiter() { ::close(fd); }
  void Notify() {
    if (notified.exchange(true)) return;
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto n = ::write(fd, &one, sizeof one);
  }
  void Drain() {
    if (!notified.exchange(false)) return;
    std::uint64_t count;
    [[maybe_unused]] const auto n = ::read(fd, &count, sizeof count);
  }
  int fd;
  std::atomic<bool> notified{false};
};

Waiter& ThisThreadWaiter() {
  thread_local Waiter waiter;
  return waiter;
}

class EventObject : public KernelObject {
 public:
  EventObject(bool manualReset, bool initialState) : manualReset_(manualReset), signalled_(initialState) {}

  // All under gEventMutex.
  bool manualReset_;
  bool signalled_;
  std::vector<Waiter*> waiters_;
  std::shared_ptr<detail::IoSource> source_;
};

}  // namespace

namespace detail {

void CompleteOverlapped(OVERLAPPED* ov, DWORD status, DWORD bytes) {
  // Once the status is out, the caller may free ov: nothing of it is read after that.
  const HANDLE event = ov->hEvent;
  ov->InternalHigh = bytes;
  std::atomic_ref<ULONG_PTR>(ov->Internal).store(status, std::memory_order_release);
  if (event != nullptr) SetEvent(event);
}

void SetEventSource(HANDLE event, std::shared_ptr<IoSource> source) {
  const auto object = Lookup<EventObject>(event);
  if (!object) return;
  {
    std::lock_guard lock(gEventMutex);
    object->source_.swap(source);
  }
  // The old source may be released here, never under the event lock: its end takes its own lock.
}

ULONG_PTR OverlappedStatus(const OVERLAPPED* ov) {
  return std::atomic_ref<ULONG_PTR>(const_cast<OVERLAPPED*>(ov)->Internal).load(std::memory_order_acquire);
}

}  // namespace detail

DWORD GetLastError() { return tLastError; }
void SetLastError(DWORD code) { tLastError = code; }

std::string ErrorText(DWORD code) {
  std::string text;
  if (code == ERROR_IO_PENDING) {
    text = "Overlapped I/O operation is in progress";
  } else {
    char buffer[256];
    // The GNU variant returns the text, which may or may not be in buffer.
    text = strerror_r(static_cast<int>(code), buffer, sizeof buffer);
  }
  while (!text.empty() && (static_cast<unsigned char>(text.back()) <= ' ' || text.back() == '.'))
    text.pop_back();
  return text;
}

HANDLE CreateEvent(void* attributes, BOOL manualReset, BOOL initialState, const char* name) {
  if (attributes != nullptr || name != nullptr) {
    SetLastError(EINVAL);
    return nullptr;
  }
  return detail::RegisterObject(std::make_shared<EventObject>(manualReset != FALSE, initialState != FALSE));
}

BOOL SetEvent(HANDLE event) {
  const auto object = detail::Lookup<EventObject>(event);
  if (!object) return Fail(EBADF);
  std::lock_guard lock(gEventMutex);
  object->signalled_ = true;
  // A thread that sets an event it waits on itself (while servicing a device) is awake already.
  Waiter* self = &ThisThreadWaiter();
  for (Waiter* waiter : object->waiters_)
    if (waiter != self) waiter->Notify();
  return TRUE;
}

BOOL ResetEvent(HANDLE event) {
  const auto object = detail::Lookup<EventObject>(event);
  if (!object) return Fail(EBADF);
  std::lock_guard lock(gEventMutex);
  object->signalled_ = false;
  return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  return WaitForMultipleObjects(1, &handle, FALSE, milliseconds);
}

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds) {
  if (count == 0 || handles == nullptr) {
    SetLastError(EINVAL);
    return WAIT_FAILED;
  }
  std::vector<std::shared_ptr<EventObject>> events;
  events.reserve(count);
  for (DWORD i = 0; i < count; ++i) {
    events.push_back(detail::Lookup<EventObject>(handles[i]));
    if (!events.back()) {
      SetLastError(EBADF);
      return WAIT_FAILED;
    }
  }

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  std::unique_lock lock(gEventMutex);
  // Returns the result when the wait is satisfied, or nothing.
  const auto satisfied = [&]() -> std::optional<DWORD> {
    if (waitAll != FALSE) {
      for (const auto& e : events)
        if (!e->signalled_) return std::nullopt;
      for (const auto& e : events)
        if (!e->manualReset_) e->signalled_ = false;
      return WAIT_OBJECT_0;
    }
    for (DWORD i = 0; i < count; ++i) {
      if (events[i]->signalled_) {
        if (!events[i]->manualReset_) events[i]->signalled_ = false;
        return WAIT_OBJECT_0 + i;
      }
    }
    return std::nullopt;
  };

  if (const auto now = satisfied()) return *now;
  if (milliseconds == 0) return WAIT_TIMEOUT;

  Waiter& waiter = ThisThreadWaiter();
  waiter.Drain();
  for (const auto& e : events) e->waiters_.push_back(&waiter);
  std::optional<DWORD> result;
  std::vector<std::shared_ptr<detail::IoSource>> sources;
  std::vector<pollfd> fds;
  while (!(result = satisfied())) {
    for (const auto& e : events)
      if (e->source_) sources.push_back(e->source_);
    lock.unlock();

    fds.assign(1, pollfd{waiter.fd, POLLIN, 0});
    for (const auto& source : sources) {
      pollfd p{-1, 0, 0};
      source->WaitPoll(&p.fd, &p.events);
      fds.push_back(p);
    }
    int timeout = -1;
    if (milliseconds != INFINITE) {
      const auto left =
          std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      timeout = static_cast<int>(std::max<long long>(0, left.count()));
    }
    for (const auto& source : sources) source->BeginWait();
    const int ready = ::poll(fds.data(), fds.size(), timeout);
    if (ready > 0) {
      if (fds[0].revents != 0) waiter.Drain();
      for (std::size_t i = 1; i < fds.size(); ++i)
        if (fds[i].revents != 0) sources[i - 1]->ServiceFromWaiter(fds[i].fd, fds[i].revents);
    }
    for (std::size_t i = 0; i < sources.size(); ++i) sources[i]->EndWait(fds[i + 1].fd);
    sources.clear();  // outside the lock, as the last reference may end a device
    lock.lock();
    if (ready == 0 && milliseconds != INFINITE && std::chrono::steady_clock::now() >= deadline) {
      result = satisfied();
      if (!result) result = WAIT_TIMEOUT;
      break;
    }
  }
  for (const auto& e : events) std::erase(e->waiters_, &waiter);
  return *result;
}

BOOL CloseHandle(HANDLE handle) {
  const auto object = detail::LookupObject(handle);
  if (!object) return Fail(EBADF);
  // Close while the handle still resolves: a thread that cancels its operation at the same moment
  // must find the object and wait for this, not miss it and free what the operation writes into.
  object->Close();
  std::lock_guard lock(detail::gTableMutex);
  if (detail::gTable.erase(reinterpret_cast<std::uintptr_t>(handle)) == 0) return Fail(EBADF);
  return TRUE;
}

void InitializeCriticalSection(CRITICAL_SECTION*) {}
void DeleteCriticalSection(CRITICAL_SECTION*) {}
void EnterCriticalSection(CRITICAL_SECTION* section) { section->mutex.lock(); }
void LeaveCriticalSection(CRITICAL_SECTION* section) { section->mutex.unlock(); }

DWORD GetTickCount() {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now().time_since_epoch());
  return static_cast<DWORD>(static_cast<std::uint64_t>(ms.count())) + gTickBias.load();
}

void SetTickCountBiasForTesting(DWORD bias) { gTickBias.store(bias); }

void Sleep(DWORD milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

int CurrentThreadId() { return static_cast<int>(::syscall(SYS_gettid)); }

bool SetThreadPriorityOf(int threadId, int priority) {
  static constexpr int kNice[] = {19, 10, 5, 0, -5, -10, -20};
  if (priority < 0 || priority > 6) return false;
  return setpriority(PRIO_PROCESS, static_cast<id_t>(threadId), kNice[priority]) == 0;
}

std::int32_t WildcardFileSize(const std::string& path) {
  // Only "*" and "?" are wildcards; brackets and backslashes are parts of names.
  std::string pattern;
  for (const char c : path) {
    if (c == '[' || c == ']' || c == '\\') pattern += '\\';
    pattern += c;
  }
  glob_t found{};
  const int result = glob(pattern.c_str(), GLOB_NOSORT, nullptr, &found);
  std::int32_t size = -1;
  if (result == 0 && found.gl_pathc > 0) {
    struct stat st {};
    if (::stat(found.gl_pathv[0], &st) == 0)
      size = S_ISDIR(st.st_mode) ? 0 : static_cast<std::int32_t>(st.st_size);
  }
  globfree(&found);
  return size;
}

bool StderrIsTerminal() { return isatty(STDERR_FILENO) != 0; }
void ConsoleOutputUtf8() {}
void OutputToParentConsole() {}

}  // namespace platform
