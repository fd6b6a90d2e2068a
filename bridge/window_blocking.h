#ifndef BRIDGE_WINDOW_BLOCKING_H_
#define BRIDGE_WINDOW_BLOCKING_H_

#include <windows.h>

#include <string_view>

#include "bridge/virtual_desktops.h"

// What blocking decides on values (see window_blocker.h for the acts).

// Whether a window of class |class_name| is the shell's own: a taskbar, the desktop or the task
// switcher. They belong to explorer.exe, as File Explorer does, so a user who blocks File
// Explorer would otherwise have the taskbar or the desktop minimised at every click on them.
// Class names are compared without regard to the case of A to Z, as the system compares them.
bool IsShellWindowClass(std::wstring_view class_name);

// Whether the host joins the input of the thread that owns the window in front before it takes
// the foreground from it: only for another thread, and never for a hung one, whose joined input
// would make the activation wait for a thread that does not answer.
bool JoinsForegroundInput(DWORD foreground_thread, DWORD own_thread, bool foreground_hung);

// How a window is given back: the ShowWindow command and whether it then gets the foreground.
struct RestoreSteps {
  int show_command;
  bool give_foreground;
};

// A window minimised (|iconic|) or not, at |place| among the virtual desktops: shown as it was
// before it was minimised and given the foreground; on another desktop, shown there without
// being activated, since activating it would take the user to that desktop. A minimised window
// there comes back in its normal size, as no command restores a maximised one without
// activating it.
RestoreSteps RestoreStepsFor(bool iconic, DesktopPlace place);

// Whether the host's window, at |place|, is moved to the user's desktop before it is raised:
// only from another desktop, so that raising it does not take the user there. Where the shell
// cannot say, it is raised where it is.
bool MovesHostToCurrentDesktop(DesktopPlace place);

#endif  // BRIDGE_WINDOW_BLOCKING_H_
