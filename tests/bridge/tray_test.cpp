#include <gtest/gtest.h>
#include <windows.h>
// shellapi.h needs the types that windows.h declares.
#include <shellapi.h>

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "bridge/tray_icon.h"
#include "bridge/tray_menu.h"
#include "bridge/window_messages.h"
#include "tests/bridge/bridge_fixture.h"
#include "tests/bridge/tray_menu_driver.h"
#include "tests/runner/fake_engine.h"
#include "tests/support/tray_icon_probe.h"

// Failure messages show items as the menu would.
void PrintTo(const TrayMenuItem& item, std::ostream* out) {
  *out << "{" << item.id << ", \"" << std::string(item.text.begin(), item.text.end()) << "\", "
       << item.flags << "}";
}

namespace keelo::testing {
namespace {

using flutter::EncodableMap;
using flutter::EncodableValue;
using EventList = std::vector<std::pair<std::string, EncodableValue>>;

const TrayMenuItem kSeparator = {0, L"", MF_SEPARATOR};
const TrayMenuItem kOpen = {kTrayOpen, L"Open Keelo", MF_STRING};
const TrayMenuItem kMini = {kTrayMiniTimer, L"Show mini timer", MF_STRING};
const TrayMenuItem kPark = {kTrayPark, L"Park a thought\u2026", MF_STRING};
const TrayMenuItem kQuit = {kTrayQuit, L"Quit Keelo", MF_STRING};
const TrayMenuItem kQuitLater = {kTrayQuit, L"Quit Keelo (after your session)",
                                 MF_STRING | MF_GRAYED};

TEST(TrayMenuItemsTest, FollowTheStatusSessionMiniModeAndQuitPermission) {
  EXPECT_EQ(TrayMenuItems(L"", false, false, true),
            (std::vector<TrayMenuItem>{kOpen, kPark, kSeparator, kQuit}));
  EXPECT_EQ(TrayMenuItems(L"Focus 12:40", true, false, false),
            (std::vector<TrayMenuItem>{{kTrayStatus, L"Focus 12:40", MF_STRING | MF_GRAYED},
                                       kSeparator,
                                       kOpen,
                                       kMini,
                                       kPark,
                                       kSeparator,
                                       kQuitLater}));
  for (int state = 0; state < 16; ++state) {
    const bool status = state & 1, session = state & 2, mini = state & 4, quit = state & 8;
    const std::vector<TrayMenuItem> items = TrayMenuItems(status ? L"S" : L"", session, mini, quit);
    std::vector<TrayMenuItem> expected;
    if (status) expected = {{kTrayStatus, L"S", MF_STRING | MF_GRAYED}, kSeparator};
    expected.push_back(kOpen);
    if (session && !mini) expected.push_back(kMini);
    expected.insert(expected.end(), {kPark, kSeparator, quit ? kQuit : kQuitLater});
    EXPECT_EQ(items, expected) << "state " << state;
  }
}

class TrayTest : public WindowBridgeTest {
 public:
  void WithdrawQuit() { Call(kDesktopChannel, "setQuitAllowed", EncodableMap{{"allowed", false}}); }

 protected:
  void SetUp() override { PumpMessages(); }

  // A right click on the icon, as the shell reports it; returns once the menu has closed.
  void OpenMenu(std::function<void(MenuDriver&)> act) {
    MenuDriver driver(window_, std::move(act));
    SendMessageW(window_, kTrayCallbackMessage, kTrayIconId, WM_RBUTTONUP);
    shown_items_ = driver.items();
    ASSERT_TRUE(driver.shown()) << "no menu appeared";
  }

  std::vector<TrayMenuItem> shown_items_;
};

TEST_F(TrayTest, MenuShowsItsItemsAndEachCommandDoesItsOwnThing) {
  Call(kUiChannel, "setTrayStatus", EncodableMap{{"status", "Focus 12:40"}, {"session", true}});
  OpenMenu([](MenuDriver& menu) { menu.Choose(kTrayMiniTimer); });
  EXPECT_EQ(shown_items_, TrayMenuItems(L"Focus 12:40", true, false, true));
  EXPECT_EQ(Events(kUiChannel),
            (EventList{{"onTrayCommand", EncodableValue(EncodableMap{{"command", "mini"}})}}));
  EXPECT_FALSE(ShowsMiniTimer());

  ShowWindow(window_, SW_MINIMIZE);
  OpenMenu([](MenuDriver& menu) { menu.Choose(kTrayPark); });
  EXPECT_FALSE(IsIconic(window_));
  EXPECT_EQ(GetForegroundWindow(), window_);
  EXPECT_EQ(Events(kUiChannel).back(),
            (std::pair<std::string, EncodableValue>{
                "onTrayCommand", EncodableValue(EncodableMap{{"command", "park"}})}));

  // Dismissed: nothing.
  const size_t events = Events(kUiChannel).size();
  OpenMenu([](MenuDriver& menu) { menu.Press(VK_ESCAPE); });
  EXPECT_EQ(Events(kUiChannel).size(), events);
  EXPECT_TRUE(IsWindow(window_));
}

TEST_F(TrayTest, OpenAndParkLeaveMiniModeWithOneEventBeforeTheirOwn) {
  Call(kUiChannel, "setTrayStatus", EncodableMap{{"session", true}});
  Call(kUiChannel, "setMiniMode", EncodableMap{{"enabled", true}});
  OpenMenu([](MenuDriver& menu) { menu.Choose(kTrayOpen); });
  // No mini timer to offer while the timer is what the user sees.
  EXPECT_EQ(shown_items_, TrayMenuItems(L"", true, true, true));
  EXPECT_FALSE(ShowsMiniTimer());
  const auto left = std::pair<std::string, EncodableValue>{
      "onMiniMode", EncodableValue(EncodableMap{{"enabled", false}})};
  EXPECT_EQ(Events(kUiChannel), (EventList{left}));

  Call(kUiChannel, "setMiniMode", EncodableMap{{"enabled", true}});
  OpenMenu([](MenuDriver& menu) { menu.Choose(kTrayPark); });
  EXPECT_EQ(Events(kUiChannel),
            (EventList{
                left, left, {"onTrayCommand", EncodableValue(EncodableMap{{"command", "park"}})}}));
}

TEST_F(TrayTest, QuitIsIgnoredUnlessAllowedWhenTheMenuReturns) {
  Call(kDesktopChannel, "setQuitAllowed", EncodableMap{{"allowed", false}});
  OpenMenu([](MenuDriver& menu) {
    menu.Choose(kTrayQuit);
    if (menu.MenuOpen()) menu.Press(VK_ESCAPE);
  });
  EXPECT_EQ(shown_items_.back(), kQuitLater);
  EXPECT_TRUE(IsWindow(window_));

  // Allowed when the menu opened, withdrawn while it was open.
  Call(kDesktopChannel, "setQuitAllowed", EncodableMap{{"allowed", true}});
  static constexpr UINT kWithdraw = WM_APP + 50;
  const auto original = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(window_, GWLP_WNDPROC));
  static WNDPROC forward = nullptr;
  static TrayTest* test = nullptr;
  forward = original;
  test = this;
  SetWindowLongPtrW(window_, GWLP_WNDPROC,
                    reinterpret_cast<LONG_PTR>(
                        +[](HWND window, UINT message, WPARAM wparam, LPARAM lparam) -> LRESULT {
                          if (message == kWithdraw) {
                            test->WithdrawQuit();
                            return 0;
                          }
                          return CallWindowProcW(forward, window, message, wparam, lparam);
                        }));
  OpenMenu([](MenuDriver& menu) {
    menu.Post(kWithdraw);
    Sleep(100);
    menu.Choose(kTrayQuit);
  });
  SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
  EXPECT_EQ(shown_items_.back(), kQuit);
  // A quit chosen would be on its way through the window's messages.
  PumpMessages();
  EXPECT_TRUE(IsWindow(window_));
  EXPECT_TRUE(TrayIconShown(window_));
}

// Chosen inside the handling of the tray's callback, the quit is carried out once that returned.
TEST_F(TrayTest, QuitChosenRemovesTheIconAndDestroysTheWindow) {
  HWND window = window_;
  OpenMenu([](MenuDriver& menu) { menu.Choose(kTrayQuit); });
  EXPECT_TRUE(IsWindow(window));
  PumpMessages();
  EXPECT_FALSE(IsWindow(window));
  EXPECT_FALSE(TrayIconShown(window));
}

// A quit that arrives while the menu is open must not destroy the window under the menu's loop:
// the menu is closed, and the quit is carried out from the message loop afterwards.
TEST_F(TrayTest, QuitMessageDuringTheMenuWaitsUntilTheMenuHasReturned) {
  OpenMenu([](MenuDriver& menu) { menu.Post(QuitMessage()); });
  EXPECT_TRUE(IsWindow(window_));
  EXPECT_TRUE(TrayIconShown(window_));
  PumpMessages();
  EXPECT_FALSE(IsWindow(window_));
  EXPECT_FALSE(TrayIconShown(window_));
}

TEST_F(TrayTest, ClicksOnTheIconOrBalloonBringTheWindowUp) {
  for (const UINT click :
       std::array<UINT, 3>{WM_LBUTTONUP, WM_LBUTTONDBLCLK, NIN_BALLOONUSERCLICK}) {
    ShowWindow(window_, SW_HIDE);
    EXPECT_EQ(bridge_->HandleWindowMessage(window_, kTrayCallbackMessage, kTrayIconId, click),
              std::optional<LRESULT>(0));
    EXPECT_TRUE(IsWindowVisible(window_)) << click;
    EXPECT_EQ(GetForegroundWindow(), window_) << click;
  }
  ShowWindow(window_, SW_HIDE);
  EXPECT_EQ(bridge_->HandleWindowMessage(window_, kTrayCallbackMessage, kTrayIconId, WM_MOUSEMOVE),
            std::nullopt);
  EXPECT_FALSE(IsWindowVisible(window_));
}

TEST_F(TrayTest, CloseHidesTheWindowAndTheIconStays) {
  SendMessageW(window_, WM_CLOSE, 0, 0);
  EXPECT_TRUE(IsWindow(window_));
  EXPECT_FALSE(IsWindowVisible(window_));
  EXPECT_TRUE(TrayIconShown(window_));
}

TEST_F(TrayTest, IconLivesWithTheBridgeAndComesBackAfterTheShellRestarts) {
  EXPECT_TRUE(TrayIconShown(window_));

  // The shell lost its icons and says so.
  NOTIFYICONDATAW data = {};
  data.cbSize = sizeof(data);
  data.hWnd = window_;
  data.uID = kTrayIconId;
  ASSERT_TRUE(Shell_NotifyIconW(NIM_DELETE, &data));
  ASSERT_FALSE(TrayIconShown(window_));
  Call(kDesktopChannel, "setTrayTooltip", EncodableMap{{"text", "Focus: 12:40 left"}});
  EXPECT_EQ(bridge_->HandleWindowMessage(window_, TaskbarCreatedMessage(), 0, 0), std::nullopt);
  EXPECT_TRUE(TrayIconShown(window_));

  bridge_.reset();
  EXPECT_FALSE(TrayIconShown(window_));
}

// Started before the shell's taskbar is ready, the host has no icon yet when the first balloon
// is asked for.
TEST_F(TrayTest, BalloonTextsAreCutToTheirFieldsAndTheIconIsAddedFirst) {
  bridge_.reset();
  const auto real = system_->notify_icon;
  system_->notify_icon = [](DWORD, const NOTIFYICONDATAW&) { return false; };
  MakeBridge(window_);
  ASSERT_FALSE(TrayIconShown(window_));
  // Kept by the seam, which the bridge may still call when the test has returned.
  const auto balloons = std::make_shared<std::vector<NOTIFYICONDATAW>>();
  const auto icon_there_for_balloon = std::make_shared<bool>(false);
  system_->notify_icon = [=](DWORD message, const NOTIFYICONDATAW& data) {
    if ((data.uFlags & NIF_INFO) == 0) return real(message, data);
    balloons->push_back(data);
    *icon_there_for_balloon = TrayIconShown(data.hWnd);
    return true;
  };

  const std::string title(100, 't');
  const std::string body(300, 'b');
  EXPECT_EQ(CallForValue(kUiChannel, "notify", EncodableMap{{"title", title}, {"body", body}}),
            EncodableValue());
  ASSERT_EQ(balloons->size(), 1u);
  EXPECT_TRUE(*icon_there_for_balloon);
  const NOTIFYICONDATAW& balloon = (*balloons)[0];
  EXPECT_EQ(balloon.cbSize, sizeof(NOTIFYICONDATAW));
  EXPECT_EQ(balloon.hWnd, window_);
  EXPECT_EQ(balloon.uID, kTrayIconId);
  EXPECT_EQ(balloon.uFlags, static_cast<UINT>(NIF_INFO));
  EXPECT_EQ(std::wstring(balloon.szInfoTitle), std::wstring(63, L't'));
  EXPECT_EQ(std::wstring(balloon.szInfo), std::wstring(255, L'b'));
  EXPECT_EQ(balloon.dwInfoFlags, 0xA4u);
  EXPECT_NE(balloon.hBalloonIcon, nullptr);

  CallForValue(kUiChannel, "notify", EncodableMap{{"title", 5}});
  ASSERT_EQ(balloons->size(), 2u);
  EXPECT_EQ(std::wstring((*balloons)[1].szInfoTitle), L"");
  EXPECT_EQ(std::wstring((*balloons)[1].szInfo), L"");
}

// Started at sign-in, the host may meet a shell that times its add out yet makes the icon, and
// refuses every later add as a duplicate. Adding the same icon first makes Wine's shell do so.
TEST_F(TrayTest, AnIconTheShellAlreadyShowsCountsAsAddedAndGoesWithTheBridge) {
  bridge_.reset();
  NOTIFYICONDATAW made_anyway = {};
  made_anyway.cbSize = sizeof(made_anyway);
  made_anyway.hWnd = window_;
  made_anyway.uID = kTrayIconId;
  ASSERT_TRUE(Shell_NotifyIconW(NIM_ADD, &made_anyway));
  const auto shell_calls = std::make_shared<std::vector<DWORD>>();
  const auto real = system_->notify_icon;
  system_->notify_icon = [=](DWORD message, const NOTIFYICONDATAW& data) {
    shell_calls->push_back(message);
    return real(message, data);
  };

  MakeBridge(window_);
  Call(kDesktopChannel, "setTrayTooltip", EncodableMap{{"text", "Focus: 12:40 left"}});
  // The add refused as a duplicate, the modify taken: from then on the icon is modified.
  EXPECT_EQ(*shell_calls, (std::vector<DWORD>{NIM_ADD, NIM_MODIFY, NIM_MODIFY}));
  bridge_.reset();
  EXPECT_FALSE(TrayIconShown(window_)) << "a ghost icon stayed behind";
}

TEST_F(TrayTest, EveryMenuIsFollowedByAMessageOfItsWindow) {
  for (const bool choose : {false, true}) {
    OpenMenu([choose](MenuDriver& menu) {
      if (choose) {
        menu.Choose(kTrayOpen);
      } else {
        menu.Press(VK_ESCAPE);
      }
    });
    bool null_message = false;
    MSG message;
    while (PeekMessageW(&message, window_, 0, 0, PM_REMOVE)) {
      null_message = null_message || message.message == WM_NULL;
      DispatchMessageW(&message);
    }
    EXPECT_TRUE(null_message) << (choose ? "chosen" : "dismissed");
  }
}

TEST_F(TrayTest, WindowIconsAreDrawnAtTheirOwnSizesAndTakenBackWithTheBridge) {
  const auto edge = [this](WPARAM which) {
    const HICON icon = reinterpret_cast<HICON>(SendMessageW(window_, WM_GETICON, which, 0));
    ICONINFO info = {};
    if (icon == nullptr || !GetIconInfo(icon, &info)) return 0L;
    BITMAP bitmap = {};
    GetObjectW(info.hbmColor != nullptr ? info.hbmColor : info.hbmMask, sizeof(bitmap), &bitmap);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return bitmap.bmWidth;
  };
  const UINT dpi = GetDpiForWindow(window_);
  EXPECT_EQ(edge(ICON_SMALL), GetSystemMetricsForDpi(SM_CXSMICON, dpi));
  EXPECT_EQ(edge(ICON_BIG), GetSystemMetricsForDpi(SM_CXICON, dpi));
  // Drawn again for a new DPI, and the message goes on to the window.
  EXPECT_EQ(bridge_->HandleWindowMessage(window_, WM_DPICHANGED, 0, 0), std::nullopt);
  EXPECT_EQ(edge(ICON_BIG), GetSystemMetricsForDpi(SM_CXICON, dpi));

  bridge_.reset();
  EXPECT_EQ(SendMessageW(window_, WM_GETICON, ICON_SMALL, 0), 0);
  EXPECT_EQ(SendMessageW(window_, WM_GETICON, ICON_BIG, 0), 0);
}

// The width of |icon|'s image; 0 when it is no icon.
LONG IconWidth(HICON icon) {
  ICONINFO info = {};
  if (icon == nullptr || !GetIconInfo(icon, &info)) return 0;
  BITMAP bitmap = {};
  GetObjectW(info.hbmColor != nullptr ? info.hbmColor : info.hbmMask, sizeof(bitmap), &bitmap);
  DeleteObject(info.hbmColor);
  DeleteObject(info.hbmMask);
  return bitmap.bmWidth;
}

// After a change of scaling the icons are drawn for the new size, not stretched from the old.
TEST_F(TrayTest, IconsAreDrawnAgainAtTheSizesOfANewDpiOrNewIconMetrics) {
  // The size of every icon the tray gives the shell; kept by the seam, which the bridge may still
  // call when the test has returned.
  const auto tray_sizes = std::make_shared<std::vector<LONG>>();
  const auto real = system_->notify_icon;
  system_->notify_icon = [=](DWORD message, const NOTIFYICONDATAW& data) {
    if ((data.uFlags & NIF_ICON) != 0) tray_sizes->push_back(IconWidth(data.hIcon));
    return real(message, data);
  };
  const auto window_icon = [this](WPARAM which) {
    return reinterpret_cast<HICON>(SendMessageW(window_, WM_GETICON, which, 0));
  };
  struct Change {
    const char* what;
    UINT dpi;
    UINT message;
    WPARAM wparam;
    const wchar_t* area;
    bool redrawn;
  };
  for (const Change& change : {
           Change{"DPI 144", 144, WM_DPICHANGED, MAKEWPARAM(144, 144), nullptr, true},
           Change{"DPI 120", 120, WM_DPICHANGED, MAKEWPARAM(120, 120), nullptr, true},
           Change{"icon metrics", 144, WM_SETTINGCHANGE, SPI_SETICONMETRICS, nullptr, true},
           Change{"text scaling", 96, WM_SETTINGCHANGE, SPI_SETNONCLIENTMETRICS, L"WindowMetrics",
                  true},
           Change{"the work area", 120, WM_SETTINGCHANGE, SPI_SETWORKAREA, nullptr, false},
           Change{"the theme", 144, WM_SETTINGCHANGE, 0, L"ImmersiveColorSet", false},
       }) {
    const HICON small_before = window_icon(ICON_SMALL);
    const LONG small_width_before = IconWidth(small_before);
    tray_sizes->clear();
    fake_engine().dpi = change.dpi;
    EXPECT_EQ(bridge_->HandleWindowMessage(window_, change.message, change.wparam,
                                           reinterpret_cast<LPARAM>(change.area)),
              std::nullopt)
        << change.what;
    if (!change.redrawn) {
      EXPECT_EQ(window_icon(ICON_SMALL), small_before) << change.what;
      EXPECT_TRUE(tray_sizes->empty()) << change.what;
      continue;
    }
    EXPECT_EQ(IconWidth(window_icon(ICON_SMALL)), GetSystemMetricsForDpi(SM_CXSMICON, change.dpi))
        << change.what;
    EXPECT_EQ(IconWidth(window_icon(ICON_BIG)), GetSystemMetricsForDpi(SM_CXICON, change.dpi))
        << change.what;
    EXPECT_EQ(*tray_sizes, std::vector<LONG>{GetSystemMetricsForDpi(SM_CXSMICON, change.dpi)})
        << change.what;
    // The icon the window had is destroyed once the window holds the new one.
    EXPECT_NE(small_width_before, 0) << change.what;
    EXPECT_EQ(IconWidth(small_before), 0) << change.what << ": the old icon was kept";
  }
  ResetFakeEngine();
}

// An elevated host hears the installer's quit and the restarted shell only when it lets those
// two messages in from lower integrity levels.
TEST_F(TrayTest, TheQuitAndTheShellsRestartAreLetInFromLowerIntegrityLevels) {
  std::vector<std::pair<HWND, UINT>> allowed;
  system_->allow_message_from_lower_integrity = [&](HWND window, UINT message) {
    allowed.emplace_back(window, message);
    return true;
  };
  MakeBridge(window_);
  EXPECT_EQ(allowed, (std::vector<std::pair<HWND, UINT>>{{window_, QuitMessage()},
                                                         {window_, TaskbarCreatedMessage()}}));
}

// The host runs all day: what the tray and the mini timer make, they must also release.
TEST_F(TrayTest, MenusTooltipsAndMiniModeLeakNoGdiOrUserObjects) {
  const auto objects = [] {
    return std::pair<DWORD, DWORD>{GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS),
                                   GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS)};
  };
  const auto run = [this](int rounds) {
    for (int i = 0; i < rounds; ++i) {
      // Cancelled as soon as its loop looks at the queue.
      PostMessageW(window_, WM_CANCELMODE, 0, 0);
      SendMessageW(window_, kTrayCallbackMessage, kTrayIconId, WM_RBUTTONUP);
      Call(kDesktopChannel, "setTrayTooltip", EncodableMap{{"text", std::to_string(i)}});
      Call(kUiChannel, "setMiniMode", EncodableMap{{"enabled", true}});
      Call(kUiChannel, "setMiniMode", EncodableMap{{"enabled", false}});
      Call(kUiChannel, "notify", EncodableMap{{"title", "t"}});
      bridge_->HandleWindowMessage(window_, WM_DPICHANGED, 0, 0);
    }
  };
  // The first rounds may create what the system keeps for the process once.
  run(20);
  const std::pair<DWORD, DWORD> before = objects();
  if (before.first == 0 && before.second == 0) {
    GTEST_SKIP() << "GetGuiResources gives 0 for every count under Wine";
  }
  run(500);
  const std::pair<DWORD, DWORD> after = objects();
  EXPECT_EQ(after.first, before.first) << "GDI objects";
  EXPECT_EQ(after.second, before.second) << "USER objects";
}

// Each change of scaling draws the window's two icons and the tray's again; those they replace,
// and the tray's once the shell has its copy, must go.
TEST_F(TrayTest, TwoHundredChangesOfScalingLeakNoIcons) {
  const auto change = [this](int i) {
    fake_engine().dpi = i % 2 == 0 ? 144 : 120;
    if (i % 3 == 0) {
      bridge_->HandleWindowMessage(window_, WM_SETTINGCHANGE, SPI_SETICONMETRICS, 0);
    } else {
      bridge_->HandleWindowMessage(window_, WM_DPICHANGED, 0, 0);
    }
  };
  change(0);
  const DWORD before = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  const DWORD user_before = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
  for (int i = 1; i <= 200; ++i) change(i);
  const DWORD after = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  const DWORD user_after = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
  ResetFakeEngine();
  if (before == 0 && user_before == 0) {
    GTEST_SKIP() << "GetGuiResources gives 0 for every count under Wine (it gave " << after
                 << " GDI and " << user_after << " USER objects after the changes); the icons "
                 << "each change replaces are checked destroyed by "
                 << "IconsAreDrawnAgainAtTheSizesOfANewDpiOrNewIconMetrics";
  }
  EXPECT_EQ(after, before) << "GDI objects";
  EXPECT_EQ(user_after, user_before) << "USER objects";
}

}  // namespace
}  // namespace keelo::testing
