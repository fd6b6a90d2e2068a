#include "runner/win32_window.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/shared_names.h"
#include "runner/system_theme.h"
#include "tests/runner/fake_engine.h"
#include "tests/support/registry_value_guard.h"

namespace keelo::testing {
namespace {

// Not the host's own title, so that a host started meanwhile never takes these windows for
// another instance's.
constexpr wchar_t kTitle[] = L"Keelo under test";

class TestWindow : public Win32Window {
 public:
  bool created_result = true;
  int created_calls = 0;
  int destroyed_calls = 0;
  int frame_recalculations = 0;

 protected:
  LRESULT HandleMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) override {
    if (message == WM_NCCALCSIZE) ++frame_recalculations;
    return Win32Window::HandleMessage(hwnd, message, wparam, lparam);
  }
  bool OnWindowCreated() override {
    ++created_calls;
    return created_result;
  }
  void OnWindowDestroyed() override { ++destroyed_calls; }
};

bool ClassRegistered() {
  WNDCLASSEXW info = {};
  info.cbSize = sizeof(info);
  return GetClassInfoExW(GetModuleHandleW(nullptr), kWindowClassName, &info) != FALSE;
}

bool QuitPosted() {
  MSG message;
  return PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE;
}

RECT WindowRect(HWND window) {
  RECT rect = {};
  GetWindowRect(window, &rect);
  return rect;
}

RECT ClientRectOf(HWND window) {
  RECT rect = {};
  GetClientRect(window, &rect);
  return rect;
}

bool SameRect(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

class Win32WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetFakeEngine();
    QuitPosted();
  }
};

TEST_F(Win32WindowTest, OpenCreatesAHiddenWindowOfTheHostClassAt96Dpi) {
  TestWindow window;
  ASSERT_TRUE(window.Open(kTitle, {10, 20}, {300, 200}));
  HWND handle = window.handle();
  ASSERT_NE(handle, nullptr);
  EXPECT_FALSE(IsWindowVisible(handle));
  EXPECT_EQ(FindWindowW(kWindowClassName, kTitle), handle);
  EXPECT_EQ(GetWindowLongPtrW(handle, GWL_STYLE) & WS_OVERLAPPEDWINDOW, WS_OVERLAPPEDWINDOW);
  RECT rect = WindowRect(handle);
  EXPECT_EQ(rect.left, 10);
  EXPECT_EQ(rect.top, 20);
  EXPECT_EQ(rect.right - rect.left, 300);
  EXPECT_EQ(rect.bottom - rect.top, 200);
  EXPECT_EQ(window.created_calls, 1);
}

TEST_F(Win32WindowTest, OpenScalesByTheMonitorDpiAndTruncates) {
  fake_engine().dpi = 144;
  TestWindow window;
  ASSERT_TRUE(window.Open(kTitle, {101, 33}, {801, 501}));
  RECT rect = WindowRect(window.handle());
  EXPECT_EQ(rect.left, 151);
  EXPECT_EQ(rect.top, 49);
  EXPECT_EQ(rect.right - rect.left, 1201);
  EXPECT_EQ(rect.bottom - rect.top, 751);
}

TEST_F(Win32WindowTest, OpenFailsWhenOnWindowCreatedFails) {
  TestWindow window;
  window.created_result = false;
  EXPECT_FALSE(window.Open(kTitle, {0, 0}, {100, 100}));
  // The window itself is left to the destructor.
  EXPECT_TRUE(IsWindow(window.handle()));
}

TEST_F(Win32WindowTest, ReopeningDestroysTheEarlierWindow) {
  TestWindow window;
  ASSERT_TRUE(window.Open(kTitle, {0, 0}, {100, 100}));
  HWND first = window.handle();
  ASSERT_TRUE(window.Open(kTitle, {0, 0}, {100, 100}));
  EXPECT_FALSE(IsWindow(first));
  EXPECT_TRUE(IsWindow(window.handle()));
}

TEST_F(Win32WindowTest, ClassStaysRegisteredUntilTheLastWindowObjectGoes) {
  auto first = std::make_unique<TestWindow>();
  auto second = std::make_unique<TestWindow>();
  ASSERT_TRUE(first->Open(kTitle, {0, 0}, {100, 100}));
  // The second object has no native window that would keep the class registered by itself.
  first.reset();
  EXPECT_TRUE(ClassRegistered());
  ASSERT_TRUE(second->Open(kTitle, {0, 0}, {100, 100}));
  second.reset();
  EXPECT_FALSE(ClassRegistered());

  TestWindow third;
  EXPECT_TRUE(third.Open(kTitle, {0, 0}, {100, 100}));
  EXPECT_TRUE(ClassRegistered());
}

TEST_F(Win32WindowTest, DestroyingTheWindowEndsTheLoopOnlyWhenAsked) {
  TestWindow window;
  ASSERT_TRUE(window.Open(kTitle, {0, 0}, {100, 100}));
  int destroyed_before = window.destroyed_calls;
  DestroyWindow(window.handle());
  EXPECT_EQ(window.handle(), nullptr);
  EXPECT_EQ(window.destroyed_calls, destroyed_before + 1);
  EXPECT_FALSE(QuitPosted());

  ASSERT_TRUE(window.Open(kTitle, {0, 0}, {100, 100}));
  window.set_quit_when_destroyed(true);
  DestroyWindow(window.handle());
  EXPECT_TRUE(QuitPosted());
}

TEST_F(Win32WindowTest, EmbeddedContentCoversTheClientAreaAndTakesKeyboardInput) {
  TestWindow window;
  ASSERT_TRUE(window.Open(kTitle, {0, 0}, {300, 200}));
  HWND content = CreateWindowExW(0, L"STATIC", L"content", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                 nullptr, nullptr);
  ASSERT_NE(content, nullptr);
  window.EmbedContent(content);
  EXPECT_EQ(GetAncestor(content, GA_PARENT), window.handle());
  EXPECT_TRUE(SameRect(ClientRectOf(content), window.ClientRect()));
  EXPECT_EQ(GetFocus(), content);

  SetWindowPos(window.handle(), nullptr, 0, 0, 500, 420, SWP_NOZORDER | SWP_NOACTIVATE);
  EXPECT_TRUE(SameRect(ClientRectOf(content), window.ClientRect()));
  EXPECT_EQ(window.ClientRect().right, ClientRectOf(content).right);

  SetFocus(nullptr);
  SendMessageW(window.handle(), WM_ACTIVATE, WA_ACTIVE, 0);
  EXPECT_EQ(GetFocus(), content);
}

TEST_F(Win32WindowTest, DpiChangeMovesTheWindowToTheSuggestedRectangle) {
  TestWindow window;
  ASSERT_TRUE(window.Open(kTitle, {0, 0}, {300, 200}));
  RECT suggested = {40, 50, 40 + 450, 50 + 300};
  SendMessageW(window.handle(), WM_DPICHANGED, MAKEWPARAM(144, 144),
               reinterpret_cast<LPARAM>(&suggested));
  EXPECT_TRUE(SameRect(WindowRect(window.handle()), suggested));
}

constexpr wchar_t kPersonalizeKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";

TEST(SystemThemeTest, ReadsTheUsersChoiceOfAppTheme) {
  RegistryValueGuard light_theme(kPersonalizeKey, L"AppsUseLightTheme");
  light_theme.Delete();
  EXPECT_EQ(UserPrefersDarkApps(), std::nullopt);
  ASSERT_EQ(light_theme.SetDword(0), ERROR_SUCCESS);
  EXPECT_EQ(UserPrefersDarkApps(), true);
  ASSERT_EQ(light_theme.SetDword(1), ERROR_SUCCESS);
  EXPECT_EQ(UserPrefersDarkApps(), false);
  // Any value but 0 is light.
  ASSERT_EQ(light_theme.SetDword(2), ERROR_SUCCESS);
  EXPECT_EQ(UserPrefersDarkApps(), false);
  // A value of another type is no choice.
  ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kPersonalizeKey, L"AppsUseLightTheme", REG_SZ, L"0",
                            sizeof(L"0")),
            ERROR_SUCCESS);
  EXPECT_EQ(UserPrefersDarkApps(), std::nullopt);
}

// Wine accepts the title bar's dark-mode attribute and forgets it, so the window's setter is
// replaced to see what it was given.
class ThemeTest : public Win32WindowTest {
 protected:
  struct Applied {
    HWND window;
    DWORD attribute;
    DWORD size;
    BOOL dark;
    bool operator==(const Applied&) const = default;
  };

  // |refused| is an attribute the setter answers as a system that does not know it.
  void Watch(TestWindow& window, DWORD refused = 0) {
    window.set_window_attribute_setter_for_testing(
        [this, refused](HWND target, DWORD attribute, LPCVOID value, DWORD size) {
          const BOOL dark = size == sizeof(BOOL) ? *static_cast<const BOOL*>(value) : -1;
          applied_.push_back({target, attribute, size, dark});
          return attribute == refused ? E_INVALIDARG : S_OK;
        });
  }

  RegistryValueGuard light_theme_{kPersonalizeKey, L"AppsUseLightTheme"};
  std::vector<Applied> applied_;
};

TEST_F(ThemeTest, TitleBarFollowsTheAppThemeWhenItOpensAndWhenItChanges) {
  ASSERT_EQ(light_theme_.SetDword(0), ERROR_SUCCESS);
  TestWindow window;
  Watch(window);
  ASSERT_TRUE(window.Open(kTitle, {0, 0}, {300, 200}));
  // DWMWA_USE_IMMERSIVE_DARK_MODE with a BOOL.
  EXPECT_EQ(applied_, (std::vector<Applied>{{window.handle(), 20, sizeof(BOOL), TRUE}}));

  ASSERT_EQ(light_theme_.SetDword(1), ERROR_SUCCESS);
  SendMessageW(window.handle(), WM_DWMCOLORIZATIONCOLORCHANGED, 0, 0);
  ASSERT_EQ(applied_.size(), 2u);
  EXPECT_EQ(applied_[1], (Applied{window.handle(), 20, sizeof(BOOL), FALSE}));
}

TEST_F(ThemeTest, ASwitchAnnouncedAsASettingChangeReachesTheTitleBarAndRedrawsItsFrame) {
  ASSERT_EQ(light_theme_.SetDword(1), ERROR_SUCCESS);
  TestWindow window;
  Watch(window);
  ASSERT_TRUE(window.Open(kTitle, {0, 0}, {300, 200}));
  applied_.clear();
  ASSERT_EQ(light_theme_.SetDword(0), ERROR_SUCCESS);
  const int frames_before = window.frame_recalculations;

  // Other areas of the settings, and a change that names none, leave the title bar alone.
  SendMessageW(window.handle(), WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(L"Policy"));
  SendMessageW(window.handle(), WM_SETTINGCHANGE, SPI_SETWORKAREA, 0);
  EXPECT_TRUE(applied_.empty());

  SendMessageW(window.handle(), WM_SETTINGCHANGE, 0,
               reinterpret_cast<LPARAM>(L"ImmersiveColorSet"));
  EXPECT_EQ(applied_, (std::vector<Applied>{{window.handle(), 20, sizeof(BOOL), TRUE}}));
  EXPECT_GT(window.frame_recalculations, frames_before);
}

TEST_F(ThemeTest, SystemsThatRefuseTheAttributeAreAskedUnderItsEarlierNumber) {
  ASSERT_EQ(light_theme_.SetDword(0), ERROR_SUCCESS);
  TestWindow window;
  Watch(window, /*refused=*/20);
  ASSERT_TRUE(window.Open(kTitle, {0, 0}, {300, 200}));
  EXPECT_EQ(applied_, (std::vector<Applied>{{window.handle(), 20, sizeof(BOOL), TRUE},
                                            {window.handle(), 19, sizeof(BOOL), TRUE}}));
}

TEST_F(ThemeTest, TitleBarIsLeftAloneWithoutAChoice) {
  light_theme_.Delete();
  TestWindow window;
  Watch(window);
  ASSERT_TRUE(window.Open(kTitle, {0, 0}, {300, 200}));
  SendMessageW(window.handle(), WM_DWMCOLORIZATIONCOLORCHANGED, 0, 0);
  SendMessageW(window.handle(), WM_SETTINGCHANGE, 0,
               reinterpret_cast<LPARAM>(L"ImmersiveColorSet"));
  EXPECT_TRUE(applied_.empty());
}

}  // namespace
}  // namespace keelo::testing
