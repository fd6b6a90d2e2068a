#include "runner/flutter_window.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "bridge/desktop_bridge.h"
#include "devkit/engine/messenger.h"
#include "messaging/method_call.h"
#include "messaging/standard_method_codec.h"
#include "runner/engine/engine_project.h"
#include "tests/runner/fake_engine.h"
#include "tests/support/forwarding_system_calls.h"
#include "tests/support/host_names.h"
#include "tests/support/tray_icon_probe.h"

namespace keelo::testing {
namespace {

// Not the host's own title, so that a host started meanwhile never takes these windows for
// another instance's.
constexpr wchar_t kTitle[] = L"Keelo under test";

bool QuitPosted() {
  MSG message;
  return PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE;
}

// Delivers what is waiting for the test's windows; true when the loop was told to end, as the
// host's would be.
bool PumpMessagesSeeingQuit() {
  bool quit = false;
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      quit = true;
      continue;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return quit;
}

bool Offered(UINT message) {
  const auto& offered = fake_engine().top_level_messages;
  return std::find(offered.begin(), offered.end(), message) != offered.end();
}

class FlutterWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetFakeEngine();
    QuitPosted();
  }
  void TearDown() override { EXPECT_FALSE(BridgeListening()); }

  bool Open(FlutterWindow& window) { return window.Open(kTitle, {0, 0}, {400, 300}); }

  flutter::EngineProject project_{L"data"};
};

TEST_F(FlutterWindowTest, StartsEngineBridgeAndViewButShowsOnlyOnTheFirstFrame) {
  FlutterWindow window(project_);
  std::vector<bool> deferred_work_saw_window_shown;
  window.set_after_first_frame(
      [&] { deferred_work_saw_window_shown.push_back(IsWindowVisible(window.handle()) != FALSE); });
  ASSERT_TRUE(Open(window));
  HWND view = fake_engine().last_view;
  EXPECT_EQ(GetAncestor(view, GA_PARENT), window.handle());
  RECT view_rect;
  GetClientRect(view, &view_rect);
  EXPECT_EQ(view_rect.right, window.ClientRect().right);
  EXPECT_EQ(view_rect.bottom, window.ClientRect().bottom);
  EXPECT_TRUE(BridgeListening());
  EXPECT_EQ(fake_engine().url_launcher_registrations, 1);
  EXPECT_EQ(fake_engine().redraws, 1);

  EXPECT_FALSE(IsWindowVisible(window.handle()));
  EXPECT_TRUE(deferred_work_saw_window_shown.empty());
  // The shell's round trip for the tray icon waits until the user has something to see.
  EXPECT_FALSE(TrayIconShown(window.handle()));
  DeliverFrame();
  EXPECT_TRUE(IsWindowVisible(window.handle()));
  EXPECT_TRUE(TrayIconShown(window.handle()));
  // Once, and only after the user has something to see.
  EXPECT_EQ(deferred_work_saw_window_shown, std::vector<bool>{true});
}

TEST_F(FlutterWindowTest, StartedMinimizedStaysHiddenAfterTheFirstFrame) {
  FlutterWindow window(project_);
  window.set_start_minimized(true);
  int deferred_work_runs = 0;
  window.set_after_first_frame([&] { ++deferred_work_runs; });
  ASSERT_TRUE(Open(window));
  DeliverFrame();
  EXPECT_FALSE(IsWindowVisible(window.handle()));
  EXPECT_TRUE(BridgeListening());
  EXPECT_EQ(deferred_work_runs, 1);
  // Hidden, the host is reached through its tray icon.
  EXPECT_TRUE(TrayIconShown(window.handle()));
}

TEST_F(FlutterWindowTest, FailedViewControllerFailsOpenWithoutBridgeOrPlugin) {
  fake_engine().fail_view_controller = true;
  FlutterWindow window(project_);
  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(Open(window));
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Failed to create view controller.\n");
  EXPECT_FALSE(BridgeListening());
  EXPECT_EQ(fake_engine().url_launcher_registrations, 0);
  EXPECT_EQ(fake_engine().redraws, 0);
  // Messages to the window until its destruction never hand the library a null controller.
  SendMessageW(window.handle(), WM_FONTCHANGE, 0, 0);
  EXPECT_EQ(fake_engine().null_handle_calls, 0);
}

// The bridge sends the window its icons while it starts, and a message handled meanwhile may
// destroy the window: the bridge then goes before the engine whose messenger it borrows, and
// the window fails to open with nothing left over.
TEST_F(FlutterWindowTest, WindowDestroyedWhileTheBridgeStartsEndsTheBridgeBeforeTheEngine) {
  fake_engine().destroy_window_on = WM_SETICON;
  FlutterWindow window(project_);
  EXPECT_FALSE(Open(window));
  EXPECT_EQ(window.handle(), nullptr);
  EXPECT_FALSE(BridgeListening());
  EXPECT_EQ(fake_engine().controllers_destroyed, 1);
  EXPECT_FALSE(fake_engine().bridge_alive_at_controller_destroy);
  EXPECT_EQ(fake_engine().engines_destroyed, 1);
  EXPECT_EQ(fake_engine().redraws, 0);
  EXPECT_EQ(fake_engine().null_handle_calls, 0);
}

TEST_F(FlutterWindowTest, FontChangeIsOfferedToTheEngineBeforeTheFontsAreReloaded) {
  FlutterWindow window(project_);
  ASSERT_TRUE(Open(window));
  SendMessageW(window.handle(), WM_FONTCHANGE, 0, 0);
  EXPECT_EQ(fake_engine().top_level_messages.back(), static_cast<UINT>(WM_FONTCHANGE));
  EXPECT_EQ(fake_engine().font_reloads, 1);
  EXPECT_EQ(fake_engine().offered_before_font_reload, fake_engine().top_level_messages.size());

  fake_engine().consumed_message = WM_FONTCHANGE;
  SendMessageW(window.handle(), WM_FONTCHANGE, 0, 0);
  EXPECT_EQ(fake_engine().font_reloads, 1);
}

TEST_F(FlutterWindowTest, MessageTheEngineConsumesNeverReachesTheBaseWindow) {
  FlutterWindow window(project_);
  ASSERT_TRUE(Open(window));
  RECT before;
  GetClientRect(fake_engine().last_view, &before);
  fake_engine().consumed_message = WM_SIZE;
  // Both sizes above the bridge's minimum tracking size, which the system would enforce.
  SetWindowPos(window.handle(), nullptr, 0, 0, 900, 700, SWP_NOZORDER | SWP_NOACTIVATE);
  RECT after;
  GetClientRect(fake_engine().last_view, &after);
  EXPECT_EQ(after.right, before.right);
  EXPECT_EQ(after.bottom, before.bottom);

  fake_engine().consumed_message.reset();
  SetWindowPos(window.handle(), nullptr, 0, 0, 1000, 760, SWP_NOZORDER | SWP_NOACTIVATE);
  GetClientRect(fake_engine().last_view, &after);
  EXPECT_EQ(after.right, window.ClientRect().right);
}

// The bridge decides first: the user's close sends the host to the tray, so the request never
// reaches the engine and nothing is torn down.
TEST_F(FlutterWindowTest, CloseRequestHidesTheWindowBeforeTheEngineSeesIt) {
  FlutterWindow window(project_);
  ASSERT_TRUE(Open(window));
  DeliverFrame();
  HWND handle = window.handle();
  SendMessageW(handle, WM_CLOSE, 0, 0);
  EXPECT_TRUE(IsWindow(handle));
  EXPECT_FALSE(IsWindowVisible(handle));
  EXPECT_FALSE(Offered(WM_CLOSE));
  EXPECT_TRUE(BridgeListening());
  EXPECT_EQ(fake_engine().controllers_destroyed, 0);
}

// The quit message is the way out: the bridge goes before the engine, and the loop ends.
TEST_F(FlutterWindowTest, QuitMessageDestroysTheBridgeBeforeTheEngine) {
  FlutterWindow window(project_);
  ASSERT_TRUE(Open(window));
  window.set_quit_when_destroyed(true);
  HWND handle = window.handle();
  SendMessageW(handle, RegisterWindowMessageW(kQuitMessageName), 0, 0);
  EXPECT_FALSE(IsWindow(handle));
  EXPECT_FALSE(BridgeListening());
  EXPECT_EQ(fake_engine().controllers_destroyed, 1);
  EXPECT_FALSE(fake_engine().bridge_alive_at_controller_destroy);
  EXPECT_TRUE(QuitPosted());
}

TEST_F(FlutterWindowTest, DestroyingTheWindowEndsTheBridgeBeforeTheEngineAndQuits) {
  FlutterWindow window(project_);
  ASSERT_TRUE(Open(window));
  window.set_quit_when_destroyed(true);
  DestroyWindow(window.handle());
  EXPECT_EQ(window.handle(), nullptr);
  EXPECT_FALSE(BridgeListening());
  EXPECT_EQ(fake_engine().controllers_destroyed, 1);
  EXPECT_FALSE(fake_engine().bridge_alive_at_controller_destroy);
  EXPECT_EQ(fake_engine().engines_destroyed, 1);
  EXPECT_TRUE(QuitPosted());
}

TEST_F(FlutterWindowTest, DestructorEndsEverythingStillRunning) {
  {
    FlutterWindow window(project_);
    ASSERT_TRUE(Open(window));
  }
  EXPECT_EQ(fake_engine().controllers_destroyed, 1);
  EXPECT_FALSE(fake_engine().bridge_alive_at_controller_destroy);
  EXPECT_EQ(fake_engine().engines_destroyed, 1);
  EXPECT_FALSE(QuitPosted());
}

// ShellExecuteW may run a COM modal loop, which lets a quit sent by another program in: the
// window, the bridge and the engine must still be there when the call goes on to reply.
TEST_F(FlutterWindowTest, QuitSentDuringACallEndsEverythingOnlyAfterTheCallReplied) {
  HWND handle = nullptr;
  bool whole_after_quit = false;
  const auto system = std::make_shared<SystemCalls>(SystemCalls::Real());
  system->launch_app = [&](const std::wstring&) {
    SendMessageW(handle, RegisterWindowMessageW(kQuitMessageName), 0, 0);
    whole_after_quit =
        IsWindow(handle) && BridgeListening() && fake_engine().controllers_destroyed == 0;
    return true;
  };
  FlutterWindow window(project_, ForwardingTo(system));
  ASSERT_TRUE(Open(window));
  window.set_quit_when_destroyed(true);
  handle = window.handle();
  // Kept, so that the replies can be read once the engine has gone.
  FlutterDesktopMessengerRef engine = FlutterDesktopMessengerAddRef(fake_engine().last_messenger);
  const flutter::MethodCall call("launchApp", std::make_unique<flutter::EncodableValue>(
                                                  flutter::EncodableMap{{"path", "C:\\a.exe"}}));
  const auto message = flutter::StandardMethodCodec::ForSerializer(nullptr).EncodeCall(call);
  const uint64_t id = engine->SendToHost(kDesktopChannel, *message);
  engine->RunPendingTasks();

  EXPECT_TRUE(whole_after_quit);
  const std::vector<FlutterDesktopMessenger::Bytes> replies = engine->ResponsesTo(id);
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(replies[0], (FlutterDesktopMessenger::Bytes{0x00, 0x01}));
  EXPECT_TRUE(IsWindow(handle));
  EXPECT_TRUE(PumpMessagesSeeingQuit());
  EXPECT_FALSE(IsWindow(handle));
  EXPECT_FALSE(BridgeListening());
  EXPECT_EQ(fake_engine().controllers_destroyed, 1);
  EXPECT_FALSE(fake_engine().bridge_alive_at_controller_destroy);
  FlutterDesktopMessengerRelease(engine);
}

}  // namespace
}  // namespace keelo::testing
