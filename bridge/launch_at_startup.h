#ifndef BRIDGE_LAUNCH_AT_STARTUP_H_
#define BRIDGE_LAUNCH_AT_STARTUP_H_

#include <windows.h>

#include <cstdint>
#include <span>
#include <string>

#include "bridge/startup_registry.h"
#include "bridge/system_calls.h"

// Starting with the user's sign-in: a value under the current user's Run key that starts the
// executable hidden in the tray. A packaged installation never uses the Run key.

// The Run value's data: the quoted executable path, then " --minimized".
std::wstring RunValueData(const std::wstring& executable_path);

bool IsPackaged(const SystemCalls& system);

// Whether the startup-approval value's |data| switches the entry off: its first byte is odd
// (Windows writes 03 or 07 then, 02 or 06 while on). No data is no switch.
bool StartupApprovalDisables(std::span<const uint8_t> data);

// Whether Windows will start the host at sign-in: a string value of that name is under the Run
// key (its data is not compared) and no startup-approval value switches it off.
bool IsLaunchAtStartupEnabled(const SystemCalls& system);

// The user's own choice, made in the host: on writes the Run value and removes an approval value
// that switches it off; off removes both. True when the registry now matches |enabled|.
bool SetLaunchAtStartup(bool enabled, const SystemCalls& system);

#endif  // BRIDGE_LAUNCH_AT_STARTUP_H_
