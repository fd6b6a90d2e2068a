#ifndef BRIDGE_WINDOW_BLOCKING_H_
#define BRIDGE_WINDOW_BLOCKING_H_

#include <windows.h>

// What blocking decides on values.

// Whether the host joins the input of the thread that owns the window in front before it takes
// the foreground from it: only for another thread, and never for a hung one, whose joined input
// would make the activation wait for a thread that does not answer.
bool JoinsForegroundInput(DWORD foreground_thread, DWORD own_thread, bool foreground_hung);

#endif  // BRIDGE_WINDOW_BLOCKING_H_
