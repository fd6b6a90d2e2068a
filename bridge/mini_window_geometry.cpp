#include "bridge/mini_window_geometry.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

#include "bridge/app_identity.h"
#include "common/dpi.h"

namespace {

// The largest coordinate a window's size can take.
constexpr double kLargestSide = 32767;
constexpr LONG_PTR kOverlappedWindowBits =
    WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
// Kept, a window entered from minimised or maximised would stay so under the timer's size.
constexpr LONG_PTR kShowStateBits = WS_MINIMIZE | WS_MAXIMIZE;

int64_t Area(const RECT& rect) {
  return static_cast<int64_t>(std::max<LONG>(rect.right - rect.left, 0)) *
         std::max<LONG>(rect.bottom - rect.top, 0);
}

int64_t OverlapArea(const RECT& a, const RECT& b) {
  const RECT overlap = {std::max(a.left, b.left), std::max(a.top, b.top),
                        std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
  return Area(overlap);
}

// The square of the distance between the two rectangles; 0 when they touch or overlap.
int64_t SquaredGap(const RECT& a, const RECT& b) {
  const int64_t dx = std::max<int64_t>({0, int64_t{b.left} - a.right, int64_t{a.left} - b.right});
  const int64_t dy = std::max<int64_t>({0, int64_t{b.top} - a.bottom, int64_t{a.top} - b.bottom});
  return dx * dx + dy * dy;
}

bool Inside(const RECT& inner, const RECT& outer) {
  return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
         inner.bottom <= outer.bottom;
}

RECT Offset(const RECT& rect, LONG dx, LONG dy) {
  return {rect.left + dx, rect.top + dy, rect.right + dx, rect.bottom + dy};
}

// |start|..|start| + |length| moved into |low|..|high|, shrunk to its size when longer.
void FitSpan(LONG& start, LONG& end, LONG low, LONG high) {
  const LONG length = std::min(end - start, high - low);
  start = std::clamp(start, low, high - length);
  end = start + length;
}

LONG Pixels(double logical, double scale) {
  return static_cast<LONG>(std::lround(logical * scale));
}

constexpr std::wstring_view kTaskbarClasses[] = {L"Shell_TrayWnd", L"Shell_SecondaryTrayWnd"};

}  // namespace

double UsableMiniSide(double requested, double fallback) {
  return std::isfinite(requested) && requested > 0 ? requested : fallback;
}

int ScaledMiniSide(double logical, double scale) {
  const double scaled = logical * scale + 0.5;
  // Compared before the conversion, which is undefined for a value an int cannot hold. A side
  // of less than a pixel would make a window of none, which the user could never see again.
  if (!(scaled < kLargestSide)) return static_cast<int>(kLargestSide);
  if (!(scaled >= 1)) return 1;
  return static_cast<int>(scaled);
}

LONG_PTR MiniWindowStyle(LONG_PTR normal_style) {
  return (normal_style & ~(kOverlappedWindowBits | kShowStateBits)) |
         static_cast<LONG_PTR>(WS_POPUP);
}

LONG_PTR RestoredWindowStyle(LONG_PTR saved_style) { return saved_style & ~kShowStateBits; }

POINT MinimumTrackSize(bool mini_mode, UINT dpi) {
  if (mini_mode) return {1, 1};
  const double scale = ScaleForDpi(dpi);
  return {static_cast<LONG>(kMinNormalWidth * scale), static_cast<LONG>(kMinNormalHeight * scale)};
}

MiniAnchor AnchorOfTimer(const RECT& timer, const RECT& work, UINT dpi) {
  const double scale = ScaleForDpi(dpi);
  // Compared doubled, so that no half pixel is lost.
  const bool right = int64_t{timer.left} + timer.right > int64_t{work.left} + work.right;
  const bool bottom = int64_t{timer.top} + timer.bottom > int64_t{work.top} + work.bottom;
  return {right, bottom, (right ? work.right - timer.right : timer.left - work.left) / scale,
          (bottom ? work.bottom - timer.bottom : timer.top - work.top) / scale};
}

RECT PlaceMiniWindow(const RECT& work, UINT dpi, double width, double height,
                     const std::optional<MiniAnchor>& anchor) {
  const double scale = ScaleForDpi(dpi);
  const LONG cx = ScaledMiniSide(width, scale);
  const LONG cy = ScaledMiniSide(height, scale);
  if (anchor) {
    const LONG side = Pixels(anchor->from_side, scale);
    const LONG end = Pixels(anchor->from_end, scale);
    const LONG left = anchor->right ? work.right - side - cx : work.left + side;
    const LONG top = anchor->bottom ? work.bottom - end - cy : work.top + end;
    const RECT dragged = {left, top, left + cx, top + cy};
    if (Inside(dragged, work)) return dragged;
  }
  const LONG margin = static_cast<LONG>(kMiniMargin * scale);
  return {work.right - margin - cx, work.bottom - margin - cy, work.right - margin,
          work.bottom - margin};
}

std::optional<size_t> MonitorOfRect(const std::vector<DisplayMonitor>& monitors, const RECT& rect) {
  std::optional<size_t> best;
  int64_t best_overlap = 0;
  int64_t best_gap = 0;
  for (size_t i = 0; i < monitors.size(); ++i) {
    const int64_t overlap = OverlapArea(rect, monitors[i].bounds);
    const int64_t gap = SquaredGap(rect, monitors[i].bounds);
    // The first of equals wins, as the system's own choice does.
    if (!best || overlap > best_overlap || (best_overlap == 0 && overlap == 0 && gap < best_gap)) {
      best = i;
      best_overlap = overlap;
      best_gap = gap;
    }
  }
  return best;
}

RECT NormalRectOnLiveMonitor(const std::vector<DisplayMonitor>& monitors, const RECT& normal) {
  const auto primary = std::find_if(monitors.begin(), monitors.end(),
                                    [](const DisplayMonitor& monitor) { return monitor.primary; });
  const POINT origin =
      primary != monitors.end() ? POINT{primary->work.left, primary->work.top} : POINT{0, 0};
  const RECT on_screen = Offset(normal, origin.x, origin.y);
  std::optional<size_t> nearest;
  int64_t nearest_gap = 0;
  for (size_t i = 0; i < monitors.size(); ++i) {
    if (OverlapArea(on_screen, monitors[i].work) > 0) return normal;
    const int64_t gap = SquaredGap(on_screen, monitors[i].work);
    if (!nearest || gap < nearest_gap) {
      nearest = i;
      nearest_gap = gap;
    }
  }
  if (!nearest) return normal;
  RECT moved = on_screen;
  const RECT& work = monitors[*nearest].work;
  FitSpan(moved.left, moved.right, work.left, work.right);
  FitSpan(moved.top, moved.bottom, work.top, work.bottom);
  return Offset(moved, -origin.x, -origin.y);
}

bool PutsTimerBackOnTop(std::wstring_view front_class, bool front_topmost) {
  if (front_topmost) return true;
  const std::wstring lowered = ToLower(std::wstring(front_class));
  return std::any_of(
      std::begin(kTaskbarClasses), std::end(kTaskbarClasses),
      [&](std::wstring_view taskbar) { return ToLower(std::wstring(taskbar)) == lowered; });
}
