#ifndef BRIDGE_MINI_WINDOW_GEOMETRY_H_
#define BRIDGE_MINI_WINDOW_GEOMETRY_H_

#include <windows.h>

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

#include "bridge/display_monitors.h"

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

// Where the user dragged the timer: the corner of the work area nearest to it (the one in whose
// quarter its centre lies) and its distances from that corner's two edges, in logical pixels, so
// that it keeps them on a work area of another size or at another DPI.
struct MiniAnchor {
  bool right;
  bool bottom;
  double from_side;
  double from_end;
};

// The anchor of a timer at |timer| on a monitor with |work| as its work area, at |dpi|.
MiniAnchor AnchorOfTimer(const RECT& timer, const RECT& work, UINT dpi);

// The timer of |width| x |height| logical pixels at |dpi| on the work area |work|: kept at the
// distances of |anchor| from its corner when the user dragged it and it still fits wholly inside
// the work area there; otherwise, and without a drag, at the bottom-right corner within the
// margin. Of the rules a dragged timer could follow this keeps the place the user chose when it
// can, and never leaves the timer partly under a taskbar or off the screen.
RECT PlaceMiniWindow(const RECT& work, UINT dpi, double width, double height,
                     const std::optional<MiniAnchor>& anchor);

// The monitor of |monitors| that |rect| lies on most; the nearest when it lies on none (its
// monitor went away); nothing when there are no monitors.
std::optional<size_t> MonitorOfRect(const std::vector<DisplayMonitor>& monitors, const RECT& rect);

// The normal window's saved place |normal|, in the coordinates of a saved placement (relative to
// the primary monitor's work area), kept when any of it lies on a work area of |monitors|;
// otherwise moved, and shrunk to fit, onto the work area of the nearest monitor, at the edge
// closest to where it was.
RECT NormalRectOnLiveMonitor(const std::vector<DisplayMonitor>& monitors, const RECT& normal);

// Whether the timer must go back above a window of class |front_class| that came to the front:
// a taskbar, which puts itself above every always-on-top window, or any other always-on-top
// window (|front_topmost|). Class names are compared as the system compares them.
bool PutsTimerBackOnTop(std::wstring_view front_class, bool front_topmost);

#endif  // BRIDGE_MINI_WINDOW_GEOMETRY_H_
