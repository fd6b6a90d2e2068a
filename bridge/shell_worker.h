#ifndef BRIDGE_SHELL_WORKER_H_
#define BRIDGE_SHELL_WORKER_H_

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "messaging/encodable_value.h"

// The shell's slow work (walking the Start menu, loading shortcuts, extracting icons) on a thread
// of its own, so that the window's message loop never waits for it: a shortcut on an offline
// network drive can keep the shell busy for seconds. One thread, in a single-threaded COM
// apartment as the shell-link objects and the imaging component want; started by the first job,
// idle in a wait while there is none. Jobs run in the order they were given, and each value
// comes back on the thread that made the worker, through a message to a window of its own.
class ShellWorker {
 public:
  // Runs on the worker. |stop| turns true when the value is no longer wanted; the job should then
  // give up at its next item, and whatever it returns goes nowhere.
  using Job = std::function<flutter::EncodableValue(const std::atomic<bool>& stop)>;
  // Runs on the thread that made the worker, once for each job that finished, in job order.
  using Finished = std::function<void(uint64_t job, flutter::EncodableValue value)>;

  // How long the destructor waits for a job that is inside a shell call.
  static constexpr DWORD kStopWaitMs = 1000;

  explicit ShellWorker(Finished finished);
  // Drops the queued jobs, tells the running one to stop and waits up to kStopWaitMs for it. A job
  // still stuck in the shell after that is left to finish, or to the process's end; nothing it
  // makes reaches anyone, and it touches nothing that the worker's owner owns.
  ~ShellWorker();

  ShellWorker(const ShellWorker&) = delete;
  ShellWorker& operator=(const ShellWorker&) = delete;

  // Queues |job|, which must carry copies of what it needs; its value comes back with |id|. A
  // worker that cannot start runs the job at once, on the caller's thread.
  void Submit(uint64_t id, Job job);

 private:
  struct Shared;

  // |shared| is the thread's own copy, which std::thread keeps until Run returns.
  static void Run(const std::shared_ptr<Shared>& shared);
  static LRESULT CALLBACK NotificationProc(HWND window, UINT message, WPARAM wparam,
                                           LPARAM lparam) noexcept;
  bool Start();
  void DeliverOneFinished();

  Finished finished_;
  std::shared_ptr<Shared> shared_;
  // Message-only, on the owner's thread: where the worker says that a value is ready.
  HWND notification_window_ = nullptr;
  bool started_ = false;
};

#endif  // BRIDGE_SHELL_WORKER_H_
