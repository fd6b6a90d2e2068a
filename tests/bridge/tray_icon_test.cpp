#include "bridge/tray_icon.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "bridge/host_services.h"
#include "bridge/system_calls.h"
#include "bridge/tray_menu.h"
#include "bridge/tray_retry.h"
#include "bridge/window_messages.h"
#include "tests/bridge/bridge_fixture.h"
#include "tests/bridge/tray_menu_driver.h"

namespace keelo::testing {
namespace {

// The hub as the tray meets it: what it was asked, in order.
class RecordingHost final : public HostServices {
 public:
  void BringToFront() override { asked.emplace_back("front"); }
  bool RunModalLoop(ModalLoop kind, const std::function<void()>& loop) override {
    asked.emplace_back(kind == ModalLoop::kTrayMenu ? "menu loop" : "drag loop");
    loop();
    return loop_completes;
  }
  void Quit() override { asked.emplace_back("quit"); }
  bool InMiniMode() const override { return mini_mode; }

  std::vector<std::string> asked;
  // False: a quit came due while the menu was open.
  bool loop_completes = true;
  bool mini_mode = false;
};

// Destroyed after the tray, which takes its icon back first.
struct TestWindow {
  HWND handle = CreateWindowExW(0, L"STATIC", L"Keelo under test", WS_OVERLAPPEDWINDOW, 0, 0, 200,
                                100, nullptr, nullptr, nullptr, nullptr);
  ~TestWindow() { DestroyWindow(handle); }
};

// The tray on its own, over a plain window of the test's: no hub, no engine.
class TrayIconTest : public ::testing::Test {
 protected:
  // The user opens the menu from the icon and chooses |id|; what the menu showed.
  std::vector<TrayMenuItem> Choose(UINT id) {
    std::vector<TrayMenuItem> shown;
    {
      MenuDriver driver(window_.handle, [id](MenuDriver& menu) { menu.Choose(id); });
      EXPECT_EQ(tray_.HandleWindowMessage(kTrayCallbackMessage, kTrayIconId, WM_RBUTTONUP),
                std::optional<LRESULT>(0));
      EXPECT_TRUE(driver.shown()) << "no menu appeared";
      shown = driver.items();
    }
    PumpThreadMessages();
    return shown;
  }

  TestWindow window_;
  RecordingHost host_;
  std::vector<std::string> commands_;
  TrayIcon tray_{window_.handle, SystemCalls::Real().notify_icon,
                 [this](const char* command) { commands_.emplace_back(command); }, host_};
};

TEST_F(TrayIconTest, TheMenuAndTheClicksAskTheHostAndTellTheUiOnly) {
  tray_.SetStatus(L"Focus 12:40", true);
  host_.mini_mode = true;
  EXPECT_EQ(Choose(kTrayPark), TrayMenuItems(L"Focus 12:40", true, true, true));
  EXPECT_EQ(host_.asked, (std::vector<std::string>{"menu loop", "front"}));
  EXPECT_EQ(commands_, std::vector<std::string>{"park"});

  host_.mini_mode = false;
  host_.asked.clear();
  Choose(kTrayMiniTimer);
  EXPECT_EQ(host_.asked, std::vector<std::string>{"menu loop"});
  EXPECT_EQ(commands_, (std::vector<std::string>{"park", "mini"}));

  // A quit that came due while the menu was open wins over what was chosen.
  host_.asked.clear();
  host_.loop_completes = false;
  Choose(kTrayOpen);
  EXPECT_EQ(host_.asked, std::vector<std::string>{"menu loop"});

  host_.asked.clear();
  host_.loop_completes = true;
  tray_.SetQuitAllowed(false);
  Choose(kTrayQuit);
  tray_.SetQuitAllowed(true);
  Choose(kTrayQuit);
  EXPECT_EQ(host_.asked, (std::vector<std::string>{"menu loop", "menu loop", "quit"}));

  host_.asked.clear();
  EXPECT_EQ(tray_.HandleWindowMessage(kTrayCallbackMessage, kTrayIconId, NIN_BALLOONUSERCLICK),
            std::optional<LRESULT>(0));
  EXPECT_EQ(tray_.HandleWindowMessage(kTrayCallbackMessage, kTrayIconId, WM_MOUSEMOVE),
            std::nullopt);
  EXPECT_EQ(host_.asked, std::vector<std::string>{"front"});
  EXPECT_EQ(commands_.size(), 2u);
}

TEST_F(TrayIconTest, TextsKeepTheir120FirstUnitsAndAMissingSessionKeepsTheOldOne) {
  tray_.SetTooltip(std::wstring(119, L'a') + L"\U0001F600");
  EXPECT_EQ(tray_.tooltip(), std::wstring(119, L'a') + L"\xD83D");
  tray_.SetStatus(std::wstring(200, L'x'), true);
  EXPECT_EQ(tray_.status(), std::wstring(120, L'x'));
  tray_.SetStatus(L"", std::nullopt);
  EXPECT_EQ(tray_.status(), L"");
  EXPECT_TRUE(tray_.session_active());
}

TEST(TrayAddRetryDelayTest, DoublesFromASecondToTwoMinutesAndStaysThere) {
  const std::vector<UINT> expected = {1000,  2000,  4000,   8000,   16000,
                                      32000, 64000, 120000, 120000, 120000};
  for (int failures = 1; failures <= 10; ++failures) {
    EXPECT_EQ(TrayAddRetryDelayMs(failures), expected[failures - 1]) << failures;
  }
  EXPECT_EQ(TrayAddRetryDelayMs(1000000), 120000u);
}

// A shell that refuses the icon, its add and its modify alike, as often as it is told to, and
// shows at most one: a second add while it shows one is refused as a duplicate.
struct FakeShell {
  bool Notify(DWORD message, const NOTIFYICONDATAW& data) {
    calls.push_back(message);
    if (message == NIM_ADD) {
      if (refusals_left > 0) {
        --refusals_left;
        return false;
      }
      if (shown) return false;
      shown = true;
      ++adds_taken;
      tooltip = data.szTip;
      return true;
    }
    if (message == NIM_DELETE) return std::exchange(shown, false);
    if (shown && message == NIM_MODIFY && (data.uFlags & NIF_TIP) != 0) tooltip = data.szTip;
    return shown;
  }

  int refusals_left = 0;
  std::vector<DWORD> calls;
  bool shown = false;
  int adds_taken = 0;
  std::wstring tooltip;
};

// Started at sign-in before the shell's taskbar is ready.
class TrayRetryTest : public ::testing::Test {
 protected:
  void MakeTray(int refusals) {
    shell_->refusals_left = refusals;
    tray_.emplace(
        window_.handle,
        [shell = shell_](DWORD message, const NOTIFYICONDATAW& data) {
          return shell->Notify(message, data);
        },
        [](const char*) {}, host_);
    // As the host's first frame does.
    tray_->Update();
  }

  // The retry timer's tick, as the window's messages bring it.
  void Tick() {
    EXPECT_EQ(tray_->HandleWindowMessage(WM_TIMER, kTrayAddRetryTimer, 0),
              std::optional<LRESULT>(0));
  }

  // Whether the window still had the retry timer; it has not afterwards.
  bool TimerWasSet() { return KillTimer(window_.handle, kTrayAddRetryTimer) != FALSE; }

  TestWindow window_;
  RecordingHost host_;
  std::shared_ptr<FakeShell> shell_ = std::make_shared<FakeShell>();
  std::optional<TrayIcon> tray_;
};

TEST_F(TrayRetryTest, ARefusedIconIsOfferedAgainAfterGrowingWaitsWithTheNewestTooltip) {
  MakeTray(4);
  EXPECT_FALSE(tray_->added());
  EXPECT_EQ(tray_->retry_delay_ms(), std::optional<UINT>(1000));

  // The first try comes from the window's timer by itself.
  MSG tick = {};
  const DWORD start = GetTickCount();
  while (!PeekMessageW(&tick, window_.handle, WM_TIMER, WM_TIMER, PM_REMOVE) &&
         GetTickCount() - start < 5000) {
    Sleep(20);
  }
  ASSERT_EQ(tick.message, static_cast<UINT>(WM_TIMER)) << "no retry came";
  EXPECT_EQ(tick.wParam, kTrayAddRetryTimer);
  Tick();
  EXPECT_EQ(tray_->retry_delay_ms(), std::optional<UINT>(2000));

  // Given while the tray waits: tried at once, and the wait goes on as it was.
  tray_->SetTooltip(L"Focus: 12:40 left");
  EXPECT_EQ(tray_->retry_delay_ms(), std::optional<UINT>(2000));
  Tick();
  EXPECT_EQ(tray_->retry_delay_ms(), std::optional<UINT>(4000));
  EXPECT_FALSE(tray_->added());
  EXPECT_EQ(shell_->adds_taken, 0);

  Tick();
  EXPECT_TRUE(tray_->added());
  EXPECT_EQ(tray_->retry_delay_ms(), std::nullopt);
  EXPECT_EQ(shell_->tooltip, L"Focus: 12:40 left");
  EXPECT_FALSE(TimerWasSet());

  // A tick that was already queued adds nothing; from now on the icon is modified.
  const size_t calls = shell_->calls.size();
  Tick();
  tray_->SetTooltip(L"Focus: 12:39 left");
  EXPECT_EQ(std::vector<DWORD>(shell_->calls.begin() + calls, shell_->calls.end()),
            std::vector<DWORD>{NIM_MODIFY});
  EXPECT_EQ(shell_->tooltip, L"Focus: 12:39 left");
  EXPECT_EQ(shell_->adds_taken, 1);
  // Five offers refused or taken, each an add and, when refused, a modify.
  EXPECT_EQ(std::count(shell_->calls.begin(), shell_->calls.end(), NIM_ADD), 5);
}

TEST_F(TrayRetryTest, TaskbarCreatedDuringTheWaitAddsTheIconOnceAndEndsTheWait) {
  MakeTray(1000);
  Tick();
  Tick();
  EXPECT_EQ(tray_->retry_delay_ms(), std::optional<UINT>(4000));

  shell_->refusals_left = 0;
  EXPECT_EQ(tray_->HandleWindowMessage(TaskbarCreatedMessage(), 0, 0), std::nullopt);
  EXPECT_TRUE(tray_->added());
  EXPECT_EQ(tray_->retry_delay_ms(), std::nullopt);
  EXPECT_FALSE(TimerWasSet());
  Tick();
  EXPECT_EQ(shell_->adds_taken, 1);
  EXPECT_EQ(shell_->calls.back(), static_cast<DWORD>(NIM_ADD));

  // A shell that restarts and is not ready yet: the waits start again from a second.
  shell_->shown = false;
  shell_->refusals_left = 1000;
  tray_->HandleWindowMessage(TaskbarCreatedMessage(), 0, 0);
  EXPECT_FALSE(tray_->added());
  EXPECT_EQ(tray_->retry_delay_ms(), std::optional<UINT>(1000));
  EXPECT_TRUE(TimerWasSet());
}

TEST_F(TrayRetryTest, AQuitDuringTheWaitEndsIt) {
  MakeTray(1000);
  Tick();
  ASSERT_EQ(tray_->retry_delay_ms(), std::optional<UINT>(2000));

  // What the hub's quit does to the tray before it destroys the window.
  tray_->Remove();
  EXPECT_EQ(tray_->retry_delay_ms(), std::nullopt);
  EXPECT_FALSE(TimerWasSet());
  const size_t calls = shell_->calls.size();
  shell_->refusals_left = 0;
  Tick();
  EXPECT_EQ(shell_->calls.size(), calls);
  EXPECT_FALSE(shell_->shown);
}

}  // namespace
}  // namespace keelo::testing
