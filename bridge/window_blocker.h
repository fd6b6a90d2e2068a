#ifndef BRIDGE_WINDOW_BLOCKER_H_
#define BRIDGE_WINDOW_BLOCKER_H_

#include <windows.h>

#include "bridge/virtual_desktops.h"

// Minimises the window of an application the UI application blocks and gives it back later, and
// puts the host's own window in front of the user. It keeps no record of what it blocked.
class WindowBlocker {
 public:
  enum class BlockResult {
    // The window is minimised; the host goes in front of the user.
    kMinimized,
    // No window, a window that is gone, or the host's own: nothing is minimised, and the host
    // still goes in front.
    kNoWindow,
    // The shell's own (a taskbar, the desktop, the task switcher): the user is only using it, so
    // nothing is minimised and the host stays where it is.
    kShellWindow,
  };

  // |window| is the host's main window, never acted on as another program's. |desktops| says
  // where windows are among the virtual desktops and brings the host's to the user's.
  WindowBlocker(HWND window, VirtualDesktopCalls desktops);

  WindowBlocker(const WindowBlocker&) = delete;
  WindowBlocker& operator=(const WindowBlocker&) = delete;

  // Minimises |target| unless it is one to leave alone; never waits for the window's program.
  BlockResult Block(HWND target);

  // Shows |target| as it was before it was minimised and gives it the foreground, or, on another
  // virtual desktop, shows it there without activating it; false when it is no window of another
  // program.
  bool Restore(HWND target);

  // Shows the host's main window and gives it the foreground, on the virtual desktop the user
  // has in front.
  void RaiseHostWindow();

 private:
  // Not null, alive, and not the host's own window.
  bool IsOtherLiveWindow(HWND target) const;

  HWND window_;
  VirtualDesktopCalls desktops_;
};

#endif  // BRIDGE_WINDOW_BLOCKER_H_
