#include "bridge/mini_window_geometry.h"

#include <cmath>

#include "common/dpi.h"

namespace {

// The largest coordinate a window's size can take.
constexpr double kLargestSide = 32767;
constexpr LONG_PTR kOverlappedWindowBits =
    WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
// Kept, a window entered from minimised or maximised would stay so under the timer's size.
constexpr LONG_PTR kShowStateBits = WS_MINIMIZE | WS_MAXIMIZE;

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
