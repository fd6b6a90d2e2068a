#ifndef BRIDGE_VIRTUAL_DESKTOPS_H_
#define BRIDGE_VIRTUAL_DESKTOPS_H_

#include <windows.h>

#include <functional>

// Where a window is among the user's virtual desktops, as the shell's IVirtualDesktopManager
// tells it.
enum class DesktopPlace {
  // The shell cannot say: a system without virtual desktops or without the interface, a window
  // it does not know, a shell that has just restarted.
  kUnknown,
  // On the desktop the user has in front.
  kCurrent,
  // On another desktop: activating it would switch the user to that desktop.
  kOther,
};

// The shell's virtual desktops, as far as the host uses them.
struct VirtualDesktopCalls {
  // Where |window| is.
  std::function<DesktopPlace(HWND window)> locate;
  // Moves |window|, which must be one of this process's, to the desktop the user has in front;
  // false when the shell did not.
  std::function<bool(HWND window)> move_to_current;
};

#endif  // BRIDGE_VIRTUAL_DESKTOPS_H_
