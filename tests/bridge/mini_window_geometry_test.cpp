#include "bridge/mini_window_geometry.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <string_view>
#include <vector>

#include "tests/bridge/rect_compare.h"

namespace keelo::testing {
namespace {

constexpr RECT kScreen = {0, 0, 1920, 1080};
constexpr RECT kRightScreen = {1920, 0, 3840, 1080};

DisplayMonitor Monitor(RECT bounds, RECT work, UINT dpi = 96, bool primary = false) {
  return DisplayMonitor{bounds, work, dpi, primary};
}

// The bottom-right corner within the margin, and the size, of a default timer.
RECT Corner(const RECT& work, LONG margin, LONG width, LONG height) {
  return {work.right - margin - width, work.bottom - margin - height, work.right - margin,
          work.bottom - margin};
}

TEST(MiniPlacementTest, TheTimerFollowsTheCornerOfTheWorkAreaAtEveryDpi) {
  struct Case {
    const char* what;
    RECT work;
    UINT dpi;
    RECT expected;
  };
  const Case cases[] = {
      {"taskbar at the bottom", {0, 0, 1920, 1040}, 96, Corner({0, 0, 1920, 1040}, 16, 380, 88)},
      {"taskbar at the top", {0, 40, 1920, 1080}, 96, Corner({0, 40, 1920, 1080}, 16, 380, 88)},
      {"taskbar on the left", {62, 0, 1920, 1080}, 96, Corner({62, 0, 1920, 1080}, 16, 380, 88)},
      {"taskbar on the right", {0, 0, 1858, 1080}, 96, Corner({0, 0, 1858, 1080}, 16, 380, 88)},
      {"work area shrunk by a docked bar",
       {0, 0, 1500, 700},
       96,
       Corner({0, 0, 1500, 700}, 16, 380, 88)},
      {"a monitor to the right",
       {1920, 0, 3840, 1040},
       96,
       Corner({1920, 0, 3840, 1040}, 16, 380, 88)},
      {"at 144 DPI", {0, 0, 2880, 1560}, 144, Corner({0, 0, 2880, 1560}, 24, 570, 132)},
      // 380 x 1.25 = 475, 88 x 1.25 = 110, 16 x 1.25 = 20.
      {"then at 120 DPI", {0, 0, 2400, 1300}, 120, Corner({0, 0, 2400, 1300}, 20, 475, 110)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PlaceMiniWindow(c.work, c.dpi, 380, 88, std::nullopt), c.expected) << c.what;
  }
}

TEST(MiniPlacementTest, ADraggedTimerKeepsItsDistancesFromTheNearestCornerWhileItFits) {
  const RECT work = {0, 0, 1920, 1040};
  struct Case {
    const char* what;
    RECT dragged;
    RECT new_work;
    UINT new_dpi;
    RECT expected;
  };
  const Case cases[] = {
      {"top-left, taskbar moved to the left",
       {200, 150, 580, 238},
       {62, 0, 1920, 1080},
       96,
       {262, 150, 642, 238}},
      {"top-right, taskbar moved to the top",
       {1500, 30, 1880, 118},
       {0, 40, 1920, 1080},
       96,
       {1500, 70, 1880, 158}},
      {"bottom-left, work area shrunk",
       {10, 900, 390, 988},
       {0, 0, 1500, 700},
       96,
       {10, 560, 390, 648}},
      {"bottom-right, on a monitor to the right",
       {1400, 800, 1780, 888},
       kRightScreen,
       96,
       {3320, 840, 3700, 928}},
      // The distances are logical: 200 and 150 become 300 and 225 at 144 DPI.
      {"top-left, at 144 DPI", {200, 150, 580, 238}, {0, 0, 2880, 1560}, 144, {300, 225, 870, 357}},
      // No longer fits: back to the default corner rather than under the taskbar.
      {"bottom-left, work area too low",
       {10, 900, 390, 988},
       {0, 0, 1920, 120},
       96,
       Corner({0, 0, 1920, 120}, 16, 380, 88)},
      {"dragged half off the screen", {-100, 500, 280, 588}, work, 96, Corner(work, 16, 380, 88)},
  };
  for (const Case& c : cases) {
    const MiniAnchor anchor = AnchorOfTimer(c.dragged, work, 96);
    EXPECT_EQ(PlaceMiniWindow(c.new_work, c.new_dpi, 380, 88, anchor), c.expected) << c.what;
    // Where it was dragged, on the work area it was dragged on, it stays.
    if (c.dragged.left >= 0) {
      EXPECT_EQ(PlaceMiniWindow(work, 96, 380, 88, anchor), c.dragged) << c.what;
    }
  }
  // Dragged at 144 DPI, the distances are kept in logical pixels.
  const MiniAnchor at_144 = AnchorOfTimer({300, 225, 870, 357}, {0, 0, 2880, 1560}, 144);
  EXPECT_EQ(PlaceMiniWindow(work, 96, 380, 88, at_144), (RECT{200, 150, 580, 238}));
}

TEST(MonitorOfRectTest, TheMonitorItLiesOnMostOrTheNearestWhenItsOwnIsGone) {
  const std::vector<DisplayMonitor> two = {Monitor(kScreen, kScreen, 96, true),
                                           Monitor(kRightScreen, kRightScreen, 144)};
  struct Case {
    const char* what;
    std::vector<DisplayMonitor> monitors;
    RECT rect;
    std::optional<size_t> expected;
  };
  const Case cases[] = {
      {"on the first", two, {100, 100, 480, 188}, 0},
      {"on the second", two, {3000, 900, 3380, 988}, 1},
      {"across both, mostly on the second", two, {1800, 100, 2180, 188}, 1},
      {"across both, mostly on the first", two, {1700, 100, 2080, 188}, 0},
      // The monitor to the right was unplugged: the timer that was on it goes to the one left.
      {"its monitor removed", {two[0]}, {3000, 900, 3380, 988}, 0},
      {"on none, nearer the second", two, {4000, 2000, 4380, 2088}, 1},
      {"on none, left of the first", two, {-900, 100, -520, 188}, 0},
      {"no monitors at all", {}, {100, 100, 480, 188}, std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(MonitorOfRect(c.monitors, c.rect), c.expected) << c.what;
}

TEST(NormalRectOnLiveMonitorTest, ASavedPlaceOnAGoneMonitorComesBackOnTheNearestOne) {
  const RECT left_work = {0, 0, 1920, 1040};
  const std::vector<DisplayMonitor> one = {Monitor(kScreen, left_work, 96, true)};
  const std::vector<DisplayMonitor> two = {one[0], Monitor(kRightScreen, kRightScreen)};
  // With the taskbar on the left, a saved place is counted from the work area's left edge.
  const std::vector<DisplayMonitor> taskbar_left = {
      Monitor(kScreen, {62, 0, 1920, 1080}, 96, true)};
  struct Case {
    const char* what;
    std::vector<DisplayMonitor> monitors;
    RECT normal;
    RECT expected;
  };
  const Case cases[] = {
      {"on a live monitor", two, {2100, 100, 2900, 700}, {2100, 100, 2900, 700}},
      {"partly on a live monitor", one, {1700, 100, 2500, 700}, {1700, 100, 2500, 700}},
      {"its monitor removed", one, {2100, 100, 2900, 700}, {1120, 100, 1920, 700}},
      {"below every monitor", one, {100, 1500, 900, 2100}, {100, 440, 900, 1040}},
      {"larger than the work area left", one, {2000, -50, 4500, 1500}, {0, 0, 1920, 1040}},
      {"in saved-placement coordinates",
       taskbar_left,
       {2000, 100, 2800, 700},
       {1058, 100, 1858, 700}},
      {"no monitors at all", {}, {2100, 100, 2900, 700}, {2100, 100, 2900, 700}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(NormalRectOnLiveMonitor(c.monitors, c.normal), c.expected) << c.what;
  }
}

TEST(PutsTimerBackOnTopTest, TaskbarsInAnyCaseAndEveryAlwaysOnTopWindow) {
  using namespace std::string_view_literals;
  struct Case {
    std::wstring_view front_class;
    bool topmost;
    bool raises;
  };
  for (const Case& c :
       {Case{L"Shell_TrayWnd"sv, false, true}, Case{L"Shell_SecondaryTrayWnd"sv, false, true},
        Case{L"shell_traywnd"sv, false, true}, Case{L"Shell_TrayWnd"sv, true, true},
        Case{L"StickyNotes"sv, true, true}, Case{L"Notepad"sv, false, false},
        Case{L"Progman"sv, false, false}, Case{L"Shell_TrayWn"sv, false, false},
        Case{L""sv, false, false}}) {
    EXPECT_EQ(PutsTimerBackOnTop(c.front_class, c.topmost), c.raises)
        << c.front_class.size() << (c.topmost ? " topmost" : "");
  }
}

}  // namespace
}  // namespace keelo::testing
