#ifndef INSTALLER_ACTIONS_RUN_VALUE_H_
#define INSTALLER_ACTIONS_RUN_VALUE_H_

#include <optional>
#include <string>

// The value "Vantrel Keelo" under the current user's Run key, which the host writes when its
// user turns on start at sign-in. Left behind by an uninstall, it would start a program that no
// longer exists at every sign-in.

// Removes the value and the switch that Task Manager or Settings may keep for it under the
// StartupApproved key; true when both are gone, also when they were never there.
bool RemoveStartAtSignIn();

// The value's data when it is a string; nothing when there is no such value.
std::optional<std::wstring> ReadRunValue();

// Writes |data| as the value unless a value is there; true when one is there afterwards.
bool RestoreRunValue(const std::wstring& data);

#endif  // INSTALLER_ACTIONS_RUN_VALUE_H_
