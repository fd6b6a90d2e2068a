#include "runner/first_geometry.h"

#include <algorithm>

#include "common/dpi.h"
#include "engine_api/flutter_windows.h"

namespace {

constexpr int kMaxWidth = 1280;
constexpr int kMaxHeight = 860;
constexpr int kMargin = 48;

}  // namespace

FirstGeometry ComputeFirstGeometry(const RECT& work_area, UINT dpi) {
  double scale = ScaleForDpi(dpi);
  int logical_width = static_cast<int>((work_area.right - work_area.left) / scale);
  int logical_height = static_cast<int>((work_area.bottom - work_area.top) / scale);
  int width = std::min(logical_width - kMargin, kMaxWidth);
  int height = std::min(logical_height - kMargin, kMaxHeight);
  int x = static_cast<int>(work_area.left / scale) + (logical_width - width) / 2;
  int y = static_cast<int>(work_area.top / scale) + (logical_height - height) / 2;
  return {{x, y}, {width, height}};
}

FirstGeometry FirstGeometryForPrimaryMonitor() {
  RECT work_area = {};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work_area, 0);
  HMONITOR monitor = MonitorFromPoint({work_area.left, work_area.top}, MONITOR_DEFAULTTOPRIMARY);
  return ComputeFirstGeometry(work_area, FlutterDesktopGetDpiForMonitor(monitor));
}
