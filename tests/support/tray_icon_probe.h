#ifndef TESTS_SUPPORT_TRAY_ICON_PROBE_H_
#define TESTS_SUPPORT_TRAY_ICON_PROBE_H_

#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

namespace keelo::testing {

// Whether the shell shows the host's icon (id 1) for |window|: a modification that changes
// nothing succeeds only for an icon the shell has.
inline bool TrayIconShown(HWND window) {
  NOTIFYICONDATAW data = {};
  data.cbSize = sizeof(data);
  data.hWnd = window;
  data.uID = 1;
  return Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
}

}  // namespace keelo::testing

#endif  // TESTS_SUPPORT_TRAY_ICON_PROBE_H_
