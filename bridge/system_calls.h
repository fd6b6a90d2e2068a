#ifndef BRIDGE_SYSTEM_CALLS_H_
#define BRIDGE_SYSTEM_CALLS_H_

#include <windows.h>
// shellapi.h needs the types that windows.h declares.
#include <shellapi.h>

// The system functions behind desktop methods whose results a test cannot arrange for real: the
// tick counter's wrap after 49.7 days, and whether the shell was asked to launch anything.
// Tests replace them; the host always uses the system's own.
struct SystemCalls {
  decltype(&::GetTickCount) get_tick_count = &::GetTickCount;
  decltype(&::GetLastInputInfo) get_last_input_info = &::GetLastInputInfo;
  decltype(&::ShellExecuteW) shell_execute = &::ShellExecuteW;
};

#endif  // BRIDGE_SYSTEM_CALLS_H_
