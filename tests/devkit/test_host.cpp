#include "tests/devkit/test_host.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace devkit::testing {
namespace {

constexpr wchar_t kWindowClass[] = L"KeeloDevkitTestHost";
constexpr UINT kRunMessage = WM_APP + 20;
constexpr DWORD kRunTimeoutMs = 20000;

struct Job {
  const std::function<void()>* task;
  HANDLE done;
};

// Nothing after a failed task could be trusted: the program ends here, with the reason.
[[noreturn]] void Abandon(const std::string& reason) {
  std::fprintf(stderr, "%s\n", reason.c_str());
  std::fflush(stderr);
  std::abort();
}

}  // namespace

TestHost::TestHost() {
  HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  thread_ = std::thread(&TestHost::ThreadMain, this, ready);
  WaitForSingleObject(ready, INFINITE);
  CloseHandle(ready);
}

TestHost::~TestHost() {
  if (window_ != nullptr) {
    Run([this] {
      DestroyEngine();
      DestroyWindow(window_);
    });
  }
  thread_.join();
}

void TestHost::ThreadMain(HANDLE ready) {
  thread_id_ = GetCurrentThreadId();
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof(window_class);
  window_class.lpfnWndProc = &TestHost::WindowProc;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.lpszClassName = kWindowClass;
  RegisterClassExW(&window_class);
  window_ = CreateWindowExW(0, kWindowClass, L"devkit test host", WS_OVERLAPPEDWINDOW, 40, 40, 480,
                            320, nullptr, nullptr, GetModuleHandleW(nullptr), this);
  if (window_ == nullptr) create_error_ = GetLastError();
  SetEvent(ready);
  if (window_ == nullptr) return;
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

void TestHost::Run(const std::function<void()>& task) {
  // Each way of failing says which it was: a host that never had a window is not a host that
  // stopped running its loop.
  if (window_ == nullptr) {
    Abandon("the test host has no window (CreateWindowExW failed with error " +
            std::to_string(create_error_) + ")");
  }
  Job job{&task, CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  if (!PostMessageW(window_, kRunMessage, 0, reinterpret_cast<LPARAM>(&job))) {
    Abandon("a task could not be posted to the test host (error " + std::to_string(GetLastError()) +
            ")");
  }
  if (WaitForSingleObject(job.done, kRunTimeoutMs) != WAIT_OBJECT_0) {
    Abandon("the test host's thread did not run a task within " + std::to_string(kRunTimeoutMs) +
            " ms");
  }
  CloseHandle(job.done);
}

bool TestHost::RunUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    bool holds = false;
    Run([&] { holds = condition(); });
    if (holds) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    Sleep(10);
  }
}

bool TestHost::StartEngine(const EngineSetup& setup) {
  std::vector<const char*> arguments;
  for (const std::string& argument : setup.arguments) arguments.push_back(argument.c_str());
  FlutterDesktopEngineProperties properties{};
  properties.assets_path = setup.assets.c_str();
  properties.icu_data_path = setup.icu_data.c_str();
  properties.aot_library_path = setup.aot_library.c_str();
  properties.dart_entrypoint = setup.entrypoint.c_str();
  properties.dart_entrypoint_argc = static_cast<int>(arguments.size());
  properties.dart_entrypoint_argv = arguments.empty() ? nullptr : arguments.data();
  engine_ = FlutterDesktopEngineCreate(&properties);
  if (engine_ == nullptr) return false;
  messenger_ =
      std::make_unique<flutter::BinaryMessengerImpl>(FlutterDesktopEngineGetMessenger(engine_));
  RECT client;
  GetClientRect(window_, &client);
  controller_ = FlutterDesktopViewControllerCreate(client.right, client.bottom, engine_);
  if (controller_ == nullptr) {
    // The controller took the engine with it.
    engine_ = nullptr;
    messenger_.reset();
    return false;
  }
  HWND view_window = view();
  SetParent(view_window, window_);
  MoveWindow(view_window, 0, 0, client.right, client.bottom, TRUE);
  return true;
}

void TestHost::DestroyEngine() {
  if (controller_ != nullptr) FlutterDesktopViewControllerDestroy(controller_);
  controller_ = nullptr;
  engine_ = nullptr;
  messenger_.reset();
}

HWND TestHost::view() const {
  return controller_ != nullptr
             ? FlutterDesktopViewGetHWND(FlutterDesktopViewControllerGetView(controller_))
             : nullptr;
}

LRESULT CALLBACK TestHost::WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* host = reinterpret_cast<TestHost*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (host == nullptr || host->window_ == nullptr) {
    return DefWindowProcW(window, message, wparam, lparam);
  }
  return host->HandleMessage(message, wparam, lparam);
}

LRESULT TestHost::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == kRunMessage) {
    auto* job = reinterpret_cast<Job*>(lparam);
    in_host_call_ = true;
    (*job->task)();
    in_host_call_ = false;
    SetEvent(job->done);
    return 0;
  }
  if (controller_ != nullptr) {
    LRESULT result = 0;
    if (FlutterDesktopViewControllerHandleTopLevelWindowProc(controller_, window_, message, wparam,
                                                             lparam, &result)) {
      return result;
    }
  }
  switch (message) {
    case WM_SIZE:
      if (moves_view_ && view() != nullptr) {
        RECT client;
        GetClientRect(window_, &client);
        MoveWindow(view(), 0, 0, client.right, client.bottom, TRUE);
      }
      return 0;
    case WM_DESTROY:
      window_ = nullptr;
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(window_, message, wparam, lparam);
  }
}

}  // namespace devkit::testing
