#ifndef TESTS_DEVKIT_TEST_HOST_H_
#define TESTS_DEVKIT_TEST_HOST_H_

#include <windows.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine_api/flutter_windows.h"
#include "messaging/binary_messenger_impl.h"

namespace devkit::testing {

// Where the engine finds the UI application. The defaults are the bundle staged beside the test
// executable, given relative as the host gives them.
struct EngineSetup {
  std::wstring assets = L"data\\flutter_assets";
  std::wstring icu_data = L"data\\icudtl.dat";
  std::wstring aot_library = L"data\\app.so";
  std::string entrypoint;
  std::vector<std::string> arguments;
};

// A small host on a thread of its own: a top-level window that embeds the view and offers each
// of its messages to the engine first, as the real host does. The test's own thread plays the
// test process: it speaks to the UI application's side through the driver client, and to the
// host only through Run, which stands for the host doing something of its own accord.
class TestHost {
 public:
  TestHost();
  ~TestHost();

  TestHost(const TestHost&) = delete;
  TestHost& operator=(const TestHost&) = delete;

  // Runs |task| on the host's thread, from its message loop, and waits for it. A host thread
  // that does not get to it in time ends the program with a message, as nothing after could be
  // trusted.
  void Run(const std::function<void()>& task);
  // Asks |condition| on the host's thread until it holds or the time is up.
  bool RunUntil(const std::function<bool()>& condition,
                std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));

  // The rest is for the host's thread, inside Run.

  // Creates the engine and the view controller, embeds the view and makes the messenger.
  // False when the view controller could not be created; the engine is then gone with it.
  bool StartEngine(const EngineSetup& setup);
  void DestroyEngine();

  HWND window() const { return window_; }
  DWORD thread_id() const { return thread_id_; }
  FlutterDesktopEngineRef engine() const { return engine_; }
  FlutterDesktopViewControllerRef controller() const { return controller_; }
  HWND view() const;
  flutter::BinaryMessengerImpl* messenger() const { return messenger_.get(); }
  // True while a task of Run runs: a delivery seen then came inside a call of the host.
  bool in_host_call() const { return in_host_call_; }
  // As the real host, the window keeps the view over its client area itself; off, only the
  // engine's own handling of the window's messages can.
  void set_moves_view(bool moves_view) { moves_view_ = moves_view; }

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);
  void ThreadMain(HANDLE ready);

  std::thread thread_;
  HWND window_ = nullptr;
  // Why the window could not be made, when it could not.
  DWORD create_error_ = 0;
  DWORD thread_id_ = 0;
  FlutterDesktopEngineRef engine_ = nullptr;
  FlutterDesktopViewControllerRef controller_ = nullptr;
  std::unique_ptr<flutter::BinaryMessengerImpl> messenger_;
  bool in_host_call_ = false;
  bool moves_view_ = true;
};

}  // namespace devkit::testing

#endif  // TESTS_DEVKIT_TEST_HOST_H_
