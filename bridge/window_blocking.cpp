#include "bridge/desktop_bridge.h"

namespace {

void ShowWithoutChangingSize(HWND window) {
  ShowWindow(window, IsIconic(window) ? SW_RESTORE : SW_SHOW);
}

}  // namespace

bool DesktopBridge::IsOtherLiveWindow(HWND window) const {
  return window != nullptr && IsWindow(window) && window != window_;
}

void DesktopBridge::BlockWindow(const MethodArguments& arguments, flutter::MethodResult& result) {
  HWND target = arguments.GetWindowHandle("hwnd");
  const bool blocked = IsOtherLiveWindow(target);
  if (blocked) ShowWindow(target, SW_MINIMIZE);
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
