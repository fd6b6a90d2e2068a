#ifndef RUNNER_FIRST_GEOMETRY_H_
#define RUNNER_FIRST_GEOMETRY_H_

#include <windows.h>

#include "runner/win32_window.h"

// Where the main window first opens, in logical pixels: centred in the work area, at most
// 1280 x 860 and leaving a margin of 48 in each direction.
struct FirstGeometry {
  Win32Window::Point origin;
  Win32Window::Size size;
};

// |work_area| in physical pixels, at |dpi| (96 = 100 %).
FirstGeometry ComputeFirstGeometry(const RECT& work_area, UINT dpi);

// For the primary monitor's work area and DPI.
FirstGeometry FirstGeometryForPrimaryMonitor();

#endif  // RUNNER_FIRST_GEOMETRY_H_
