#include <gtest/gtest.h>
#include <windows.h>
// shellapi.h needs the types that windows.h declares.
#include <shellapi.h>

#include <optional>
#include <string>

#include "messaging/encodable_value.h"
#include "tests/e2e/host_fixture.h"
#include "tests/support/host_names.h"
#include "tests/support/registry_value_guard.h"
#include "tests/support/tray_icon_probe.h"

namespace keelo::testing {
namespace {

using flutter::EncodableMap;
using flutter::EncodableValue;

constexpr UINT kTrayCallback = WM_APP + 7;

UINT QuitMessage() { return RegisterWindowMessageW(kQuitMessageName); }

// The tray menu the host opened, once it is up; null after five seconds.
HWND WaitForMenu() {
  HWND menu = nullptr;
  WaitUntil(
      [&] {
        menu = FindWindowW(L"#32768", nullptr);
        return menu != nullptr && IsWindowVisible(menu);
      },
      5000);
  return menu;
}

TEST_F(HostTest, CloseHidesTheHostInTheTrayAndTheQuitMessageEndsIt) {
  StartHost(L"");
  ASSERT_TRUE(WaitUntil([this] { return IsWindowVisible(window_) != FALSE; }, kStartTimeoutMs));
  // Added right after the first frame is shown.
  EXPECT_TRUE(WaitUntil([this] { return TrayIconShown(window_); }, kStartTimeoutMs));

  DWORD_PTR result = 0;
  SendMessageTimeoutW(window_, WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG, kStartTimeoutMs, &result);
  EXPECT_TRUE(IsWindow(window_));
  EXPECT_FALSE(IsWindowVisible(window_));
  EXPECT_FALSE(host_->WaitForExit(200).has_value());
  EXPECT_TRUE(TrayIconShown(window_));

  PostMessageW(window_, QuitMessage(), 0, 0);
  EXPECT_EQ(host_->WaitForExit(kStartTimeoutMs), std::optional<DWORD>(0)) << host_->Output();
  EXPECT_FALSE(TrayIconShown(window_));
  auto goodbye = client_->WaitForGoodbye();
  EXPECT_TRUE(goodbye.ok()) << goodbye.error;
}

TEST_F(HostTest, TrayMenusQuitEndsTheHostWithZero) {
  StartHost(L"--minimized");
  WaitForFirstFrame();
  PostMessageW(window_, kTrayCallback, 1, WM_RBUTTONUP);
  HWND menu = WaitForMenu();
  ASSERT_NE(menu, nullptr);
  // With nothing highlighted, Up goes to the last item: "Quit Keelo".
  PostMessageW(menu, WM_KEYDOWN, VK_UP, 0);
  PostMessageW(menu, WM_KEYDOWN, VK_RETURN, 0);
  EXPECT_EQ(host_->WaitForExit(kStartTimeoutMs), std::optional<DWORD>(0)) << host_->Output();
  EXPECT_FALSE(TrayIconShown(window_));
}

// A quit from outside while the menu's loop runs: the menu closes, and the quit follows from
// the host's own loop, with nothing run on what it destroyed.
TEST_F(HostTest, QuitMessageDuringTheTrayMenuStillEndsWithZero) {
  StartHost(L"--minimized");
  WaitForFirstFrame();
  PostMessageW(window_, kTrayCallback, 1, WM_RBUTTONUP);
  ASSERT_NE(WaitForMenu(), nullptr);
  PostMessageW(window_, QuitMessage(), 0, 0);
  EXPECT_EQ(host_->WaitForExit(kStartTimeoutMs), std::optional<DWORD>(0)) << host_->Output();
  EXPECT_EQ(host_->Output(), "");
}

// The same during a drag, whose move loop runs inside the engine's delivery of "startDrag".
TEST_F(HostTest, QuitMessageDuringADragStillEndsWithZero) {
  StartHost(L"");
  WaitForFirstFrame();
  auto reply = client_->InvokeMethod(kUiChannel, "startDrag");
  ASSERT_TRUE(reply.ok()) << reply.error;
  EXPECT_EQ(reply.value.kind, devkit::MethodReply::Kind::kSuccess);
  PostMessageW(window_, QuitMessage(), 0, 0);
  EXPECT_EQ(host_->WaitForExit(kStartTimeoutMs), std::optional<DWORD>(0)) << host_->Output();
  EXPECT_EQ(host_->Output(), "");
}

TEST_F(HostTest, MiniModeAt144DpiIsScaledAndSitsInTheCorner) {
  const RegistryValueGuard log_pixels(L"Control Panel\\Desktop", L"LogPixels");
  ASSERT_EQ(log_pixels.SetDword(144), ERROR_SUCCESS);
  StartHost(L"");
  log_pixels.Restore();
  // Physical pixels on this side too.
  auto set_awareness = reinterpret_cast<DPI_AWARENESS_CONTEXT(WINAPI*)(DPI_AWARENESS_CONTEXT)>(
      reinterpret_cast<void*>(
          GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetThreadDpiAwarenessContext")));
  if (set_awareness != nullptr) set_awareness(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);

  auto reply = client_->InvokeMethod(kUiChannel, "setMiniMode",
                                     EncodableValue(EncodableMap{{"enabled", true}}));
  ASSERT_TRUE(reply.ok()) << reply.error;
  EXPECT_EQ(reply.value.value, EncodableValue(true));
  RECT work = {};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  RECT rect = {};
  GetWindowRect(window_, &rect);
  EXPECT_EQ(rect.right - rect.left, 570);
  EXPECT_EQ(rect.bottom - rect.top, 132);
  EXPECT_EQ(rect.right, work.right - 24);
  EXPECT_EQ(rect.bottom, work.bottom - 24);
  EXPECT_EQ(GetWindowLongPtrW(window_, GWL_EXSTYLE) & WS_EX_TOPMOST, WS_EX_TOPMOST);
  EXPECT_EQ(GetWindowLongPtrW(window_, GWL_STYLE) & WS_CAPTION, 0);
}

}  // namespace
}  // namespace keelo::testing
