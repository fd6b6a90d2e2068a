#ifndef PROXY_PROXY_GUARD_WATCH_H_
#define PROXY_PROXY_GUARD_WATCH_H_

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "common/scoped_handles.h"

// Keeps a proxy guard watching this host while its snapshot is on disk, on a thread of its own:
// it starts one when the snapshot appears, and another when a guard fails to start, never begins
// to watch, or ends while the snapshot is still there (ended from Task Manager, say), each time
// with a line in the log. Whether a guard watches is the guard's own word, never assumed: the
// mutex it owns while it watches. The thread sleeps on that mutex, which the system hands over
// when the guard releases it or dies, and on its own wake-up event; it never polls a guard that
// watches.
class ProxyGuardWatch {
 public:
  struct Timing {
    // How long a guard just started gets to take its mutex before it counts as not started.
    std::chrono::milliseconds start_wait{10000};
    // How long after a failed start another is tried.
    std::chrono::milliseconds retry{5000};
  };

  // |start_guard| starts a guard for this host (false when it could not be started); it runs on
  // the watch's thread. |guard_mutex| names the mutex such a guard owns while it watches.
  ProxyGuardWatch(std::function<bool()> start_guard, std::wstring guard_mutex, Timing timing);
  // Ends the watch within moments (a start under way is waited for); a guard that watches goes
  // on watching.
  ~ProxyGuardWatch();

  ProxyGuardWatch(const ProxyGuardWatch&) = delete;
  ProxyGuardWatch& operator=(const ProxyGuardWatch&) = delete;

  // Whether the host's snapshot is on disk now. The thread is started the first time it is.
  void SetSnapshotOnDisk(bool on_disk);

 private:
  void Run();
  // Waits until a snapshot is on disk; false once the watch is ending.
  bool WaitForSnapshot();
  // Sleeps |duration| unless the watch ends first, or the snapshot goes; false once ending.
  bool Pause(std::chrono::milliseconds duration);
  // The guard's mutex once a guard holds it, within the start wait; null otherwise, and at once
  // when the snapshot of |generation| went or the watch ends.
  ScopedHandle WaitForGuardToWatch(uint64_t generation);
  // Whether the snapshot of generation |generation| is still on disk and the watch goes on.
  bool StillHeld(uint64_t generation);

  const std::function<bool()> start_guard_;
  const std::wstring guard_mutex_;
  const Timing timing_;
  // Set whenever the thread must look again: the snapshot came or went, or the watch ends.
  const ScopedHandle wake_;

  std::mutex mutex_;
  bool on_disk_ = false;
  // Counts the snapshots that appeared, so that a guard that ends because its snapshot went is
  // not taken for one ended from outside.
  uint64_t generation_ = 0;
  bool stopping_ = false;
  std::thread thread_;
};

#endif  // PROXY_PROXY_GUARD_WATCH_H_
