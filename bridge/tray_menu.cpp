#include "bridge/tray_menu.h"

std::vector<TrayMenuItem> TrayMenuItems(const std::wstring& status, bool session_active,
                                        bool mini_mode, bool quit_allowed) {
  std::vector<TrayMenuItem> items;
  if (!status.empty()) {
    items.push_back({kTrayStatus, status, MF_STRING | MF_GRAYED});
    items.push_back({0, std::wstring(), MF_SEPARATOR});
  }
  items.push_back({kTrayOpen, L"Open Keelo", MF_STRING});
  if (session_active && !mini_mode)
    items.push_back({kTrayMiniTimer, L"Show mini timer", MF_STRING});
  items.push_back({kTrayPark, L"Park a thought\u2026", MF_STRING});
  items.push_back({0, std::wstring(), MF_SEPARATOR});
  if (quit_allowed) {
    items.push_back({kTrayQuit, L"Quit Keelo", MF_STRING});
  } else {
    items.push_back({kTrayQuit, L"Quit Keelo (after your session)", MF_STRING | MF_GRAYED});
  }
  return items;
}
