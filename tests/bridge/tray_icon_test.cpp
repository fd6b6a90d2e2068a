#include "bridge/tray_icon.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "bridge/host_services.h"
#include "bridge/system_calls.h"
#include "bridge/tray_menu.h"
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

// The tray on its own, over a plain window of the test's: no hub, no engine.
class TrayIconTest : public ::testing::Test {
 protected:
  // Destroyed after the tray, which takes its icon back first.
  struct TestWindow {
    HWND handle = CreateWindowExW(0, L"STATIC", L"Keelo under test", WS_OVERLAPPEDWINDOW, 0, 0, 200,
                                  100, nullptr, nullptr, nullptr, nullptr);
    ~TestWindow() { DestroyWindow(handle); }
  };

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

}  // namespace
}  // namespace keelo::testing
