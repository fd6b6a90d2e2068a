#include <gtest/gtest.h>
#include <windows.h>

#include <cwchar>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "bridge/display_monitors.h"
#include "bridge/foreground_watcher.h"
#include "messaging/encodable_value.h"
#include "tests/bridge/bridge_fixture.h"
#include "tests/bridge/rect_compare.h"
#include "tests/runner/fake_engine.h"

namespace keelo::testing {
namespace {

using flutter::EncodableMap;

constexpr RECT kScreen = {0, 0, 1920, 1080};
constexpr RECT kRightScreen = {1920, 0, 3840, 1080};

RECT WindowRect(HWND window) {
  RECT rect = {};
  GetWindowRect(window, &rect);
  return rect;
}

RECT Corner(const RECT& work, LONG margin, LONG width, LONG height) {
  return {work.right - margin - width, work.bottom - margin - height, work.right - margin,
          work.bottom - margin};
}

// The mini timer over monitors the test lays out: Wine shows one monitor whose work area is
// the whole screen, moves no taskbar and changes no DPI, so the monitors come through the seam
// and the messages the system would send come from the test.
class MiniTimerTest : public WindowBridgeTest {
 public:
  // The taskbar moved or grew: the system's broadcast.
  void WorkAreaChanged() { SendMessageW(window_, WM_SETTINGCHANGE, SPI_SETWORKAREA, 0); }
  void DisplayChanged() { SendMessageW(window_, WM_DISPLAYCHANGE, 32, MAKELPARAM(1920, 1080)); }

 protected:
  void SetUp() override {
    fake_engine().dpi = 96;
    system_->list_monitors = [monitors = monitors_] { return *monitors; };
    SetMonitors({Primary({0, 0, 1920, 1040})});
  }
  void TearDown() override { ResetFakeEngine(); }

  static DisplayMonitor Primary(RECT work, UINT dpi = 96) {
    return DisplayMonitor{kScreen, work, dpi, true};
  }

  void SetMonitors(std::vector<DisplayMonitor> monitors) { *monitors_ = std::move(monitors); }

  void EnterMiniMode() {
    ASSERT_EQ(Call(kUiChannel, "setMiniMode", EncodableMap{{"enabled", true}}), kTrue);
  }

  // The window's DPI became |dpi|, with the place the system suggests; returns the suggestion as
  // the main window's own handler finds it afterwards.
  RECT DpiChanged(UINT dpi, RECT suggested) {
    fake_engine().dpi = dpi;
    SendMessageW(window_, WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                 reinterpret_cast<LPARAM>(&suggested));
    return suggested;
  }
  // The user let go of the timer where it is now.
  void DragEnded() { SendMessageW(window_, WM_EXITSIZEMOVE, 0, 0); }

  std::shared_ptr<std::vector<DisplayMonitor>> monitors_ =
      std::make_shared<std::vector<DisplayMonitor>>();
};

TEST_F(MiniTimerTest, FollowsItsCornerWhenTheTaskbarTheMonitorsOrTheDpiChange) {
  EnterMiniMode();
  ASSERT_EQ(WindowRect(window_), Corner({0, 0, 1920, 1040}, 16, 380, 88));

  struct Step {
    const char* what;
    std::vector<DisplayMonitor> monitors;
    void (MiniTimerTest::*change)();
    RECT expected;
  };
  const RECT top = {0, 40, 1920, 1080};
  const RECT left = {62, 0, 1920, 1080};
  const RECT right = {0, 0, 1858, 1080};
  const RECT shrunk = {0, 0, 1500, 700};
  const DisplayMonitor second = {kRightScreen, kRightScreen, 144, false};
  const Step steps[] = {
      {"taskbar to the top",
       {Primary(top)},
       &MiniTimerTest::WorkAreaChanged,
       Corner(top, 16, 380, 88)},
      {"taskbar to the left",
       {Primary(left)},
       &MiniTimerTest::WorkAreaChanged,
       Corner(left, 16, 380, 88)},
      {"taskbar to the right",
       {Primary(right)},
       &MiniTimerTest::WorkAreaChanged,
       Corner(right, 16, 380, 88)},
      {"work area shrunk",
       {Primary(shrunk)},
       &MiniTimerTest::WorkAreaChanged,
       Corner(shrunk, 16, 380, 88)},
      {"resolution back, a second monitor added",
       {Primary(kScreen), second},
       &MiniTimerTest::DisplayChanged,
       Corner(kScreen, 16, 380, 88)},
  };
  for (const Step& step : steps) {
    SetMonitors(step.monitors);
    (this->*step.change)();
    EXPECT_EQ(WindowRect(window_), step.expected) << step.what;
    EXPECT_TRUE(ShowsMiniTimer()) << step.what;
  }

  // Put on the second monitor, it takes that monitor's corner at that monitor's DPI.
  SetWindowPos(window_, nullptr, 3000, 500, 380, 88, SWP_NOZORDER | SWP_NOACTIVATE);
  DisplayChanged();
  EXPECT_EQ(WindowRect(window_), Corner(kRightScreen, 24, 570, 132));
  // That monitor unplugged: the nearest one left.
  SetMonitors({Primary(kScreen)});
  DisplayChanged();
  EXPECT_EQ(WindowRect(window_), Corner(kScreen, 16, 380, 88));

  // A settings change that is not the work area's moves nothing.
  SetMonitors({Primary(shrunk)});
  SendMessageW(window_, WM_SETTINGCHANGE, SPI_SETDESKWALLPAPER, 0);
  EXPECT_EQ(WindowRect(window_), Corner(kScreen, 16, 380, 88));

  // The scaling changed: 96 to 144 to 120, each placed and sized for the new DPI, and the
  // suggestion the main window then applies is that place.
  SetMonitors({Primary({0, 0, 1920, 1040})});
  RECT suggested = DpiChanged(144, {100, 100, 670, 232});
  EXPECT_EQ(WindowRect(window_), Corner({0, 0, 1920, 1040}, 24, 570, 132));
  EXPECT_EQ(suggested, WindowRect(window_));
  suggested = DpiChanged(120, {100, 100, 575, 210});
  EXPECT_EQ(WindowRect(window_), Corner({0, 0, 1920, 1040}, 20, 475, 110));
  EXPECT_EQ(suggested, WindowRect(window_));

  // Out of mini mode, none of it moves the window.
  Call(kUiChannel, "setMiniMode", EncodableMap{{"enabled", false}});
  const RECT normal = WindowRect(window_);
  SetMonitors({Primary(top)});
  WorkAreaChanged();
  DisplayChanged();
  suggested = DpiChanged(144, {10, 10, 20, 20});
  EXPECT_EQ(WindowRect(window_), normal);
  EXPECT_EQ(suggested, (RECT{10, 10, 20, 20}));
}

TEST_F(MiniTimerTest, ADraggedTimerKeepsItsPlaceFromTheNearestCornerWhileItFits) {
  EnterMiniMode();
  SetWindowPos(window_, nullptr, 200, 150, 380, 88, SWP_NOZORDER | SWP_NOACTIVATE);
  DragEnded();

  // Nearest the top-left corner: 200 and 150 logical pixels from its edges, wherever they go.
  SetMonitors({Primary({62, 0, 1920, 1080})});
  WorkAreaChanged();
  EXPECT_EQ(WindowRect(window_), (RECT{262, 150, 642, 238}));
  RECT suggested = DpiChanged(144, {262, 150, 832, 282});
  EXPECT_EQ(WindowRect(window_), (RECT{362, 225, 932, 357}));
  EXPECT_EQ(suggested, WindowRect(window_));

  // While the user drags it, the move loop and the suggestion place it.
  SendMessageW(window_, WM_ENTERSIZEMOVE, 0, 0);
  suggested = DpiChanged(96, {500, 500, 880, 588});
  EXPECT_EQ(suggested, (RECT{500, 500, 880, 588}));
  EXPECT_EQ(WindowRect(window_), (RECT{362, 225, 932, 357}));
  SetWindowPos(window_, nullptr, 1500, 900, 380, 88, SWP_NOZORDER | SWP_NOACTIVATE);
  DragEnded();

  // Dropped nearest the bottom-right corner, 40 and 92 pixels from its edges.
  SetMonitors({Primary({0, 0, 1920, 1000})});
  WorkAreaChanged();
  EXPECT_EQ(WindowRect(window_), (RECT{1500, 820, 1880, 908}));

  // Where it no longer fits, the default corner; back where it fits, its place again.
  SetMonitors({Primary({1000, 0, 1920, 150})});
  WorkAreaChanged();
  EXPECT_EQ(WindowRect(window_), Corner({1000, 0, 1920, 150}, 16, 380, 88));
  SetMonitors({Primary({0, 0, 1920, 1040})});
  WorkAreaChanged();
  EXPECT_EQ(WindowRect(window_), (RECT{1500, 860, 1880, 948}));

  // A new mini mode starts in the corner again.
  Call(kUiChannel, "setMiniMode", EncodableMap{{"enabled", false}});
  EnterMiniMode();
  EXPECT_EQ(WindowRect(window_), Corner({0, 0, 1920, 1040}, 16, 380, 88));
}

// The screen shrank to 1000 pixels while the window was the timer, which leaves the window's saved
// place, from 1200 on, on no monitor. Wine would keep it (its screen is wider) and move only a
// window that lies wholly off its own screen.
TEST_F(MiniTimerTest, LeavingMiniModeBringsTheWindowBackOntoTheNearestLiveMonitor) {
  SetMonitors({Primary(kScreen)});
  SetWindowPos(window_, nullptr, 1200, 100, 800, 600, SWP_NOZORDER | SWP_NOACTIVATE);
  EnterMiniMode();
  const RECT narrow = {0, 0, 1000, 1040};
  SetMonitors({DisplayMonitor{{0, 0, 1000, 1080}, narrow, 96, true}});
  DisplayChanged();
  EXPECT_EQ(WindowRect(window_), Corner(narrow, 16, 380, 88));

  ASSERT_EQ(Call(kUiChannel, "setMiniMode", EncodableMap{{"enabled", false}}), kFalse);
  EXPECT_EQ(WindowRect(window_), (RECT{200, 100, 1000, 700}));
  EXPECT_FALSE(ShowsMiniTimer());

  // A place still on a monitor is given back as it was.
  SetMonitors({Primary(kScreen)});
  EnterMiniMode();
  Call(kUiChannel, "setMiniMode", EncodableMap{{"enabled", false}});
  EXPECT_EQ(WindowRect(window_), (RECT{200, 100, 1000, 700}));
}

// Wine raises no foreground events: the hook's procedure is called as the system would.
class TimerAboveTaskbarTest : public WindowBridgeTest {
 protected:
  ~TimerAboveTaskbarTest() override {
    for (HWND window : windows_) DestroyWindow(window);
    for (const std::wstring& name : classes_) UnregisterClassW(name.c_str(), nullptr);
  }

  // A visible popup of class |class_name| in this process, topmost when asked, put above
  // everything of its band without taking the focus.
  HWND MakeWindow(const wchar_t* class_name, bool topmost) {
    WNDCLASSW window_class = {};
    window_class.lpfnWndProc = DefWindowProcW;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.lpszClassName = class_name;
    if (RegisterClassW(&window_class) != 0) classes_.emplace_back(class_name);
    HWND window = CreateWindowExW(topmost ? WS_EX_TOPMOST : 0, class_name, L"", WS_POPUP, 0, 0,
                                  1920, 40, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    EXPECT_NE(window, nullptr);
    windows_.push_back(window);
    SetWindowPos(window, topmost ? HWND_TOPMOST : HWND_TOP, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW | SWP_NOACTIVATE);
    return window;
  }

  static void Fire(HWND window) {
    ForegroundWatcher::ForegroundEventProc(nullptr, EVENT_SYSTEM_FOREGROUND, window, OBJID_WINDOW,
                                           CHILDID_SELF, 0, 0);
  }

  // Whether |upper| comes before |lower| in the order of the windows on the screen.
  static bool Above(HWND upper, HWND lower) {
    for (HWND next = GetWindow(upper, GW_HWNDNEXT); next != nullptr;
         next = GetWindow(next, GW_HWNDNEXT)) {
      if (next == lower) return true;
    }
    return false;
  }

  std::vector<HWND> windows_;
  std::vector<std::wstring> classes_;
};

TEST_F(TimerAboveTaskbarTest, ATaskbarOrATopmostWindowInFrontGoesBackUnderTheTimerWithTheFocus) {
  ASSERT_EQ(Call(kUiChannel, "setMiniMode", EncodableMap{{"enabled", true}}), kTrue);
  struct Case {
    const wchar_t* front_class;
    bool topmost;
    bool timer_on_top;
  };
  for (const Case& c :
       {Case{L"Shell_TrayWnd", true, true}, Case{L"Shell_SecondaryTrayWnd", true, true},
        Case{L"KeeloTestStickyNote", true, true}, Case{L"KeeloTestEditor", false, false}}) {
    const std::string what(c.front_class, c.front_class + std::wcslen(c.front_class));
    HWND front = MakeWindow(c.front_class, c.topmost);
    // An always-on-top window above the timer: the one in front, or another one.
    HWND above = c.topmost ? front : MakeWindow(L"KeeloTestOnTop", true);
    SetForegroundWindow(front);
    ASSERT_EQ(GetForegroundWindow(), front) << what;
    ASSERT_TRUE(Above(above, window_)) << what;

    Fire(front);
    EXPECT_EQ(Above(window_, above), c.timer_on_top) << what;
    EXPECT_EQ(GetForegroundWindow(), front) << what;
    EXPECT_TRUE(ShowsMiniTimer()) << what;
  }

  // Out of mini mode the window is no always-on-top window, and nothing makes it one.
  Call(kUiChannel, "setMiniMode", EncodableMap{{"enabled", false}});
  HWND taskbar = MakeWindow(L"Shell_TrayWnd", true);
  Fire(taskbar);
  EXPECT_EQ(GetWindowLongPtrW(window_, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
}

}  // namespace
}  // namespace keelo::testing
