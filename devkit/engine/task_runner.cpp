#include "devkit/engine/task_runner.h"

#include <utility>

#include "devkit/engine/engine_module.h"

namespace devkit {
namespace {

constexpr wchar_t kWindowClass[] = L"KeeloDevkitEngineTasks";
constexpr UINT kWakeMessage = WM_APP + 1;

}  // namespace

std::shared_ptr<TaskRunner> TaskRunner::Create() {
  if (!RegisterEngineWindowClass(kWindowClass, &TaskRunner::WindowProc)) return nullptr;
  std::shared_ptr<TaskRunner> runner(new TaskRunner());
  runner->window_ = CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    EngineModule(), nullptr);
  if (runner->window_ == nullptr) return nullptr;
  SetWindowLongPtrW(runner->window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(runner.get()));
  return runner;
}

TaskRunner::~TaskRunner() {
  // Only reached without Close when Create failed half-way, on the owning thread.
  if (window_ != nullptr) DestroyWindow(window_);
}

bool TaskRunner::Post(Task task) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!closed_) {
      tasks_.push_back(std::move(task));
      WakeLocked();
      return true;
    }
  }
  // Dropped outside the lock: destroying a task may release what posts further tasks.
  task = nullptr;
  return false;
}

void TaskRunner::WakeLocked() {
  if (wake_pending_ || window_ == nullptr) return;
  // A failed post (a full message queue) leaves the flag down, so the next task tries again.
  wake_pending_ = PostMessageW(window_, kWakeMessage, 0, 0) != FALSE;
}

void TaskRunner::Close() {
  std::deque<Task> dropped;
  HWND window;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    dropped.swap(tasks_);
    window = std::exchange(window_, nullptr);
  }
  if (window != nullptr) {
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    DestroyWindow(window);
  }
}

void TaskRunner::RunQueued() {
  // Only what was queued when the wake-up came runs now, so that tasks posting tasks cannot keep
  // the host's own messages waiting. One at a time from the shared queue, so that a task which
  // enters a nested message loop (the host's modal menu) lets the next ones run in order there.
  size_t budget;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    wake_pending_ = false;
    budget = tasks_.size();
  }
  for (; budget > 0; --budget) {
    Task task;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (tasks_.empty()) break;
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
    task();
  }
  std::lock_guard<std::mutex> lock(mutex_);
  if (!tasks_.empty()) WakeLocked();
}

LRESULT CALLBACK TaskRunner::WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == kWakeMessage) {
    auto* runner = reinterpret_cast<TaskRunner*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (runner != nullptr) {
      // A task may destroy the engine, and with it the last other owner of the runner.
      std::shared_ptr<TaskRunner> keep = runner->shared_from_this();
      keep->RunQueued();
    }
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace devkit
