#include <gtest/gtest.h>
#include <windows.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "bridge/mini_window_geometry.h"
#include "messaging/method_call.h"
#include "messaging/standard_method_codec.h"
#include "tests/bridge/bridge_fixture.h"
#include "tests/runner/fake_engine.h"
#include "tests/support/fixtures.h"

namespace keelo::testing {
namespace {

using flutter::EncodableMap;
using flutter::EncodableValue;
using flutter::testing::Hex;

const std::pair<std::string, EncodableValue> kLeftMiniMode = {
    "onMiniMode", EncodableValue(EncodableMap{{"enabled", false}})};

int64_t HandleValue(HWND window) { return reinterpret_cast<intptr_t>(window); }

RECT WindowRect(HWND window) {
  RECT rect = {};
  GetWindowRect(window, &rect);
  return rect;
}

RECT WorkArea() {
  RECT work = {};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  return work;
}

TEST(MiniModeGeometryTest, SidesRoundHalfUpAndStayWithinAWindowCoordinate) {
  EXPECT_EQ(ScaledMiniSide(380.4, 1.0), 380);
  EXPECT_EQ(ScaledMiniSide(380.5, 1.0), 381);
  EXPECT_EQ(ScaledMiniSide(380, 1.5), 570);
  EXPECT_EQ(ScaledMiniSide(88, 1.5), 132);
  EXPECT_EQ(ScaledMiniSide(1e300, 1.0), 32767);
  EXPECT_EQ(ScaledMiniSide(30000, 2.0), 32767);
  // Above zero but under a pixel: one pixel, never a window without size.
  EXPECT_EQ(ScaledMiniSide(0.4, 1.0), 1);
  EXPECT_EQ(ScaledMiniSide(0.001, 1.5), 1);
  EXPECT_EQ(ScaledMiniSide(1e-300, 1.0), 1);
  EXPECT_EQ(ScaledMiniSide(1.0, 1.25), 1);
  EXPECT_EQ(ScaledMiniSide(1.2, 1.25), 2);

  EXPECT_EQ(UsableMiniSide(300, 380), 300);
  for (double unusable : {0.0, -5.0, std::nan(""), std::numeric_limits<double>::infinity(),
                          -std::numeric_limits<double>::infinity()}) {
    EXPECT_EQ(UsableMiniSide(unusable, 380), 380) << unusable;
  }
}

TEST(MiniModeGeometryTest, StylesLoseTheFrameInMiniModeAndTheShowStateBothWays) {
  const LONG_PTR normal = WS_OVERLAPPEDWINDOW | WS_VISIBLE | WS_CLIPCHILDREN;
  EXPECT_EQ(MiniWindowStyle(normal), WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN);
  EXPECT_EQ(MiniWindowStyle(normal | WS_MAXIMIZE), WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN);
  EXPECT_EQ(MiniWindowStyle(normal | WS_MINIMIZE), WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN);
  EXPECT_EQ(RestoredWindowStyle(normal), normal);
  EXPECT_EQ(RestoredWindowStyle(normal | WS_MAXIMIZE), normal);
  EXPECT_EQ(RestoredWindowStyle(normal | WS_MINIMIZE), normal);
  EXPECT_EQ(MinimumTrackSize(true, 144).x, 1);
  EXPECT_EQ(MinimumTrackSize(true, 144).y, 1);
  EXPECT_EQ(MinimumTrackSize(false, 96).x, 760);
  EXPECT_EQ(MinimumTrackSize(false, 96).y, 560);
  EXPECT_EQ(MinimumTrackSize(false, 144).x, 1140);
  EXPECT_EQ(MinimumTrackSize(false, 144).y, 840);
}

class WindowChromeTest : public WindowBridgeTest {
 protected:
  void SetUp() override { fake_engine().dpi = 96; }
  void TearDown() override { ResetFakeEngine(); }

  std::unique_ptr<FixtureProcess> StartApp(const wchar_t* title) {
    return FixtureProcess::Start(FixtureExecutable(L"fixture_plain.exe"), title);
  }

  void ExpectMiniRect(int margin, int width, int height) {
    const RECT work = WorkArea();
    const RECT rect = WindowRect(window_);
    EXPECT_EQ(rect.right, work.right - margin);
    EXPECT_EQ(rect.bottom, work.bottom - margin);
    EXPECT_EQ(rect.right - rect.left, width);
    EXPECT_EQ(rect.bottom - rect.top, height);
  }
};

TEST_F(WindowChromeTest, BlockMinimisesAnotherAppAndRaisesTheHost) {
  auto app = StartApp(L"to block");
  ASSERT_NE(app, nullptr);
  HWND other = app->window();
  SetForegroundWindow(other);
  auto iconic = [&] { return IsIconic(other) != FALSE; };
  auto in_front = [&] { return GetForegroundWindow() == other; };

  EXPECT_EQ(Call(kDesktopChannel, "blockWindow", EncodableMap{{"hwnd", HandleValue(other)}}),
            kTrue);
  EXPECT_TRUE(PumpUntil(iconic));
  EXPECT_EQ(GetForegroundWindow(), window_);
  // Twice is harmless.
  EXPECT_EQ(Call(kDesktopChannel, "blockWindow", EncodableMap{{"hwnd", HandleValue(other)}}),
            kTrue);

  EXPECT_EQ(Call(kDesktopChannel, "restoreWindow", EncodableMap{{"hwnd", HandleValue(other)}}),
            kTrue);
  EXPECT_TRUE(PumpUntil([&] { return !iconic() && in_front(); }));
  EXPECT_TRUE(IsWindowVisible(other));
  // A window that was never blocked is shown all the same.
  EXPECT_EQ(Call(kDesktopChannel, "restoreWindow", EncodableMap{{"hwnd", HandleValue(other)}}),
            kTrue);
  EXPECT_TRUE(PumpUntil(in_front));

  // The handle as the encoding carries a small value: an int32, sign-extended.
  EXPECT_EQ(Call(kDesktopChannel, "blockWindow",
                 EncodableMap{{"hwnd", static_cast<int32_t>(HandleValue(other))}}),
            kTrue);
  EXPECT_TRUE(PumpUntil(iconic));
}

TEST_F(WindowChromeTest, UnusableHandlesAreLeftAloneButTheHostStillComesUp) {
  auto app = StartApp(L"gone");
  ASSERT_NE(app, nullptr);
  HWND gone = app->window();
  app->Terminate();

  for (const EncodableValue& arguments :
       {EncodableValue(EncodableMap{{"hwnd", HandleValue(window_)}}),
        EncodableValue(EncodableMap{{"hwnd", HandleValue(gone)}}), EncodableValue(),
        EncodableValue(EncodableMap{{"hwnd", "12"}})}) {
    ShowWindow(window_, SW_MINIMIZE);
    EXPECT_EQ(Call(kDesktopChannel, "blockWindow", arguments), kFalse);
    EXPECT_FALSE(IsIconic(window_));
    EXPECT_TRUE(IsWindowVisible(window_));
    EXPECT_EQ(GetForegroundWindow(), window_);
    EXPECT_EQ(Call(kDesktopChannel, "restoreWindow", arguments), kFalse);
  }
  ShowWindow(window_, SW_HIDE);
  EXPECT_EQ(Call(kDesktopChannel, "showWindow"), kTrue);
  EXPECT_TRUE(IsWindowVisible(window_));
  EXPECT_TRUE(Events(kUiChannel).empty());
}

TEST_F(WindowChromeTest, MiniModeIsASmallTopmostPopupInTheCorner) {
  EXPECT_EQ(Call(kUiChannel, "setMiniMode", EncodableMap{{"enabled", true}}), kTrue);
  EXPECT_TRUE(ShowsMiniTimer());
  ExpectMiniRect(16, 380, 88);
  const LONG_PTR style = GetWindowLongPtrW(window_, GWL_STYLE);
  EXPECT_EQ(style & WS_POPUP, WS_POPUP);
  EXPECT_EQ(style & (WS_CAPTION | WS_THICKFRAME | WS_SYSMENU), 0);
  EXPECT_EQ(GetWindowLongPtrW(window_, GWL_EXSTYLE) & WS_EX_TOPMOST, WS_EX_TOPMOST);

  MINMAXINFO limits = {};
  EXPECT_EQ(
      bridge_->HandleWindowMessage(window_, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits)),
      std::optional<LRESULT>(0));
  EXPECT_EQ(limits.ptMinTrackSize.x, 1);
  EXPECT_EQ(limits.ptMinTrackSize.y, 1);

  EXPECT_EQ(Call(kUiChannel, "setMiniMode", EncodableMap{{"enabled", false}}), kFalse);
  EXPECT_FALSE(ShowsMiniTimer());
  EXPECT_EQ(WindowRect(window_).right - WindowRect(window_).left, 800);
  EXPECT_EQ(GetWindowLongPtrW(window_, GWL_STYLE) & WS_CAPTION, WS_CAPTION);
  EXPECT_EQ(GetWindowLongPtrW(window_, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
  // Left on request: the UI application needs no event for it.
  EXPECT_TRUE(Events(kUiChannel).empty());
  bridge_->HandleWindowMessage(window_, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
  EXPECT_EQ(limits.ptMinTrackSize.x, 760);
  EXPECT_EQ(limits.ptMinTrackSize.y, 560);
}

TEST_F(WindowChromeTest, MiniModeScalesWithTheWindowsDpi) {
  fake_engine().dpi = 144;
  EXPECT_EQ(Call(kUiChannel, "setMiniMode", EncodableMap{{"enabled", true}}), kTrue);
  ExpectMiniRect(24, 570, 132);
  Call(kUiChannel, "setMiniMode", EncodableMap{{"enabled", false}});
  MINMAXINFO limits = {};
  bridge_->HandleWindowMessage(window_, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
  EXPECT_EQ(limits.ptMinTrackSize.x, 1140);
  EXPECT_EQ(limits.ptMinTrackSize.y, 840);
}

TEST_F(WindowChromeTest, SizesRoundAndUnusableSizesTakeTheDefaults) {
  Call(kUiChannel, "setMiniMode", EncodableMap{{"enabled", true}, {"width", 0.2}, {"height", 0.3}});
  ExpectMiniRect(16, 1, 1);
  Call(kUiChannel, "setMiniMode", EncodableMap{{"enabled", true}, {"width", 380.4}});
  ExpectMiniRect(16, 380, 88);
  Call(kUiChannel, "setMiniMode", EncodableMap{{"enabled", true}, {"width", 380.5}});
  EXPECT_EQ(WindowRect(window_).right - WindowRect(window_).left, 381);
  Call(kUiChannel, "setMiniMode",
       EncodableMap{{"enabled", true}, {"width", std::nan("")}, {"height", -1}});
  ExpectMiniRect(16, 380, 88);
  Call(kUiChannel, "setMiniMode",
       EncodableMap{{"enabled", true},
                    {"width", std::numeric_limits<double>::infinity()},
                    {"height", int64_t{0}}});
  ExpectMiniRect(16, 380, 88);
}

TEST_F(WindowChromeTest, ResizingInMiniModeKeepsItsCornerAndTheSavedWindow) {
  const RECT normal = WindowRect(window_);
  Call(kUiChannel, "setMiniMode", EncodableMap{{"enabled", true}});
  // Dragged somewhere else.
  SetWindowPos(window_, nullptr, 200, 150, 380, 88, SWP_NOZORDER | SWP_NOACTIVATE);
  EXPECT_EQ(Call(kUiChannel, "setMiniMode",
                 EncodableMap{{"enabled", true}, {"width", 300}, {"height", 100}}),
            kTrue);
  EXPECT_EQ(WindowRect(window_).right, 580);
  EXPECT_EQ(WindowRect(window_).bottom, 238);
  EXPECT_EQ(WindowRect(window_).left, 280);
  EXPECT_EQ(WindowRect(window_).top, 138);

  // "enabled" 1 is not true: the window leaves mini mode, back to what was saved on entry.
  EXPECT_EQ(Call(kUiChannel, "setMiniMode", EncodableMap{{"enabled", 1}}), kFalse);
  const RECT back = WindowRect(window_);
  EXPECT_EQ(back.left, normal.left);
  EXPECT_EQ(back.top, normal.top);
  EXPECT_EQ(back.right, normal.right);
  EXPECT_EQ(back.bottom, normal.bottom);
}

// IsZoomed reads the style's maximised bit alone: the window must also have the size, and the
// sizing frame, that maximising gives it.
TEST_F(WindowChromeTest, LeavingMiniModeGivesBackAMaximisedWindowButNotAMinimisedOne) {
  ShowWindow(window_, SW_MAXIMIZE);
  ASSERT_TRUE(IsZoomed(window_));
  const RECT maximised = WindowRect(window_);
  const RECT work = WorkArea();
  // Its frame hangs past the work area, whose every edge it covers.
  ASSERT_LE(maximised.left, work.left);
  ASSERT_LE(maximised.top, work.top);
  ASSERT_GE(maximised.right, work.right);
  ASSERT_GE(maximised.bottom, work.bottom);
  Call(kUiChannel, "setMiniMode", EncodableMap{{"enabled", true}});
  EXPECT_FALSE(IsZoomed(window_));
  Call(kUiChannel, "setMiniMode", EncodableMap{{"enabled", false}});
  EXPECT_TRUE(IsZoomed(window_));
  const RECT back = WindowRect(window_);
  EXPECT_EQ(back.left, maximised.left);
  EXPECT_EQ(back.top, maximised.top);
  EXPECT_EQ(back.right, maximised.right);
  EXPECT_EQ(back.bottom, maximised.bottom);
  EXPECT_EQ(GetWindowLongPtrW(window_, GWL_STYLE) & WS_THICKFRAME, WS_THICKFRAME);

  ShowWindow(window_, SW_RESTORE);
  ShowWindow(window_, SW_MINIMIZE);
  ASSERT_TRUE(IsIconic(window_));
  Call(kUiChannel, "setMiniMode", EncodableMap{{"enabled", true}});
  ExpectMiniRect(16, 380, 88);
  Call(kUiChannel, "setMiniMode", EncodableMap{{"enabled", false}});
  EXPECT_FALSE(IsIconic(window_));
  EXPECT_TRUE(IsWindowVisible(window_));
}

TEST_F(WindowChromeTest, BlockingInMiniModeLeavesItWithOneEvent) {
  auto app = StartApp(L"blocked in mini mode");
  ASSERT_NE(app, nullptr);
  Call(kUiChannel, "setMiniMode", EncodableMap{{"enabled", true}});
  EXPECT_EQ(
      Call(kDesktopChannel, "blockWindow", EncodableMap{{"hwnd", HandleValue(app->window())}}),
      kTrue);
  EXPECT_FALSE(ShowsMiniTimer());
  EXPECT_EQ(Events(kUiChannel),
            (std::vector<std::pair<std::string, EncodableValue>>{kLeftMiniMode}));
  Call(kDesktopChannel, "showWindow");
  EXPECT_EQ(Events(kUiChannel).size(), 1u);
}

// The drag's move loop starts only after the reply has gone out.
TEST_F(WindowChromeTest, StartDragRepliesBeforeTheMoveLoop) {
  static bool reply_sent_at_loop_start = false;
  static bool loop_started = false;
  static FlutterDesktopMessenger* engine = nullptr;
  static uint64_t call_id = 0;
  reply_sent_at_loop_start = false;
  loop_started = false;
  engine = engine_;
  const auto original = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(window_, GWLP_WNDPROC));
  static WNDPROC forward = nullptr;
  forward = original;
  SetWindowLongPtrW(window_, GWLP_WNDPROC,
                    reinterpret_cast<LONG_PTR>(
                        +[](HWND window, UINT message, WPARAM wparam, LPARAM lparam) -> LRESULT {
                          if (message == WM_ENTERSIZEMOVE) {
                            loop_started = true;
                            reply_sent_at_loop_start = !engine->ResponsesTo(call_id).empty();
                            // Ends the loop as the Escape key would.
                            PostMessageW(window, WM_KEYDOWN, VK_ESCAPE, 0);
                          }
                          return CallWindowProcW(forward, window, message, wparam, lparam);
                        }));
  const flutter::MethodCall call("startDrag", nullptr);
  const auto message = flutter::StandardMethodCodec::ForSerializer(nullptr).EncodeCall(call);
  call_id = engine_->SendToHost(kUiChannel, *message);
  engine_->RunPendingTasks();
  SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
  ASSERT_TRUE(loop_started) << "Wine started no move loop";
  EXPECT_TRUE(reply_sent_at_loop_start);
  EXPECT_EQ(engine_->ResponsesTo(call_id), Replies{Hex("00 00")});
}

// A drag asked for during a drag starts no second move loop: the inner loop's end would leave
// the bridge believing none runs, and a quit then would destroy the window under the outer one.
// Nor does it take the running loop's mouse capture away.
TEST_F(WindowChromeTest, StartDragDuringADragStartsNoSecondLoop) {
  static int loops_entered = 0;
  static FlutterDesktopMessenger* engine = nullptr;
  static uint64_t second_id = 0;
  static std::vector<uint8_t> drag_message;
  static HWND capture_before = nullptr;
  static HWND capture_after = nullptr;
  static constexpr UINT kSecondDrag = WM_APP + 52;
  loops_entered = 0;
  capture_before = capture_after = nullptr;
  engine = engine_;
  const flutter::MethodCall call("startDrag", nullptr);
  drag_message = *flutter::StandardMethodCodec::ForSerializer(nullptr).EncodeCall(call);
  const auto original = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(window_, GWLP_WNDPROC));
  static WNDPROC forward = nullptr;
  forward = original;
  SetWindowLongPtrW(
      window_, GWLP_WNDPROC,
      reinterpret_cast<LONG_PTR>(
          +[](HWND window, UINT message, WPARAM wparam, LPARAM lparam) -> LRESULT {
            // Inside the loop, once it has taken the capture.
            if (message == WM_ENTERSIZEMOVE && ++loops_entered == 1) {
              PostMessageW(window, kSecondDrag, 0, 0);
            }
            if (message == kSecondDrag) {
              capture_before = GetCapture();
              second_id = engine->SendToHost(kUiChannel, drag_message);
              engine->RunPendingTasks();
              capture_after = GetCapture();
            }
            // Ends each loop as the Escape key would.
            if (message == kSecondDrag || (message == WM_ENTERSIZEMOVE && loops_entered > 1)) {
              PostMessageW(window, WM_KEYDOWN, VK_ESCAPE, 0);
            }
            return CallWindowProcW(forward, window, message, wparam, lparam);
          }));
  const uint64_t first_id = engine_->SendToHost(kUiChannel, drag_message);
  engine_->RunPendingTasks();
  SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
  ASSERT_GE(loops_entered, 1) << "Wine started no move loop";
  EXPECT_EQ(loops_entered, 1);
  EXPECT_EQ(engine_->ResponsesTo(first_id), Replies{Hex("00 00")});
  EXPECT_EQ(engine_->ResponsesTo(second_id), Replies{Hex("00 00")});
  ASSERT_EQ(capture_before, window_) << "Wine's move loop took no capture";
  EXPECT_EQ(capture_after, window_);
}

}  // namespace
}  // namespace keelo::testing
