#include "bridge/window_blocker.h"

#include <utility>

#include "bridge/window_blocking.h"

namespace {

// A class name is at most 256 characters.
constexpr int kClassNameCapacity = 257;

bool IsShellWindow(HWND window) {
  if (window == GetShellWindow()) return true;
  wchar_t class_name[kClassNameCapacity] = {};
  const int length = GetClassNameW(window, class_name, kClassNameCapacity);
  return length > 0 && IsShellWindowClass(std::wstring_view(class_name, length));
}

}  // namespace

WindowBlocker::WindowBlocker(HWND window, VirtualDesktopCalls desktops)
    : window_(window), desktops_(std::move(desktops)) {}

bool WindowBlocker::IsOtherLiveWindow(HWND target) const {
  return target != nullptr && IsWindow(target) && target != window_;
}

WindowBlocker::BlockResult WindowBlocker::Block(HWND target) {
  if (!IsOtherLiveWindow(target)) return BlockResult::kNoWindow;
  if (IsShellWindow(target)) return BlockResult::kShellWindow;
  // Asynchronous: a program that has stopped responding would otherwise hold the host, its tray
  // and its engine until it answered, if ever.
  ShowWindowAsync(target, SW_MINIMIZE);
  return BlockResult::kMinimized;
}

bool WindowBlocker::Restore(HWND target) {
  if (!IsOtherLiveWindow(target)) return false;
  const RestoreSteps steps = RestoreStepsFor(IsIconic(target) != FALSE, desktops_.locate(target));
  // Neither call waits for the window's thread, for the same reason.
  ShowWindowAsync(target, steps.show_command);
  if (steps.give_foreground) SetForegroundWindow(target);
  return true;
}

void WindowBlocker::RaiseHostWindow() {
  // Activated on another desktop, the window would take the user there. A failed move leaves it
  // there, and the system then switches as it always did.
  if (MovesHostToCurrentDesktop(desktops_.locate(window_))) desktops_.move_to_current(window_);
  ShowWindow(window_, IsIconic(window_) ? SW_RESTORE : SW_SHOW);
  HWND foreground = GetForegroundWindow();
  const DWORD foreground_thread =
      foreground != nullptr ? GetWindowThreadProcessId(foreground, nullptr) : 0;
  const DWORD own_thread = GetCurrentThreadId();
  // Windows only lets the thread that owns the foreground hand it on: joined with that thread's
  // input state for the moment, this thread may take it. Detached again right after, always.
  const bool attach = JoinsForegroundInput(foreground_thread, own_thread,
                                           foreground != nullptr && IsHungAppWindow(foreground));
  if (attach) AttachThreadInput(foreground_thread, own_thread, TRUE);
  BringWindowToTop(window_);
  SetForegroundWindow(window_);
  if (attach) AttachThreadInput(foreground_thread, own_thread, FALSE);
}
