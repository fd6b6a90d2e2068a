#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <optional>
#include <string>

#include "common/text_conversion.h"
#include "tests/e2e/host_control.h"
#include "tests/e2e/host_fixture.h"
#include "tests/e2e/host_process.h"
#include "tests/support/child_process.h"
#include "tests/support/fixtures.h"
#include "tests/support/host_bundle.h"
#include "tests/support/host_names.h"

namespace keelo::testing {
namespace {

// Long enough for Notepad to start and be blocked under a loaded Wine, short enough to wait for.
constexpr int kSessionSeconds = 12;
constexpr DWORD kSessionEndTimeoutMs = (kSessionSeconds + 20) * 1000;

std::wstring DemoHost() { return HostIn(WindowsPathOf(KEELO_DEMO_BUNDLE_DIR)); }

// Chooses the tray menu's last item, "Quit Keelo", as the user would. A greyed item is still
// highlighted and chosen, and does nothing; the menu is closed then, and only then, so that no
// key is left over for the next menu.
bool ChooseQuitFromTheTray(HWND host) {
  HWND menu = OpenTrayMenu(host);
  if (menu == nullptr) return false;
  ChooseTrayMenuItemFromEnd(menu, 1);
  if (WaitUntil([menu] { return !IsWindowVisible(menu); }, 1000)) return true;
  CloseTrayMenu(menu);
  return WaitUntil([menu] { return !IsWindowVisible(menu); }, kStartTimeoutMs);
}

TEST(DemoTest, FocusSessionBlocksNotepadAndForbidsQuittingUntilItEnds) {
  const std::wstring arguments = L"--demo-channel=" + Utf8ToWide(kDesktopChannel) +
                                 L" --session-seconds=" + std::to_wstring(kSessionSeconds) +
                                 L" --block=notepad.exe";
  std::unique_ptr<ChildProcess> host = StartHostProcess(DemoHost(), arguments);
  ASSERT_NE(host, nullptr);
  HWND window = WaitForHostWindow(host->id(), kStartTimeoutMs);
  ASSERT_NE(window, nullptr) << host->Output();
  ASSERT_TRUE(WaitUntil([window] { return IsWindowVisible(window) != FALSE; }, kStartTimeoutMs));

  const std::unique_ptr<ChildProcess> notepad_process =
      ChildProcess::Start(SystemProgram(L"notepad.exe"), L"");
  ASSERT_NE(notepad_process, nullptr) << "CreateProcessW failed: " << GetLastError();
  HWND notepad = nullptr;
  ASSERT_TRUE(WaitUntil(
      [&] {
        notepad = FindWindowW(L"Notepad", nullptr);
        return notepad != nullptr && IsWindowVisible(notepad);
      },
      kStartTimeoutMs));
  EXPECT_TRUE(WaitUntil([&] { return IsIconic(notepad) && GetForegroundWindow() == window; },
                        kStartTimeoutMs));

  // The session forbids quitting: the tray's quit does nothing while it runs.
  ASSERT_TRUE(ChooseQuitFromTheTray(window));
  EXPECT_FALSE(host->WaitForExit(1000).has_value());

  // Once it is over, the same choice ends the host. Ending may take longer than the wait after
  // a choice (the shell's tray answers the icon's removal slowly at times), and a host that has
  // gone opens no further menu: whether it has ended is asked before every try.
  std::optional<DWORD> exit_code;
  EXPECT_TRUE(WaitUntil(
      [&] {
        exit_code = host->WaitForExit(0);
        if (exit_code || !ChooseQuitFromTheTray(window)) return exit_code.has_value();
        exit_code = host->WaitForExit(1000);
        return exit_code.has_value();
      },
      kSessionEndTimeoutMs));
  EXPECT_EQ(exit_code, std::optional<DWORD>(0)) << host->Output();
}

}  // namespace
}  // namespace keelo::testing
