#include "tests/e2e/host_control.h"

namespace keelo::testing {
namespace {

constexpr UINT kHandlingTimeoutMs = 5000;

void SendAndWait(HWND window, UINT message) {
  DWORD_PTR result = 0;
  SendMessageTimeoutW(window, message, 0, 0, SMTO_ABORTIFHUNG, kHandlingTimeoutMs, &result);
}

}  // namespace

void AskHostToQuit(HWND window) {
  // Sent rather than posted: when the call returns the host has decided, so a window that is
  // still there was sent to the tray and not closed.
  SendAndWait(window, WM_CLOSE);
  if (IsWindow(window)) SendAndWait(window, RegisterWindowMessageW(L"VantrelKeeloQuit"));
}

}  // namespace keelo::testing
