#ifndef BRIDGE_LAUNCH_AT_STARTUP_H_
#define BRIDGE_LAUNCH_AT_STARTUP_H_

#include <windows.h>

#include <string>

#include "bridge/startup_registry.h"
#include "bridge/system_calls.h"

// Starting with the user's sign-in: a value under the current user's Run key that starts the
// executable hidden in the tray. A packaged installation never uses the Run key.

// The Run value's data: the quoted executable path, then " --minimized".
std::wstring RunValueData(const std::wstring& executable_path);

bool IsPackaged(const SystemCalls& system);

// Whether a string value of that name is under the Run key; its data is not compared.
bool IsLaunchAtStartupEnabled(const SystemCalls& system);

// Writes or deletes the Run value; true when the registry now matches |enabled|.
bool SetLaunchAtStartup(bool enabled, const SystemCalls& system);

#endif  // BRIDGE_LAUNCH_AT_STARTUP_H_
