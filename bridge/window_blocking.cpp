#include "bridge/window_blocking.h"

#include "bridge/desktop_bridge.h"

namespace {

// Neither call waits for the window's thread: a program that has stopped responding would
// otherwise hold the host, its tray and its engine until it answered, if ever.
void ShowWithoutChangingSize(HWND window) {
  ShowWindowAsync(window, IsIconic(window) ? SW_RESTORE : SW_SHOW);
}

}  // namespace

bool JoinsForegroundInput(DWORD foreground_thread, DWORD own_thread, bool foreground_hung) {
  return foreground_thread != 0 && foreground_thread != own_thread && !foreground_hung;
}

bool DesktopBridge::IsOtherLiveWindow(HWND window) const {
  return window != nullptr && IsWindow(window) && window != window_;
}

void DesktopBridge::BlockWindow(const MethodArguments& arguments, flutter::MethodResult& result) {
  HWND target = arguments.GetWindowHandle("hwnd");
  const bool blocked = IsOtherLiveWindow(target);
  if (blocked) ShowWindowAsync(target, SW_MINIMIZE);
  BringToFront();
  const flutter::EncodableValue reply(blocked);
  result.Success(&reply);
}

void DesktopBridge::RestoreWindow(const MethodArguments& arguments, flutter::MethodResult& result) {
  HWND target = arguments.GetWindowHandle("hwnd");
  const bool restored = IsOtherLiveWindow(target);
  if (restored) {
    ShowWithoutChangingSize(target);
    SetForegroundWindow(target);
  }
  const flutter::EncodableValue reply(restored);
  result.Success(&reply);
}

void DesktopBridge::ShowMainWindow(const MethodArguments&, flutter::MethodResult& result) {
  BringToFront();
  const flutter::EncodableValue reply(true);
  result.Success(&reply);
}
