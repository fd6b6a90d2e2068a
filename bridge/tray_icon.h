#ifndef BRIDGE_TRAY_ICON_H_
#define BRIDGE_TRAY_ICON_H_

#include <windows.h>
// shellapi.h needs the types that windows.h declares.
#include <shellapi.h>

// The host's one notification-area icon, and the messages that reach the main window for it.

inline constexpr UINT kTrayIconId = 1;
inline constexpr UINT kTrayCallbackMessage = WM_APP + 7;

// The application's icon at |size| x |size|, shared: never destroyed by the host.
HICON LoadAppIcon(int size);

#endif  // BRIDGE_TRAY_ICON_H_
