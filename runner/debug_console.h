#ifndef RUNNER_DEBUG_CONSOLE_H_
#define RUNNER_DEBUG_CONSOLE_H_

#include <cstdint>

// Attaches to the console of the process that started the host, if it has one, and points the
// standard output and error streams that are not redirected elsewhere at it; false when there
// is no console to attach to.
bool AttachParentConsole();

// Opens a console and points the standard output and error streams, the host's and the
// engine's, at it. Does nothing when no console can be opened.
void OpenDebugConsole();

// Whether a standard stream whose descriptor stands for |os_handle| (what _get_osfhandle gives:
// negative when the descriptor has none) must be pointed at the console: a GUI program starts
// without standard handles, unless its starter redirected them (to a file or a pipe), which
// then stay as they are.
bool StreamNeedsConsole(intptr_t os_handle);

#endif  // RUNNER_DEBUG_CONSOLE_H_
