#include "bridge/window_blocking.h"

#include <algorithm>
#include <array>
#include <string>

#include "bridge/app_identity.h"

namespace {

// The taskbar of the main monitor and those of the others; the desktop (Program Manager and the
// worker window behind its icons); the task switcher of Alt+Tab and Task View as Windows 7 and 8,
// 10 and 11 name it, and the window in which Windows 10 and 11 stage the switch.
constexpr std::array<std::wstring_view, 8> kShellWindowClasses = {
    L"Shell_TrayWnd",     L"Shell_SecondaryTrayWnd",
    L"Progman",           L"WorkerW",
    L"TaskSwitcherWnd",   L"MultitaskingViewFrame",
    L"ForegroundStaging", L"XamlExplorerHostIslandWindow"};

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

RestoreSteps RestoreStepsFor(bool iconic, DesktopPlace place) {
  if (place == DesktopPlace::kOther) return {iconic ? SW_SHOWNOACTIVATE : SW_SHOWNA, false};
  return {iconic ? SW_RESTORE : SW_SHOW, true};
}

bool MovesHostToCurrentDesktop(DesktopPlace place) { return place == DesktopPlace::kOther; }
