#ifndef BRIDGE_WINDOW_BLOCKING_H_
#define BRIDGE_WINDOW_BLOCKING_H_

#include <windows.h>

#include <string_view>

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

#endif  // BRIDGE_WINDOW_BLOCKING_H_
