// The view of the stand-in engine: its frames and the next-frame callback, its place in the
// host's window, the window messages and DPI, and the state it reports.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "devkit/driver/client/driver_client.h"
#include "engine_api/flutter_windows.h"
#include "engine_api/url_launcher_plugin.h"
#include "tests/devkit/engine_fixture.h"

namespace devkit::testing {
namespace {

using ::testing::HasSubstr;

struct FrameCallbackRecord {
  TestHost* host;
  int runs = 0;
  bool inside_host_call = false;
};

void RecordFrameCallback(void* user_data) {
  auto* record = static_cast<FrameCallbackRecord*>(user_data);
  ++record->runs;
  record->inside_host_call |= record->host->in_host_call();
}

TEST_F(DevkitEngineTest, NextFrameCallbackRunsOnceFromTheMessageLoopAfterTheNextFrame) {
  ASSERT_NO_FATAL_FAILURE(StartWithDriver());
  FrameCallbackRecord replaced{&host_};
  FrameCallbackRecord record{&host_};
  host_.Run([&] {
    FlutterDesktopEngineSetNextFrameCallback(host_.engine(), &RecordFrameCallback, &replaced);
    FlutterDesktopEngineSetNextFrameCallback(host_.engine(), &RecordFrameCallback, &record);
    FlutterDesktopViewControllerForceRedraw(host_.controller());
    EXPECT_EQ(record.runs, 0) << "ran inside the call that asked for the frame";
  });
  ASSERT_TRUE(host_.RunUntil([&] { return record.runs > 0; }));

  // More frames, and the callback stays spent.
  for (int i = 0; i < 2; ++i) {
    const uint64_t frames = FramesProduced();
    host_.Run([&] { FlutterDesktopViewControllerForceRedraw(host_.controller()); });
    ASSERT_TRUE(WaitForFramesBeyond(frames)) << "ForceRedraw produced no frame";
  }
  host_.Run([&] {
    EXPECT_EQ(record.runs, 1);
    EXPECT_FALSE(record.inside_host_call);
    EXPECT_EQ(replaced.runs, 0) << "the replaced callback ran";
  });

  // A frame made inside a call of the host, by a paint it forces after a resize, still leaves
  // the callback to the message loop.
  FrameCallbackRecord painted{&host_};
  host_.Run([&] {
    ShowWindow(host_.window(), SW_SHOWNOACTIVATE);
    FlutterDesktopEngineSetNextFrameCallback(host_.engine(), &RecordFrameCallback, &painted);
    SetWindowPos(host_.window(), nullptr, 0, 0, 520, 360,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    UpdateWindow(host_.view());
    EXPECT_EQ(painted.runs, 0) << "ran inside the host's call";
  });
  ASSERT_TRUE(host_.RunUntil([&] { return painted.runs > 0; }));
  host_.Run([&] { EXPECT_FALSE(painted.inside_host_call); });
}

TEST_F(DevkitEngineTest, ViewIsAChildWindowThatFollowsItsParentsSize) {
  ASSERT_NO_FATAL_FAILURE(StartWithDriver());
  host_.Run([&] {
    HWND view = host_.view();
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(GetParent(view), host_.window());
    EXPECT_NE(GetWindowLongPtrW(view, GWL_STYLE) & WS_CHILD, 0);
    // Only the engine's own handling of the window's messages moves the view now.
    host_.set_moves_view(false);
    SetWindowPos(host_.window(), nullptr, 0, 0, 640, 420,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    RECT parent;
    RECT child;
    GetClientRect(host_.window(), &parent);
    GetClientRect(view, &child);
    EXPECT_EQ(child.right, parent.right);
    EXPECT_EQ(child.bottom, parent.bottom);
  });
  const DriverResult<EngineStateMessage> state = client_->QueryState();
  ASSERT_TRUE(state.ok()) << state.error;
  host_.Run([&] { EXPECT_EQ(state.value.view_window, reinterpret_cast<uintptr_t>(host_.view())); });
}

TEST_F(DevkitEngineTest, EngineReportsFramesFontReloadsAndTheRegisteredPlugin) {
  ASSERT_NO_FATAL_FAILURE(StartWithDriver());
  DriverResult<EngineStateMessage> state = client_->QueryState();
  ASSERT_TRUE(state.ok()) << state.error;
  EXPECT_TRUE(state.value.engine_running);
  EXPECT_EQ(state.value.font_reloads, 0u);
  EXPECT_TRUE(state.value.registered_plugins.empty());

  ::testing::internal::CaptureStderr();
  host_.Run([&] {
    FlutterDesktopEngineReloadSystemFonts(host_.engine());
    FlutterDesktopEngineReloadSystemFonts(host_.engine());
    // A registrar under another name is refused by the plug-in, and not recorded.
    UrlLauncherWindowsRegisterWithRegistrar(
        FlutterDesktopEngineGetPluginRegistrar(host_.engine(), "SomethingElse"));
    UrlLauncherWindowsRegisterWithRegistrar(
        FlutterDesktopEngineGetPluginRegistrar(host_.engine(), "UrlLauncherWindows"));
  });
  EXPECT_THAT(::testing::internal::GetCapturedStderr(),
              HasSubstr("the registrar is for \"SomethingElse\""));
  state = client_->QueryState();
  ASSERT_TRUE(state.ok()) << state.error;
  EXPECT_EQ(state.value.font_reloads, 2u);
  EXPECT_EQ(state.value.registered_plugins, std::vector<std::string>{"UrlLauncherWindows"});
  // A font reload asks for a frame; the driver's own status lines made some before.
  const uint64_t frames = state.value.frames_produced;
  EXPECT_GT(frames, 0u);
  host_.Run([&] { FlutterDesktopEngineReloadSystemFonts(host_.engine()); });
  EXPECT_TRUE(WaitForFramesBeyond(frames));
}

TEST_F(DevkitEngineTest, WindowMessagesAreNeverConsumedAndDpiIsTheSystems) {
  ASSERT_NO_FATAL_FAILURE(StartWithDriver());
  host_.Run([&] {
    for (UINT message : {WM_SIZE, WM_FONTCHANGE, WM_ACTIVATE, WM_CLOSE, WM_APP + 7}) {
      LRESULT result = 12345;
      EXPECT_FALSE(FlutterDesktopViewControllerHandleTopLevelWindowProc(
          host_.controller(), host_.window(), message, 0, 0, &result));
      EXPECT_EQ(result, 12345) << "the result slot was written for message " << message;
    }
    HDC screen = GetDC(nullptr);
    const UINT screen_dpi = static_cast<UINT>(GetDeviceCaps(screen, LOGPIXELSX));
    ReleaseDC(nullptr, screen);
    EXPECT_EQ(FlutterDesktopGetDpiForHWND(host_.window()), screen_dpi);
    EXPECT_EQ(FlutterDesktopGetDpiForHWND(nullptr), screen_dpi);
    EXPECT_EQ(
        FlutterDesktopGetDpiForMonitor(MonitorFromWindow(host_.window(), MONITOR_DEFAULTTONEAREST)),
        screen_dpi);
  });
}

}  // namespace
}  // namespace devkit::testing
