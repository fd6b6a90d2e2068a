#ifndef BRIDGE_APP_ICON_H_
#define BRIDGE_APP_ICON_H_

#include <windows.h>

#include "common/scoped_handles.h"

// The application's icon drawn at |size| x |size|, the caller's own. Loaded without the
// shared-image cache, which hands back the first size it cached whatever size is asked.
ScopedIcon LoadAppIcon(int size);

#endif  // BRIDGE_APP_ICON_H_
