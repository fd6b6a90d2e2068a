// keelo_host_control: drives the host of this session from outside, for scripts.
//   keelo_host_control wait-shown   waits until the host's window is shown (0, or 3 after 60 s)
//   keelo_host_control quit         asks the host to quit as its user would and waits for it to
//                                   end; exits with the host's exit code, 2 when no host runs
//                                   and 3 when it did not end
//   keelo_host_control mini         chooses "Show mini timer" in the tray menu of a host whose
//                                   session runs and waits for the mini timer (0, 2 when no host
//                                   runs, 3 when no menu or no mini timer came)
//   keelo_host_control wait-blocked <class>
//                                   waits for a window of that class to appear, then until it is
//                                   minimised with the host in front; prints the seconds between
//                                   (0, or 3 when either did not happen within 60 s)
#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "common/scoped_handles.h"
#include "common/shared_names.h"
#include "tests/e2e/host_control.h"
#include "tests/e2e/host_process.h"

namespace {

constexpr DWORD kWaitMs = 60000;

HWND FindHost() { return FindWindowW(kWindowClassName, L"Keelo"); }

int WaitShown() {
  bool shown = keelo::testing::WaitUntil(
      [] {
        HWND window = FindHost();
        return window != nullptr && IsWindowVisible(window);
      },
      kWaitMs);
  return shown ? 0 : 3;
}

int Quit() {
  HWND window = FindHost();
  if (window == nullptr) return 2;
  DWORD process_id = 0;
  GetWindowThreadProcessId(window, &process_id);
  const ScopedHandle process(
      OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process_id));
  keelo::testing::AskHostToQuit(window);
  if (!process) return IsWindow(window) ? 3 : 0;
  DWORD exit_code = 3;
  if (WaitForSingleObject(process.get(), kWaitMs) == WAIT_OBJECT_0) {
    GetExitCodeProcess(process.get(), &exit_code);
  }
  return static_cast<int>(exit_code);
}

int Width(HWND window) {
  RECT rect = {};
  GetWindowRect(window, &rect);
  return rect.right - rect.left;
}

int ShowMiniTimer() {
  HWND window = FindHost();
  if (window == nullptr) return 2;
  const int full_width = Width(window);
  HWND menu = keelo::testing::OpenTrayMenu(window);
  if (menu == nullptr) return 3;
  // From the end during a session: "Quit Keelo (after your session)", "Park a thought…", then
  // "Show mini timer"; separators are passed over.
  keelo::testing::ChooseTrayMenuItemFromEnd(menu, 3);
  // The demo answers the command with the mini timer, much narrower than the full window.
  return keelo::testing::WaitUntil([&] { return Width(window) < full_width / 2; }, kWaitMs) ? 0 : 3;
}

int WaitBlocked(const wchar_t* window_class) {
  HWND distraction = nullptr;
  if (!keelo::testing::WaitUntil(
          [&] {
            distraction = FindWindowW(window_class, nullptr);
            return distraction != nullptr && IsWindowVisible(distraction);
          },
          kWaitMs)) {
    return 3;
  }
  const ULONGLONG appeared = GetTickCount64();
  const bool blocked = keelo::testing::WaitUntil(
      [&] { return IsIconic(distraction) && GetForegroundWindow() == FindHost(); }, kWaitMs);
  if (!blocked) return 3;
  std::fwprintf(stdout, L"%.1f\n", static_cast<double>(GetTickCount64() - appeared) / 1000.0);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 2 && std::wcscmp(argv[1], L"wait-shown") == 0) {
    return WaitShown();
  }
  if (argc == 2 && std::wcscmp(argv[1], L"quit") == 0) return Quit();
  if (argc == 2 && std::wcscmp(argv[1], L"mini") == 0) return ShowMiniTimer();
  if (argc == 3 && std::wcscmp(argv[1], L"wait-blocked") == 0) return WaitBlocked(argv[2]);
  std::fputws(L"usage: keelo_host_control wait-shown|quit|mini|wait-blocked <class>\n", stderr);
  return 64;
}
