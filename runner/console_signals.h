#ifndef RUNNER_CONSOLE_SIGNALS_H_
#define RUNNER_CONSOLE_SIGNALS_H_

#include <windows.h>

// A host with a console (its parent's, or its own under a debugger) would be ended at once by
// the default handler on Ctrl+C, Ctrl+Break or the console's closing, with the user's proxy left
// pointing at a proxy that then no longer runs. These turn each signal into the host's own way
// out.

// Installs the handler for the process's console.
void InstallConsoleSignalHandler();

// The main window, to which the signals are handed; null before it exists and after it is
// gone, when a signal is left to the default handler (nothing is held yet, or any more).
void SetConsoleSignalTarget(HWND window);

// What the handler does with |signal|, without what it does after for the signals after which
// the system ends the process: Ctrl+C, Ctrl+Break and the console's closing quit the host as
// the tray's Quit does (posted to the main window, which puts the proxy back, removes the icon
// and ends the process with 0); log-off and shut-down put the proxy back at once. False for a
// signal left to the default handler.
bool HandleConsoleSignal(DWORD signal);

#endif  // RUNNER_CONSOLE_SIGNALS_H_
