#include "tests/e2e/host_control.h"

#include "tests/e2e/host_process.h"
#include "tests/support/host_names.h"

namespace keelo::testing {
namespace {

constexpr UINT kHandlingTimeoutMs = 5000;
constexpr UINT kTrayCallbackMessage = WM_APP + 7;
constexpr DWORD kMenuTimeoutMs = 5000;

void SendAndWait(HWND window, UINT message) {
  DWORD_PTR result = 0;
  SendMessageTimeoutW(window, message, 0, 0, SMTO_ABORTIFHUNG, kHandlingTimeoutMs, &result);
}

}  // namespace

HWND OpenTrayMenu(HWND host) {
  PostMessageW(host, kTrayCallbackMessage, 1, WM_RBUTTONUP);
  HWND menu = nullptr;
  WaitUntil(
      [&] {
        menu = FindWindowW(L"#32768", nullptr);
        return menu != nullptr && IsWindowVisible(menu);
      },
      kMenuTimeoutMs);
  return menu != nullptr && IsWindowVisible(menu) ? menu : nullptr;
}

void ChooseTrayMenuItemFromEnd(HWND menu_window, int steps) {
  for (int step = 0; step < steps; ++step) PostMessageW(menu_window, WM_KEYDOWN, VK_UP, 0);
  PostMessageW(menu_window, WM_KEYDOWN, VK_RETURN, 0);
}

void CloseTrayMenu(HWND menu_window) { PostMessageW(menu_window, WM_KEYDOWN, VK_ESCAPE, 0); }

void AskHostToQuit(HWND window) {
  // Sent rather than posted: when the call returns the host has decided, so a window that is
  // still there was sent to the tray and not closed.
  SendAndWait(window, WM_CLOSE);
  if (IsWindow(window)) SendAndWait(window, RegisterWindowMessageW(kQuitMessageName));
}

}  // namespace keelo::testing
