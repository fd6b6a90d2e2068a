#include "runner/win32_window.h"

#include <dwmapi.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "tests/runner/fake_engine.h"

namespace keelo::testing {
namespace {

constexpr wchar_t kClassName[] = L"FLUTTER_RUNNER_WIN32_WINDOW";
// Not the host's own title, so that a host started meanwhile never takes these windows for
// another instance's.
constexpr wchar_t kTitle[] = L"Keelo under test";

class TestWindow : public Win32Window {
 public:
  bool created_result = true;
  int created_calls = 0;
  int destroyed_calls = 0;

 protected:
  bool OnWindowCreated() override {
    ++created_calls;
    return created_result;
  }
  void OnWindowDestroyed() override { ++destroyed_calls; }
};

bool ClassRegistered() {
  WNDCLASSEXW info = {};
  info.cbSize = sizeof(info);
  return GetClassInfoExW(GetModuleHandleW(nullptr), kClassName, &info) != FALSE;
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
  EXPECT_EQ(FindWindowW(kClassName, kTitle), handle);
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

class ThemeTest : public Win32WindowTest {
 protected:
  static constexpr wchar_t kPersonalize[] =
      L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";

  void SetLightTheme(DWORD value) {
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kPersonalize, L"AppsUseLightTheme", REG_DWORD,
                              &value, sizeof(value)),
              ERROR_SUCCESS);
  }

  void TearDown() override {
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kPersonalize, L"AppsUseLightTheme");
  }
};

TEST_F(ThemeTest, TitleBarFollowsTheAppTheme) {
  SetLightTheme(0);
  TestWindow window;
  ASSERT_TRUE(window.Open(kTitle, {0, 0}, {300, 200}));
  BOOL dark = FALSE;
  if (FAILED(DwmGetWindowAttribute(window.handle(), 20, &dark, sizeof(dark))) || !dark) {
    GTEST_SKIP() << "Wine accepts DWMWA_USE_IMMERSIVE_DARK_MODE with S_OK but does not keep it";
  }
  SetLightTheme(1);
  SendMessageW(window.handle(), WM_DWMCOLORIZATIONCOLORCHANGED, 0, 0);
  ASSERT_TRUE(SUCCEEDED(DwmGetWindowAttribute(window.handle(), 20, &dark, sizeof(dark))));
  EXPECT_FALSE(dark);
}

}  // namespace
}  // namespace keelo::testing
