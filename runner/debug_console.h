#ifndef RUNNER_DEBUG_CONSOLE_H_
#define RUNNER_DEBUG_CONSOLE_H_

// Opens a console and points the standard output and error streams, the host's and the
// engine's, at it. Does nothing when no console can be opened.
void OpenDebugConsole();

#endif  // RUNNER_DEBUG_CONSOLE_H_
