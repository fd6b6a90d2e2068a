#ifndef BRIDGE_LAUNCH_APP_H_
#define BRIDGE_LAUNCH_APP_H_

#include <windows.h>

#include <string>

// ShellExecuteW's result is no instance handle but a code: up to 32 an error, anything greater
// a success, read as a signed number.
bool ShellExecuteSucceeded(INT_PTR code);

// Opens |path| with the shell's "open" verb, shown normally, with no owner window, parameters
// or working directory.
bool LaunchWithShell(const std::wstring& path);

#endif  // BRIDGE_LAUNCH_APP_H_
