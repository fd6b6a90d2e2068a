#include <gtest/gtest.h>
#include <windows.h>
// shellapi.h needs the types that windows.h declares.
#include <shellapi.h>

#include <memory>
#include <string>

#include "bridge/tray_icon.h"
#include "bridge/window_messages.h"
#include "messaging/method_call.h"
#include "messaging/standard_method_codec.h"
#include "tests/bridge/bridge_fixture.h"
#include "tests/runner/fake_engine.h"
#include "tests/support/tray_icon_probe.h"

namespace keelo::testing {
namespace {

using flutter::EncodableMap;
using flutter::EncodableValue;

// The calls of the shell that the bridge makes may let a message sent to its window in before
// they return: Shell_NotifyIconW, and ShellExecuteW, which may run a COM modal loop. These
// seams play such a call that lets the quit message in.
class ReentrantQuitTest : public WindowBridgeTest {
 public:
  // Sends the quit message as another program would, from inside the bridge's call, and notes
  // whether the window and the bridge's icon were still there when it came back.
  void SendQuitFromInside() {
    SendMessageW(window_, QuitMessage(), 0, 0);
    still_there_after_quit_ = IsWindow(window_) && TrayIconShown(window_);
  }

 protected:
  void SetUp() override { PumpMessages(); }
  void TearDown() override { ResetFakeEngine(); }

  bool still_there_after_quit_ = false;
};

TEST_F(ReentrantQuitTest, QuitDuringALaunchWaitsUntilTheCallHasReplied) {
  system_->launch_app = [&](const std::wstring&) {
    SendQuitFromInside();
    return true;
  };
  EXPECT_EQ(Call(kDesktopChannel, "launchApp", EncodableMap{{"path", "C:\\Tools\\editor.exe"}}),
            kTrue);
  EXPECT_TRUE(still_there_after_quit_);
  EXPECT_TRUE(IsWindow(window_));
  PumpMessages();
  EXPECT_FALSE(IsWindow(window_));
  EXPECT_FALSE(TrayIconShown(window_));
}

// A call that arrives while another is being handled (the engine's messages are dispatched in
// any loop the first one runs): the quit waits for the outer one, not only the inner.
TEST_F(ReentrantQuitTest, QuitInsideANestedCallWaitsForTheOutermostCall) {
  bool there_after_inner_call = false;
  system_->notify_icon = [this, real = system_->notify_icon](DWORD message,
                                                             const NOTIFYICONDATAW& data) {
    if ((data.uFlags & NIF_INFO) == 0) return real(message, data);
    SendQuitFromInside();
    return true;
  };
  system_->launch_app = [&](const std::wstring&) {
    const flutter::MethodCall notify(
        "notify", std::make_unique<EncodableValue>(EncodableMap{{"title", "inner"}}));
    const auto message = flutter::StandardMethodCodec::ForSerializer(nullptr).EncodeCall(notify);
    const uint64_t inner = engine_->SendToHost(kUiChannel, *message);
    engine_->RunPendingTasks();
    EXPECT_EQ(engine_->ResponsesTo(inner), kNull);
    PumpMessages();
    there_after_inner_call = IsWindow(window_) != FALSE;
    return true;
  };
  EXPECT_EQ(Call(kDesktopChannel, "launchApp", EncodableMap{{"path", "C:\\Tools\\editor.exe"}}),
            kTrue);
  EXPECT_TRUE(still_there_after_quit_);
  EXPECT_TRUE(there_after_inner_call);
  PumpMessages();
  EXPECT_FALSE(IsWindow(window_));
}

// Opening the tray menu takes the foreground first, which lets a sent message in before the
// menu's loop runs: the quit then waits for the tray's handling, and no menu opens.
TEST_F(ReentrantQuitTest, QuitWhileTheTrayMenuOpensWaitsAndNoMenuShows) {
  static ReentrantQuitTest* test = nullptr;
  static WNDPROC forward = nullptr;
  static bool menu_made = false;
  test = this;
  menu_made = false;
  HWND other = CreateWindowExW(0, L"STATIC", L"elsewhere", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                               200, 100, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(other, nullptr);
  SetForegroundWindow(other);
  ASSERT_EQ(GetForegroundWindow(), other);
  // The menu's window is made by this thread when the menu opens.
  HHOOK hook = SetWindowsHookExW(
      WH_CBT,
      +[](int code, WPARAM wparam, LPARAM lparam) -> LRESULT {
        wchar_t name[16] = {};
        if (code == HCBT_CREATEWND && GetClassNameW(reinterpret_cast<HWND>(wparam), name, 16) &&
            std::wstring(name) == L"#32768") {
          menu_made = true;
        }
        return CallNextHookEx(nullptr, code, wparam, lparam);
      },
      nullptr, GetCurrentThreadId());
  ASSERT_NE(hook, nullptr);
  const auto original = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(window_, GWLP_WNDPROC));
  forward = original;
  SetWindowLongPtrW(window_, GWLP_WNDPROC,
                    reinterpret_cast<LONG_PTR>(
                        +[](HWND window, UINT message, WPARAM wparam, LPARAM lparam) -> LRESULT {
                          if (message == WM_ACTIVATE && LOWORD(wparam) != WA_INACTIVE) {
                            test->SendQuitFromInside();
                          }
                          return CallWindowProcW(forward, window, message, wparam, lparam);
                        }));
  // Closes a menu that opens nonetheless as soon as its loop looks at the queue.
  PostMessageW(window_, WM_CANCELMODE, 0, 0);
  SendMessageW(window_, kTrayCallbackMessage, kTrayIconId, WM_RBUTTONUP);
  UnhookWindowsHookEx(hook);
  if (IsWindow(window_)) {
    SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
  }
  EXPECT_TRUE(still_there_after_quit_);
  EXPECT_FALSE(menu_made);
  EXPECT_TRUE(IsWindow(window_));
  PumpMessages();
  EXPECT_FALSE(IsWindow(window_));
  DestroyWindow(other);
}

TEST_F(ReentrantQuitTest, QuitOutsideAnyCallIsCarriedOutAtOnce) {
  SendMessageW(window_, QuitMessage(), 0, 0);
  EXPECT_FALSE(IsWindow(window_));
  EXPECT_FALSE(TrayIconShown(window_));
}

}  // namespace
}  // namespace keelo::testing
