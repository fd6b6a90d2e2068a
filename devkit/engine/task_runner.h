#ifndef DEVKIT_ENGINE_TASK_RUNNER_H_
#define DEVKIT_ENGINE_TASK_RUNNER_H_

#include <windows.h>

#include <deque>
#include <functional>
#include <memory>
#include <mutex>

namespace devkit {

// Runs tasks on the thread that created it, from that thread's message loop: a hidden
// message-only window gets one wake-up message and runs what is queued. So nothing the engine
// delivers ever runs inside a call of the host. Posting works from any thread, and after Close
// too (the task is then dropped), so whoever holds a pointer to the runner never needs to know
// whether the engine still exists.
class TaskRunner : public std::enable_shared_from_this<TaskRunner> {
 public:
  using Task = std::function<void()>;

  // Null when the window cannot be created.
  static std::shared_ptr<TaskRunner> Create();
  ~TaskRunner();

  TaskRunner(const TaskRunner&) = delete;
  TaskRunner& operator=(const TaskRunner&) = delete;

  // False, with the task dropped, once the runner is closed.
  bool Post(Task task);

  // On the owning thread: destroys the window and drops the tasks that have not run.
  void Close();

 private:
  TaskRunner() = default;

  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  void RunQueued();
  // With mutex_ held.
  void WakeLocked();

  std::mutex mutex_;
  std::deque<Task> tasks_;
  HWND window_ = nullptr;
  bool closed_ = false;
  bool wake_pending_ = false;
};

}  // namespace devkit

#endif  // DEVKIT_ENGINE_TASK_RUNNER_H_
