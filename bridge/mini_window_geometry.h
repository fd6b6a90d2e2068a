#ifndef BRIDGE_MINI_WINDOW_GEOMETRY_H_
#define BRIDGE_MINI_WINDOW_GEOMETRY_H_

#include <windows.h>

// The geometry and style of the mini timer, as pure functions of the values involved.

inline constexpr double kDefaultMiniWidth = 380;
inline constexpr double kDefaultMiniHeight = 88;
// Between the mini window and the right and bottom edges of the work area, in logical pixels.
inline constexpr int kMiniMargin = 16;
// The normal window's minimum tracking size, in logical pixels.
inline constexpr int kMinNormalWidth = 760;
inline constexpr int kMinNormalHeight = 560;

// A side the UI application asked for, in logical pixels: |requested| when it is a finite
// number above zero, |fallback| otherwise.
double UsableMiniSide(double requested, double fallback);

// |logical| pixels at |scale|, rounded half up, at least one pixel and at most what a window
// coordinate holds.
int ScaledMiniSide(double logical, double scale);

// The mini window's style: |normal_style| without caption, system menu, frame and the two boxes,
// and neither minimised nor maximised, as a popup; every other bit kept.
LONG_PTR MiniWindowStyle(LONG_PTR normal_style);

// The style put back when mini mode is left: |saved_style| as it was on entry, but neither
// minimised nor maximised. The saved placement brings the show state back, and it sizes a window
// for "show maximised" only when the window does not already claim to be maximised.
LONG_PTR RestoredWindowStyle(LONG_PTR saved_style);

// The smallest size the user may drag the window to: anything in mini mode, the normal minimum
// scaled to |dpi| otherwise.
POINT MinimumTrackSize(bool mini_mode, UINT dpi);

#endif  // BRIDGE_MINI_WINDOW_GEOMETRY_H_
