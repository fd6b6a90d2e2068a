#ifndef BRIDGE_WINDOW_MESSAGES_H_
#define BRIDGE_WINDOW_MESSAGES_H_

#include <windows.h>

// The registered window messages the main window receives from outside the host, with the
// bridge's hook that acts on them. Each id is registered once for the life of the process.

// Sent by whoever must end a running host (its installer): the tray's Quit, from outside.
inline constexpr wchar_t kQuitMessageName[] = L"VantrelKeeloQuit";
// Broadcast by the shell when it restarted and lost every notification-area icon.
inline constexpr wchar_t kTaskbarCreatedMessageName[] = L"TaskbarCreated";

UINT QuitMessage();
UINT TaskbarCreatedMessage();

#endif  // BRIDGE_WINDOW_MESSAGES_H_
