// How long "blockWindow" takes to answer when the window to block belongs to a program that has
// stopped responding, measured under Wine through the bridge on the development kit's engine
// messenger, as the host answers it. Not a test; see README.md.
//
//   blocking_bench [--calls N]

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bridge/app_identifier.h"
#include "bridge/desktop_bridge.h"
#include "devkit/engine/messenger.h"
#include "messaging/binary_messenger_impl.h"
#include "messaging/method_call.h"
#include "messaging/standard_method_codec.h"
#include "tests/support/fixtures.h"
#include "tests/support/frozen_window.h"

namespace {

using flutter::EncodableMap;
using flutter::EncodableValue;
using keelo::testing::FixtureExecutable;
using keelo::testing::FixtureProcess;
using keelo::testing::FrozenWindow;

constexpr double kTargetMs = 100;
// The system calls a window hung once its thread has not pumped for about 5 s.
constexpr DWORD kHungAfterMs = 10000;

// A main window with the bridge on it, called as the UI application calls it.
class BlockingHost {
 public:
  BlockingHost()
      : engine_(FlutterDesktopMessenger::Create(
            FlutterDesktopMessenger::Options{nullptr, nullptr, /*record_traffic=*/false})),
        messenger_(std::make_unique<flutter::BinaryMessengerImpl>(engine_)),
        window_(CreateWindowExW(0, L"STATIC", L"Keelo bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100,
                                100, 800, 600, nullptr, nullptr, nullptr, nullptr)),
        bridge_(std::make_unique<DesktopBridge>(messenger_.get(), window_)) {}

  ~BlockingHost() {
    bridge_.reset();
    DestroyWindow(window_);
    messenger_.reset();
    engine_->ShutDown();
  }

  BlockingHost(const BlockingHost&) = delete;
  BlockingHost& operator=(const BlockingHost&) = delete;

  // The reply time in milliseconds; negative when the reply was not a true one.
  double Block(HWND window) {
    const flutter::MethodCall call(
        "blockWindow", std::make_unique<EncodableValue>(EncodableMap{
                           {"hwnd", static_cast<int64_t>(reinterpret_cast<intptr_t>(window))}}));
    const auto message = flutter::StandardMethodCodec::ForSerializer(nullptr).EncodeCall(call);
    FlutterDesktopMessenger::Bytes reply;
    const auto start = std::chrono::steady_clock::now();
    engine_->SendToHost(kDesktopChannel, *message,
                        [&](const FlutterDesktopMessenger::Bytes& bytes) { reply = bytes; });
    engine_->RunPendingTasks();
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    // The success envelope with true.
    return reply == FlutterDesktopMessenger::Bytes{0x00, 0x01} ? ms : -1;
  }

  HWND window() const { return window_; }

  // The foreground moves through the other program's queue under Wine.
  bool PutInFront(HWND window) {
    // A window that was blocked is minimised, and a minimised window is not put in front.
    if (IsIconic(window)) ShowWindow(window, SW_RESTORE);
    SetForegroundWindow(window);
    for (int waited = 0; waited < 5000 && GetForegroundWindow() != window; waited += 10) {
      Pump();
      Sleep(10);
    }
    return GetForegroundWindow() == window;
  }

  static void Pump() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  }

 private:
  FlutterDesktopMessenger* engine_;
  std::unique_ptr<flutter::BinaryMessengerImpl> messenger_;
  HWND window_;
  std::unique_ptr<DesktopBridge> bridge_;
};

// The median and the longest of |times|, in milliseconds, against the target.
void Report(const char* what, std::vector<double> times) {
  std::sort(times.begin(), times.end());
  const size_t middle = times.size() / 2;
  const double median =
      times.size() % 2 == 1 ? times[middle] : (times[middle - 1] + times[middle]) / 2;
  std::printf("%-46s %3zu calls   median %7.2f ms   longest %7.2f ms   target %.0f ms\n", what,
              times.size(), median, times.back(), kTargetMs);
}

// Waits until the system calls |window| hung; false after kHungAfterMs.
bool WaitUntilHung(HWND window) {
  const DWORD start = GetTickCount();
  while (!IsHungAppWindow(window) && GetTickCount() - start < kHungAfterMs) Sleep(100);
  return IsHungAppWindow(window) != FALSE;
}

}  // namespace

int main(int argc, char** argv) {
  int calls = 25;
  int hung_runs = 5;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--calls") == 0) calls = std::max(1, std::atoi(argv[i + 1]));
    if (std::strcmp(argv[i], "--hung-runs") == 0) hung_runs = std::max(1, std::atoi(argv[i + 1]));
  }
  BlockingHost host;
  const std::unique_ptr<FixtureProcess> app =
      FixtureProcess::Start(FixtureExecutable(L"fixture_plain.exe"), L"Keelo bench frozen");
  if (app == nullptr) {
    std::fprintf(stderr, "blocking_bench: the fixture did not start\n");
    return 1;
  }
  HWND frozen_window = app->window();

  // The program stopped responding while another window was in front.
  std::vector<double> times;
  {
    host.PutInFront(host.window());
    const FrozenWindow frozen(frozen_window, app->id());
    if (!frozen.frozen()) {
      std::fprintf(stderr, "blocking_bench: the fixture did not stop responding\n");
      return 1;
    }
    for (int i = 0; i < calls; ++i) times.push_back(host.Block(frozen_window));
  }
  if (std::any_of(times.begin(), times.end(), [](double ms) { return ms < 0; })) return 1;
  Report("blockWindow, frozen, another window in front", times);

  // The program in front has stopped responding for long enough to be called hung. Blocking
  // puts the host in front, so each call needs a freeze of its own.
  times.clear();
  for (int run = 0; run < hung_runs; ++run) {
    if (!host.PutInFront(frozen_window)) {
      std::fprintf(stderr, "blocking_bench: the fixture did not come to the front\n");
      return 1;
    }
    const FrozenWindow frozen(frozen_window, app->id());
    if (!frozen.frozen() || !WaitUntilHung(frozen_window)) {
      std::fprintf(stderr, "blocking_bench: the fixture was never called hung\n");
      return 1;
    }
    const double ms = host.Block(frozen_window);
    if (ms < 0) return 1;
    times.push_back(ms);
  }
  Report("blockWindow, hung, in front", times);
  return 0;
}
