#include "bridge/shell_worker.h"

#include <objbase.h>

#include <deque>
#include <mutex>
#include <thread>
#include <utility>

#include "common/scoped_handles.h"

namespace {

constexpr wchar_t kNotificationClass[] = L"KeeloShellWorkerNotifications";
constexpr UINT kValueReady = WM_APP + 1;

}  // namespace

struct ShellWorker::Shared {
  std::mutex mutex;
  std::deque<std::pair<uint64_t, Job>> queued;
  std::deque<std::pair<uint64_t, flutter::EncodableValue>> finished;
  // Set once the owner is going: from then on the worker posts nothing and takes no job.
  bool abandoned = false;
  HWND notification_window = nullptr;
  std::atomic<bool> stop{false};
  // Auto-reset: a job was queued, or the owner is going.
  ScopedHandle wake{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
  // Manual-reset: the worker has left its loop and will touch nothing more of its own.
  ScopedHandle exited{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

ShellWorker::ShellWorker(Finished finished)
    : finished_(std::move(finished)), shared_(std::make_shared<Shared>()) {}

ShellWorker::~ShellWorker() {
  {
    const std::lock_guard<std::mutex> lock(shared_->mutex);
    shared_->abandoned = true;
    shared_->queued.clear();
    shared_->finished.clear();
  }
  shared_->stop = true;
  SetEvent(shared_->wake.get());
  // After |abandoned| is set under the lock, so that the worker never posts to a window that is
  // gone, nor to one that took its handle since.
  if (notification_window_ != nullptr) DestroyWindow(notification_window_);
  // The thread is detached from the start: one stuck in the shell must not hold the owner's
  // teardown for longer than this, and it keeps what it uses alive through |shared_|.
  if (started_) WaitForSingleObject(shared_->exited.get(), kStopWaitMs);
}

void ShellWorker::Submit(uint64_t id, Job job) {
  if (!started_ && !Start()) {
    // Without a thread or a way back, the job runs here: slower for the window, but answered.
    flutter::EncodableValue value = job(shared_->stop);
    finished_(id, std::move(value));
    return;
  }
  {
    const std::lock_guard<std::mutex> lock(shared_->mutex);
    shared_->queued.emplace_back(id, std::move(job));
  }
  SetEvent(shared_->wake.get());
}

bool ShellWorker::Start() {
  static const ATOM registered = [] {
    WNDCLASSW window_class = {};
    window_class.lpfnWndProc = &ShellWorker::NotificationProc;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.lpszClassName = kNotificationClass;
    return RegisterClassW(&window_class);
  }();
  if (registered == 0 || !shared_->wake || !shared_->exited) return false;
  notification_window_ = CreateWindowExW(0, kNotificationClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                         nullptr, GetModuleHandleW(nullptr), nullptr);
  if (notification_window_ == nullptr) return false;
  SetWindowLongPtrW(notification_window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  shared_->notification_window = notification_window_;
  std::thread(&ShellWorker::Run, shared_).detach();
  started_ = true;
  return true;
}

void ShellWorker::Run(const std::shared_ptr<Shared>& shared) {
  // The shell-link objects, SHGetFileInfoW and the imaging factory want an apartment of their
  // own thread, and the shell may leave windows on it, so it also pumps while it waits.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  for (;;) {
    std::pair<uint64_t, Job> next;
    {
      const std::lock_guard<std::mutex> lock(shared->mutex);
      if (shared->abandoned) break;
      if (!shared->queued.empty()) {
        next = std::move(shared->queued.front());
        shared->queued.pop_front();
      }
    }
    if (!next.second) {
      HANDLE wake = shared->wake.get();
      MsgWaitForMultipleObjects(1, &wake, FALSE, INFINITE, QS_ALLINPUT);
      MSG message;
      while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
      continue;
    }
    flutter::EncodableValue value = next.second(shared->stop);
    const std::lock_guard<std::mutex> lock(shared->mutex);
    if (shared->abandoned) break;
    shared->finished.emplace_back(next.first, std::move(value));
    // One message per value, each delivering one: a reply may end the owner, which must then
    // find no loop of its own still running over what is gone.
    PostMessageW(shared->notification_window, kValueReady, 0, 0);
  }
  if (SUCCEEDED(com)) CoUninitialize();
  SetEvent(shared->exited.get());
}

LRESULT CALLBACK ShellWorker::NotificationProc(HWND window, UINT message, WPARAM wparam,
                                               LPARAM lparam) noexcept {
  if (message == kValueReady) {
    auto* worker = reinterpret_cast<ShellWorker*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (worker != nullptr) worker->DeliverOneFinished();
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

void ShellWorker::DeliverOneFinished() {
  std::pair<uint64_t, flutter::EncodableValue> ready;
  {
    const std::lock_guard<std::mutex> lock(shared_->mutex);
    if (shared_->finished.empty()) return;
    ready = std::move(shared_->finished.front());
    shared_->finished.pop_front();
  }
  finished_(ready.first, std::move(ready.second));
}
