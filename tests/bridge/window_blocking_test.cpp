#include "bridge/window_blocking.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "messaging/encodable_value.h"
#include "tests/bridge/bridge_fixture.h"
#include "tests/runner/fake_engine.h"
#include "tests/support/fixtures.h"
#include "tests/support/frozen_window.h"

namespace keelo::testing {
namespace {

using flutter::EncodableMap;
using flutter::EncodableValue;

// Far above the 100 ms the host aims for, far below the 20 s a frozen fixture stays frozen:
// a call that waited for the frozen window cannot pass.
constexpr auto kPromptReply = std::chrono::milliseconds(2000);

int64_t HandleValue(HWND window) { return reinterpret_cast<intptr_t>(window); }

TEST(JoinsForegroundInputTest, OnlyAnotherThreadThatStillAnswers) {
  constexpr DWORD kOwn = 10;
  constexpr DWORD kOther = 20;
  struct Case {
    DWORD foreground_thread;
    bool hung;
    bool joins;
  };
  for (const Case& c :
       {Case{kOther, false, true}, Case{kOther, true, false}, Case{kOwn, false, false},
        Case{kOwn, true, false}, Case{0, false, false}, Case{0, true, false}}) {
    EXPECT_EQ(JoinsForegroundInput(c.foreground_thread, kOwn, c.hung), c.joins)
        << c.foreground_thread << (c.hung ? " hung" : "");
  }
}

TEST(ShellWindowClassTest, TaskbarsDesktopAndTaskSwitcherInAnyCaseButNothingElse) {
  using namespace std::string_view_literals;
  for (const std::wstring_view shell :
       {L"Shell_TrayWnd"sv, L"Shell_SecondaryTrayWnd"sv, L"Progman"sv, L"WorkerW"sv,
        L"TaskSwitcherWnd"sv, L"MultitaskingViewFrame"sv, L"ForegroundStaging"sv,
        L"XamlExplorerHostIslandWindow"sv, L"shell_traywnd"sv, L"PROGMAN"sv, L"workerw"sv}) {
    EXPECT_TRUE(IsShellWindowClass(shell)) << shell.size();
  }
  // File Explorer's own windows, a packaged app's frame, other programs, and near misses.
  for (const std::wstring_view other :
       {L"CabinetWClass"sv, L"ExploreWClass"sv, L"ApplicationFrameWindow"sv, L"Notepad"sv,
        L"KeeloFixtureWindow"sv, L""sv, L"Shell_TrayWn"sv, L"Shell_TrayWnd "sv, L"WorkerWW"sv,
        L"Progman\0"sv}) {
    EXPECT_FALSE(IsShellWindowClass(other)) << other.size();
  }
}

class FrozenWindowTest : public WindowBridgeTest {
 protected:
  void SetUp() override { fake_engine().dpi = 96; }
  void TearDown() override { ResetFakeEngine(); }

  // Calls |method| on |window| and returns how long the reply took.
  std::chrono::milliseconds TimedCall(const char* method, HWND window, const Replies& expected) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Call(kDesktopChannel, method, EncodableMap{{"hwnd", HandleValue(window)}}), expected)
        << method;
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    RecordProperty(std::string(method) + "_ms", static_cast<int>(took.count()));
    return took;
  }
};

// Blocking asks the frozen program to minimise and goes on: the host answers and comes to the
// front at once, and the window is minimised as soon as its program runs again.
TEST_F(FrozenWindowTest, BlockRepliesAtOnceAndTheWindowGoesDownWhenItsProgramWakes) {
  auto app = FixtureProcess::Start(FixtureExecutable(L"fixture_plain.exe"), L"frozen");
  ASSERT_NE(app, nullptr);
  SetForegroundWindow(window_);
  FrozenWindow frozen(app->window(), app->id());
  ASSERT_TRUE(frozen.frozen());

  EXPECT_LT(TimedCall("blockWindow", app->window(), kTrue), kPromptReply);
  EXPECT_EQ(GetForegroundWindow(), window_);
  frozen.Thaw();
  EXPECT_TRUE(PumpUntil([&] { return IsIconic(app->window()) != FALSE; }));
}

TEST_F(FrozenWindowTest, RestoreRepliesAtOnceAndTheWindowComesBackWhenItsProgramWakes) {
  auto app = FixtureProcess::Start(FixtureExecutable(L"fixture_plain.exe"), L"frozen restored");
  ASSERT_NE(app, nullptr);
  ShowWindow(app->window(), SW_MINIMIZE);
  ASSERT_TRUE(IsIconic(app->window()));
  FrozenWindow frozen(app->window(), app->id());
  ASSERT_TRUE(frozen.frozen());

  EXPECT_LT(TimedCall("restoreWindow", app->window(), kTrue), kPromptReply);
  frozen.Thaw();
  EXPECT_TRUE(PumpUntil([&] { return IsIconic(app->window()) == FALSE; }));
  EXPECT_TRUE(IsWindowVisible(app->window()));
}

// The program in front stopped answering long enough for the system to call it hung: the host
// takes the front without joining that program's input, which would wait for it.
TEST_F(FrozenWindowTest, HungWindowInFrontIsBlockedWithoutWaitingForIt) {
  auto app = FixtureProcess::Start(FixtureExecutable(L"fixture_plain.exe"), L"hung in front");
  ASSERT_NE(app, nullptr);
  SetForegroundWindow(app->window());
  ASSERT_TRUE(PumpUntil([&] { return GetForegroundWindow() == app->window(); }));
  FrozenWindow frozen(app->window(), app->id());
  ASSERT_TRUE(frozen.frozen());
  // Wine, like Windows, calls a window hung once its thread has not pumped for about 5 s.
  for (int waited = 0; waited < 10000 && !IsHungAppWindow(app->window()); waited += 100) {
    Sleep(100);
  }
  ASSERT_TRUE(IsHungAppWindow(app->window()));

  EXPECT_LT(TimedCall("blockWindow", app->window(), kTrue), kPromptReply);
  frozen.Thaw();
  EXPECT_TRUE(PumpUntil([&] { return IsIconic(app->window()) != FALSE; }));
  EXPECT_TRUE(PumpUntil([&] { return GetForegroundWindow() == window_; }));
}

}  // namespace
}  // namespace keelo::testing

namespace keelo::testing {
namespace {

class ShellWindowTest : public WindowBridgeTest {
 protected:
  void SetUp() override { fake_engine().dpi = 96; }
  void TearDown() override {
    for (HWND window : windows_) DestroyWindow(window);
    for (const std::wstring& name : classes_) UnregisterClassW(name.c_str(), nullptr);
    ResetFakeEngine();
  }

  // A visible top-level window of a class named |class_name|, as the shell makes them.
  HWND ShellLikeWindow(const std::wstring& class_name) {
    WNDCLASSW window_class = {};
    window_class.lpfnWndProc = DefWindowProcW;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.lpszClassName = class_name.c_str();
    if (RegisterClassW(&window_class) != 0) classes_.push_back(class_name);
    HWND window =
        CreateWindowExW(0, class_name.c_str(), L"shell", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                        200, 100, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (window != nullptr) windows_.push_back(window);
    return window;
  }

  std::vector<std::wstring> classes_;
  std::vector<HWND> windows_;
};

// Refused and nothing else: the window stays, and the host neither comes up nor leaves mini mode.
TEST_F(ShellWindowTest, BlockingTheTaskbarTheDesktopOrTheSwitcherIsRefusedAndChangesNothing) {
  Call(kUiChannel, "setMiniMode", EncodableMap{{"enabled", true}});
  ShowWindow(window_, SW_HIDE);
  for (const wchar_t* class_name :
       {L"Shell_TrayWnd", L"Shell_SecondaryTrayWnd", L"Progman", L"WorkerW",
        L"MultitaskingViewFrame", L"XamlExplorerHostIslandWindow"}) {
    HWND shell = ShellLikeWindow(class_name);
    ASSERT_NE(shell, nullptr) << GetLastError();
    EXPECT_EQ(Call(kDesktopChannel, "blockWindow", EncodableMap{{"hwnd", HandleValue(shell)}}),
              kFalse);
    PumpMessages();
    EXPECT_FALSE(IsIconic(shell));
    EXPECT_TRUE(IsWindowVisible(shell));
  }
  EXPECT_FALSE(IsWindowVisible(window_));
  EXPECT_TRUE(ShowsMiniTimer());
  EXPECT_TRUE(Events(kUiChannel).empty());

  // The window the system names the shell's, whatever its class. Wine names none until a
  // program says it is the shell; the name goes with the window.
  using SetShellWindowFunction = BOOL(WINAPI*)(HWND);
  auto set_shell_window = reinterpret_cast<SetShellWindowFunction>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetShellWindow")));
  ASSERT_NE(set_shell_window, nullptr);
  HWND desktop = GetShellWindow();
  if (desktop == nullptr) {
    desktop = ShellLikeWindow(L"KeeloDesktopStandIn");
    ASSERT_TRUE(set_shell_window(desktop));
    ASSERT_EQ(GetShellWindow(), desktop);
  }
  EXPECT_EQ(Call(kDesktopChannel, "blockWindow", EncodableMap{{"hwnd", HandleValue(desktop)}}),
            kFalse);
  PumpMessages();
  EXPECT_FALSE(IsIconic(desktop));
  EXPECT_FALSE(IsWindowVisible(window_));

  // Any other window of this program is blocked as before.
  HWND explorer = ShellLikeWindow(L"CabinetWClass");
  ASSERT_NE(explorer, nullptr);
  EXPECT_EQ(Call(kDesktopChannel, "blockWindow", EncodableMap{{"hwnd", HandleValue(explorer)}}),
            kTrue);
  EXPECT_TRUE(PumpUntil([&] { return IsIconic(explorer) != FALSE; }));
  EXPECT_TRUE(IsWindowVisible(window_));
  EXPECT_FALSE(ShowsMiniTimer());
}

}  // namespace
}  // namespace keelo::testing
