#ifndef BRIDGE_WINDOW_MESSAGES_H_
#define BRIDGE_WINDOW_MESSAGES_H_

#include <windows.h>

#include "common/shared_names.h"

// The registered window messages the main window receives from outside the host. Each id is
// registered once for the life of the process.

// Broadcast by the shell when it restarted and lost every notification-area icon.
inline constexpr wchar_t kTaskbarCreatedMessageName[] = L"TaskbarCreated";

// kQuitMessageName (common/shared_names.h): the tray's Quit, sent from outside.
UINT QuitMessage();
UINT TaskbarCreatedMessage();

#endif  // BRIDGE_WINDOW_MESSAGES_H_
