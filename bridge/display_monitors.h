#ifndef BRIDGE_DISPLAY_MONITORS_H_
#define BRIDGE_DISPLAY_MONITORS_H_

#include <windows.h>

#include <functional>
#include <vector>

// One monitor of the desktop: where it is and where windows may go on it (its work area, without
// the taskbar and the docked bars), in screen pixels, and its DPI.
struct DisplayMonitor {
  RECT bounds;
  RECT work;
  UINT dpi;
  // The main monitor, whose work area's top-left corner is the origin of the coordinates a
  // window's saved placement is given in.
  bool primary;
};

// Lists the monitors of the desktop as they are now; empty when the system cannot say.
using MonitorLister = std::function<std::vector<DisplayMonitor>()>;

#endif  // BRIDGE_DISPLAY_MONITORS_H_
