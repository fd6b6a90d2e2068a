// keelo_host_control: drives the host of this session from outside, for scripts.
//   keelo_host_control wait-shown   waits until the host's window is shown (0, or 3 after 60 s)
//   keelo_host_control quit         asks the host to quit as its user would and waits for it to
//                                   end; exits with the host's exit code, 2 when no host runs
//                                   and 3 when it did not end
#include <windows.h>

#include <cwchar>

#include "common/scoped_handles.h"
#include "runner/win32_window.h"
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

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 2 && std::wcscmp(argv[1], L"wait-shown") == 0) {
    return WaitShown();
  }
  if (argc == 2 && std::wcscmp(argv[1], L"quit") == 0) return Quit();
  std::fputws(L"usage: keelo_host_control wait-shown|quit\n", stderr);
  return 64;
}
