#include "bridge/window_blocking.h"

#include <algorithm>
#include <array>
#include <string>

#include "bridge/app_identity.h"
#include "bridge/desktop_bridge.h"

namespace {

// The taskbar of the main monitor and those of the others; the desktop (Program Manager and the
// worker window behind its icons); the task switcher of Alt+Tab and Task View as Windows 7 and 8,
// 10 and 11 name it, and the window in which Windows 10 and 11 stage the switch.
constexpr std::array<std::wstring_view, 8> kShellWindowClasses = {
    L"Shell_TrayWnd",     L"Shell_SecondaryTrayWnd",
    L"Progman",           L"WorkerW",
    L"TaskSwitcherWnd",   L"MultitaskingViewFrame",
    L"ForegroundStaging", L"XamlExplorerHostIslandWindow"};

// A class name is at most 256 characters.
constexpr int kClassNameCapacity = 257;

bool IsShellWindow(HWND window) {
  if (window == GetShellWindow()) return true;
  wchar_t class_name[kClassNameCapacity] = {};
  const int length = GetClassNameW(window, class_name, kClassNameCapacity);
  return length > 0 && IsShellWindowClass(std::wstring_view(class_name, length));
}

// Neither call waits for the window's thread: a program that has stopped responding would
// otherwise hold the host, its tray and its engine until it answered, if ever.
void ShowWithoutChangingSize(HWND window) {
  ShowWindowAsync(window, IsIconic(window) ? SW_RESTORE : SW_SHOW);
}

}  // namespace

bool IsShellWindowClass(std::wstring_view class_name) {
  const std::wstring lowered = ToLower(std::wstring(class_name));
  return std::any_of(
      kShellWindowClasses.begin(), kShellWindowClasses.end(),
      [&](std::wstring_view shell) { return ToLower(std::wstring(shell)) == lowered; });
}

bool JoinsForegroundInput(DWORD foreground_thread, DWORD own_thread, bool foreground_hung) {
  return foreground_thread != 0 && foreground_thread != own_thread && !foreground_hung;
}

bool DesktopBridge::IsOtherLiveWindow(HWND window) const {
  return window != nullptr && IsWindow(window) && window != window_;
}

void DesktopBridge::BlockWindow(const MethodArguments& arguments, flutter::MethodResult& result) {
  HWND target = arguments.GetWindowHandle("hwnd");
  const bool blocked = IsOtherLiveWindow(target);
  if (blocked && IsShellWindow(target)) {
    // The user is only using the taskbar or the desktop: nothing is minimised, and the host
    // stays where it is.
    const flutter::EncodableValue refused(false);
    result.Success(&refused);
    return;
  }
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
