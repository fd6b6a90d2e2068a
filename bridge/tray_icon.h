#ifndef BRIDGE_TRAY_ICON_H_
#define BRIDGE_TRAY_ICON_H_

#include <windows.h>
// shellapi.h needs the types that windows.h declares.
#include <shellapi.h>

#include "common/scoped_handles.h"

// The host's one notification-area icon, and the messages that reach the main window for it.

inline constexpr UINT kTrayIconId = 1;
inline constexpr UINT kTrayCallbackMessage = WM_APP + 7;

// The application's icon drawn at |size| x |size|, the caller's own. Loaded without the
// shared-image cache, which hands back the first size it cached whatever size is asked.
ScopedIcon LoadAppIcon(int size);

#endif  // BRIDGE_TRAY_ICON_H_
