#include "runner/console_signals.h"

#include <gtest/gtest.h>
#include <wininet.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bridge/app_identifier.h"
#include "common/scoped_handles.h"
#include "common/shared_names.h"
#include "devkit/engine/messenger.h"
#include "messaging/encodable_value.h"
#include "messaging/method_call.h"
#include "messaging/standard_method_codec.h"
#include "proxy/durable_proxy_snapshot.h"
#include "runner/debug_console.h"
#include "runner/engine/engine_project.h"
#include "runner/flutter_window.h"
#include "tests/runner/fake_engine.h"
#include "tests/support/forwarding_system_calls.h"
#include "tests/support/proxy_registry.h"
#include "tests/support/registry_value_guard.h"
#include "tests/support/tray_icon_probe.h"

namespace keelo::testing {
namespace {

using flutter::EncodableMap;
using flutter::EncodableValue;

constexpr wchar_t kTitle[] = L"Keelo under test";
constexpr DWORD kQuitTimeoutMs = 5000;

// Runs the test thread's loop as the host's runs, until the quit message; its exit code, or
// nothing when no quit came in time.
std::optional<WPARAM> RunLoopUntilQuit() {
  const DWORD start = GetTickCount();
  MSG message;
  while (GetTickCount() - start < kQuitTimeoutMs) {
    if (!PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
      continue;
    }
    if (message.message == WM_QUIT) return message.wParam;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return std::nullopt;
}

// The host's window on the in-process engine, with the seam's WinINet, holding a snapshot as
// during a focus session.
class ConsoleSignalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetFakeEngine();
    RemoveProxySnapshot();
    system_->proxy.apply_options = [this](INTERNET_PER_CONN_OPTION_LISTW& list) {
      applied_servers_.push_back(list.pOptions[1].Value.pszValue);
      return true;
    };
    system_->proxy.guard_snapshot = [](bool) {};
  }
  void TearDown() override { SetConsoleSignalTarget(nullptr); }

  void OpenWithSnapshot(FlutterWindow& window) {
    ASSERT_TRUE(window.Open(kTitle, {0, 0}, {400, 300}));
    DeliverFrame();
    window.set_quit_when_destroyed(true);
    SetConsoleSignalTarget(window.handle());
    ASSERT_TRUE(BridgeListening());
    const flutter::MethodCall set_proxy(
        "setProxy",
        std::make_unique<EncodableValue>(EncodableMap{
            {"server", "blocking"}, {"restoreOnExit", EncodableMap{{"server", "before"}}}}));
    FlutterDesktopMessenger* engine = fake_engine().last_messenger;
    const uint64_t id = engine->SendToHost(
        kDesktopChannel,
        *flutter::StandardMethodCodec::ForSerializer(nullptr).EncodeCall(set_proxy));
    engine->RunPendingTasks();
    ASSERT_EQ(engine->ResponsesTo(id), (std::vector<FlutterDesktopMessenger::Bytes>{{0x00, 0x01}}));
    ASSERT_EQ(applied_servers_, std::vector<std::wstring>{L"blocking"});
    ASSERT_TRUE(ReadProxySnapshot().has_value());
    applied_servers_.clear();
  }

  flutter::EngineProject project_{L"data"};
  const std::shared_ptr<SystemCalls> system_ = std::make_shared<SystemCalls>(SystemCalls::Real());
  std::vector<std::wstring> applied_servers_;
  ProxySnapshotGuard snapshot_values_;
};

TEST_F(ConsoleSignalTest, CtrlCCtrlBreakAndTheConsoleClosingQuitAsTheTrayDoes) {
  for (const DWORD signal : {CTRL_C_EVENT, CTRL_BREAK_EVENT, CTRL_CLOSE_EVENT}) {
    FlutterWindow window(project_, ForwardingTo(system_));
    OpenWithSnapshot(window);
    const HWND handle = window.handle();
    ASSERT_TRUE(TrayIconShown(handle));

    EXPECT_TRUE(HandleConsoleSignal(signal)) << signal;
    // Handed to the UI thread, which carries it out from its loop.
    EXPECT_TRUE(IsWindow(handle));
    EXPECT_EQ(RunLoopUntilQuit(), std::optional<WPARAM>(0)) << signal;
    EXPECT_FALSE(IsWindow(handle));
    EXPECT_FALSE(BridgeListening());
    EXPECT_EQ(applied_servers_, std::vector<std::wstring>{L"before"}) << signal;
    EXPECT_EQ(ReadProxySnapshotText(), std::nullopt);
    EXPECT_FALSE(TrayIconShown(handle));
    applied_servers_.clear();
  }
}

// The system ends the process right after these: the proxy is back before the handler returns.
TEST_F(ConsoleSignalTest, LogOffAndShutDownPutTheProxyBackAtOnce) {
  for (const DWORD signal : {CTRL_LOGOFF_EVENT, CTRL_SHUTDOWN_EVENT}) {
    FlutterWindow window(project_, ForwardingTo(system_));
    OpenWithSnapshot(window);
    EXPECT_TRUE(HandleConsoleSignal(signal)) << signal;
    EXPECT_EQ(applied_servers_, std::vector<std::wstring>{L"before"}) << signal;
    EXPECT_EQ(ReadProxySnapshotText(), std::nullopt);
    applied_servers_.clear();
  }
}

TEST_F(ConsoleSignalTest, WithoutTheWindowTheDefaultHandlerEndsTheProcess) {
  SetConsoleSignalTarget(nullptr);
  for (const DWORD signal :
       {CTRL_C_EVENT, CTRL_BREAK_EVENT, CTRL_CLOSE_EVENT, CTRL_LOGOFF_EVENT, CTRL_SHUTDOWN_EVENT}) {
    EXPECT_FALSE(HandleConsoleSignal(signal)) << signal;
  }
  FlutterWindow window(project_, ForwardingTo(system_));
  OpenWithSnapshot(window);
  // A signal this host has no use for.
  EXPECT_FALSE(HandleConsoleSignal(7));
  EXPECT_TRUE(applied_servers_.empty());
}

// AttachConsole always fails under Wine, so only the decision is run here.
TEST(AttachedConsoleTest, OnlyStreamsWithoutAHandleAreReopenedOnTheConsole) {
  EXPECT_TRUE(StreamNeedsConsole(0));
  EXPECT_TRUE(StreamNeedsConsole(-1));
  EXPECT_TRUE(StreamNeedsConsole(-2));
  // Redirected to a pipe by whoever started the host.
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  ASSERT_TRUE(CreatePipe(&read_end, &write_end, nullptr, 0));
  const ScopedHandle read_owner(read_end);
  const ScopedHandle write_owner(write_end);
  EXPECT_FALSE(StreamNeedsConsole(reinterpret_cast<intptr_t>(write_end)));
}

}  // namespace
}  // namespace keelo::testing
