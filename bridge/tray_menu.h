#ifndef BRIDGE_TRAY_MENU_H_
#define BRIDGE_TRAY_MENU_H_

#include <windows.h>

#include <string>
#include <vector>

// The tray menu's command ids, as TrackPopupMenu returns them.
inline constexpr UINT kTrayOpen = 1001;
inline constexpr UINT kTrayQuit = 1002;
inline constexpr UINT kTrayMiniTimer = 1003;
inline constexpr UINT kTrayPark = 1004;
inline constexpr UINT kTrayStatus = 1005;

struct TrayMenuItem {
  // 0 for a separator.
  UINT id;
  std::wstring text;
  // MF_STRING or MF_SEPARATOR, with MF_GRAYED for an item that cannot be chosen.
  UINT flags;

  bool operator==(const TrayMenuItem&) const = default;
};

// The menu's items in order, for the tray's state when it opens: the status line (greyed, with
// a separator) when there is one, "Open Keelo", "Show mini timer" during a session outside mini
// mode, "Park a thought…", a separator and the quit item, greyed while quitting is not allowed.
std::vector<TrayMenuItem> TrayMenuItems(const std::wstring& status, bool session_active,
                                        bool mini_mode, bool quit_allowed);

#endif  // BRIDGE_TRAY_MENU_H_
