#ifndef BRIDGE_APP_ICON_H_
#define BRIDGE_APP_ICON_H_

#include <windows.h>

#include "common/scoped_handles.h"

// The application's icon drawn at |size| x |size|, the caller's own. Loaded without the
// shared-image cache, which hands back the first size it cached whatever size is asked.
ScopedIcon LoadAppIcon(int size);

// Whether a WM_SETTINGCHANGE for |action| (its wParam) or |area| (its lParam text, null for none)
// may change the sizes icons are drawn at: the icon metrics, or the window metrics that the
// system's text scaling changes.
bool ChangesIconMetrics(WPARAM action, const wchar_t* area);

#endif  // BRIDGE_APP_ICON_H_
