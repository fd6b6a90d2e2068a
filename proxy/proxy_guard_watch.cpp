#include "proxy/proxy_guard_watch.h"

#include <utility>

#include "common/log_file.h"
#include "common/process_ending.h"

namespace {

// How often a guard just started is looked for; it takes its mutex within moments.
constexpr DWORD kStartPollMs = 20;

}  // namespace

ProxyGuardWatch::ProxyGuardWatch(std::function<bool()> start_guard, std::wstring guard_mutex,
                                 Timing timing)
    : start_guard_(std::move(start_guard)),
      guard_mutex_(std::move(guard_mutex)),
      timing_(timing),
      wake_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

ProxyGuardWatch::~ProxyGuardWatch() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  SetEvent(wake_.get());
  if (thread_.joinable()) thread_.join();
}

void ProxyGuardWatch::SetSnapshotOnDisk(bool on_disk) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (on_disk == on_disk_) return;
    on_disk_ = on_disk;
    if (on_disk) ++generation_;
    if (!thread_.joinable() && wake_) thread_ = std::thread([this] { Run(); });
  }
  SetEvent(wake_.get());
}

bool ProxyGuardWatch::WaitForSnapshot() {
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (stopping_) return false;
      if (on_disk_) return true;
    }
    WaitForSingleObject(wake_.get(), INFINITE);
  }
}

bool ProxyGuardWatch::Pause(std::chrono::milliseconds duration) {
  WaitForSingleObject(wake_.get(), static_cast<DWORD>(duration.count()));
  std::lock_guard<std::mutex> lock(mutex_);
  return !stopping_;
}

bool ProxyGuardWatch::StillHeld(uint64_t generation) {
  std::lock_guard<std::mutex> lock(mutex_);
  return !stopping_ && on_disk_ && generation_ == generation;
}

ScopedHandle ProxyGuardWatch::WaitForGuardToWatch(uint64_t generation) {
  const DWORD start = GetTickCount();
  const auto limit = static_cast<DWORD>(timing_.start_wait.count());
  for (;;) {
    ScopedHandle guard(OpenMutexW(SYNCHRONIZE, FALSE, guard_mutex_.c_str()));
    if (guard || GetTickCount() - start >= limit) return guard;
    // Woken also by a change that leaves the snapshot held (the wake-up of the change that made
    // this thread start the guard, say); only one that ends the watch ends the wait.
    if (WaitForSingleObject(wake_.get(), kStartPollMs) == WAIT_OBJECT_0 && !StillHeld(generation)) {
      SetEvent(wake_.get());
      return ScopedHandle();
    }
  }
}

void ProxyGuardWatch::Run() {
  while (WaitForSnapshot()) {
    uint64_t generation;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      generation = generation_;
    }
    ScopedHandle guard(OpenMutexW(SYNCHRONIZE, FALSE, guard_mutex_.c_str()));
    if (!guard) {
      // A dying host's guard is putting the proxy back; another would find nothing to watch.
      if (ProcessIsEnding()) {
        if (!Pause(timing_.retry)) return;
        continue;
      }
      if (!start_guard_()) {
        WriteLogLine("Could not start the proxy guard; trying again");
        if (!Pause(timing_.retry)) return;
        continue;
      }
      guard = WaitForGuardToWatch(generation);
      if (!guard) {
        if (StillHeld(generation)) {
          WriteLogLine("The proxy guard did not begin to watch; starting another");
        }
        continue;
      }
    }
    const HANDLE objects[] = {guard.get(), wake_.get()};
    DWORD woken = WAIT_FAILED;
    do {
      woken = WaitForMultipleObjects(2, objects, FALSE, INFINITE);
      // Woken by a change that leaves the snapshot held (a wake-up left over from the change
      // that started this guard, say): the same guard goes on being watched. Letting go of its
      // mutex here and opening it again could miss a guard that ended in between, which would
      // then be replaced without the log saying why.
    } while (woken == WAIT_OBJECT_0 + 1 && StillHeld(generation));
    if (woken != WAIT_OBJECT_0 && woken != WAIT_ABANDONED_0) continue;
    // The guard let go of its mutex, or died holding it; either way this thread owns it now,
    // and gives it up before any other guard is started, which must be able to make it anew.
    ReleaseMutex(guard.get());
    guard.reset();
    if (StillHeld(generation) && !ProcessIsEnding()) {
      WriteLogLine("The proxy guard ended while the proxy was held; starting another");
    }
  }
}
