#include "bridge/window_blocking.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

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
