#include <gtest/gtest.h>
#include <windows.h>

#include "tests/e2e/host_fixture.h"
#include "tests/support/registry_value_guard.h"

namespace keelo::testing {
namespace {

constexpr wchar_t kDesktopKey[] = L"Control Panel\\Desktop";

// The host's first window is centred in the work area, 48 logical pixels clear of its edges
// and at most 1280 x 860. Wine's work area is the whole 1920 x 1080 screen of the test run.
class HostFirstGeometryTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    // Physical pixels on both sides, whatever DPI the host runs at.
    auto set_awareness = reinterpret_cast<DPI_AWARENESS_CONTEXT(WINAPI*)(DPI_AWARENESS_CONTEXT)>(
        reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetThreadDpiAwarenessContext")));
    if (set_awareness != nullptr) set_awareness(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);

    RECT screen = {};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &screen, 0);
    if (screen.right - screen.left != 1920 || screen.bottom - screen.top != 1080) {
      GTEST_SKIP() << "the work area is " << screen.right - screen.left << "x"
                   << screen.bottom - screen.top << ", not the 1920x1080 Xvfb screen";
    }
  }

  void ExpectWindowRect(int left, int top, int width, int height) {
    RECT rect = {};
    GetWindowRect(window_, &rect);
    EXPECT_EQ(rect.left, left);
    EXPECT_EQ(rect.top, top);
    EXPECT_EQ(rect.right - rect.left, width);
    EXPECT_EQ(rect.bottom - rect.top, height);
  }
};

TEST_F(HostFirstGeometryTest, At96Dpi) {
  StartHost(L"--minimized");
  // 1920 x 1080 logical: 1280 x 860 at ((1920 - 1280) / 2, (1080 - 860) / 2).
  ExpectWindowRect(320, 110, 1280, 860);
}

TEST_F(HostFirstGeometryTest, At144DpiEverythingScalesByOneAndAHalf) {
  // Wine reads the DPI when a process starts, so only the host started next sees it; it is
  // taken away again as soon as the host runs.
  const RegistryValueGuard log_pixels(kDesktopKey, L"LogPixels");
  ASSERT_EQ(log_pixels.SetDword(144), ERROR_SUCCESS);
  StartHost(L"--minimized");
  log_pixels.Restore();
  // 1280 x 720 logical: 1232 x 672 at (24, 24), opened at 1.5 times that.
  ExpectWindowRect(36, 36, 1848, 1008);
}

}  // namespace
}  // namespace keelo::testing
