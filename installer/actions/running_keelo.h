#ifndef INSTALLER_ACTIONS_RUNNING_KEELO_H_
#define INSTALLER_ACTIONS_RUNNING_KEELO_H_

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

// Whether |program|, a full path, names a file directly inside |folder|, a full path with or
// without its closing backslash. Case is ignored, as the file system ignores it.
bool IsProgramIn(std::wstring_view program, std::wstring_view folder);

// Asks every running Keelo host whose executable lives in |folder| to quit, as its tray menu's
// Quit would, and waits until they have ended or |timeout_ms| has passed. Returns the ids of the
// processes it asked.
std::vector<DWORD> QuitKeeloRunningFrom(std::wstring_view folder, DWORD timeout_ms);

// Waits until no proxy guard started from |folder| runs any more, or |timeout_ms| has passed:
// a guard keeps its executable open, which could then be neither replaced nor removed. A guard
// ends by itself once its host's proxy snapshot is gone.
void WaitForProxyGuardsIn(std::wstring_view folder, DWORD timeout_ms);

#endif  // INSTALLER_ACTIONS_RUNNING_KEELO_H_
