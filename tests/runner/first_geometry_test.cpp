#include "runner/first_geometry.h"

#include <gtest/gtest.h>

namespace {

void ExpectGeometry(const FirstGeometry& geometry, int x, int y, int width, int height) {
  EXPECT_EQ(geometry.origin.x, x);
  EXPECT_EQ(geometry.origin.y, y);
  EXPECT_EQ(geometry.size.width, width);
  EXPECT_EQ(geometry.size.height, height);
}

// Wine's work area is always the whole screen, so work areas with a taskbar or away from the
// origin are only reachable here.
TEST(FirstGeometryTest, WorkAreaWithTaskbarAt96And144Dpi) {
  ExpectGeometry(ComputeFirstGeometry({0, 0, 1920, 1040}, 96), 320, 90, 1280, 860);
  ExpectGeometry(ComputeFirstGeometry({0, 0, 1920, 1040}, 144), 24, 24, 1232, 645);
}

TEST(FirstGeometryTest, SmallWorkAreaKeepsTheMarginAndOffsetWorkAreaShiftsTheOrigin) {
  ExpectGeometry(ComputeFirstGeometry({0, 0, 1024, 768}, 96), 24, 24, 976, 720);
  // Taskbar on the left: the logical left edge is 60 / 1.25 = 48.
  ExpectGeometry(ComputeFirstGeometry({60, 0, 1920, 1080}, 120), 48 + 104, 24, 1280, 816);
}

}  // namespace
