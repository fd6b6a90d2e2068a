#include <gtest/gtest.h>
#include <objbase.h>
#include <shobjidl.h>
#include <windows.h>

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "bridge/system_calls.h"
#include "bridge/virtual_desktops.h"
#include "bridge/window_blocking.h"
#include "common/scoped_handles.h"
#include "messaging/encodable_value.h"
#include "tests/bridge/bridge_fixture.h"
#include "tests/runner/fake_engine.h"
#include "tests/support/fixtures.h"
#include "tests/support/handle_count.h"
#include "tests/support/shell_fixtures.h"

namespace keelo::testing {
namespace {

using flutter::EncodableMap;

int64_t HandleValue(HWND window) { return reinterpret_cast<intptr_t>(window); }

TEST(VirtualDesktopDecisionTest, OnlyAWindowOnAnotherDesktopIsLeftWithoutTheFocusOrMovedHere) {
  struct Case {
    bool iconic;
    DesktopPlace place;
    int show_command;
    bool give_foreground;
  };
  for (const Case& c : {Case{true, DesktopPlace::kCurrent, SW_RESTORE, true},
                        Case{false, DesktopPlace::kCurrent, SW_SHOW, true},
                        Case{true, DesktopPlace::kUnknown, SW_RESTORE, true},
                        Case{false, DesktopPlace::kUnknown, SW_SHOW, true},
                        Case{true, DesktopPlace::kOther, SW_SHOWNOACTIVATE, false},
                        Case{false, DesktopPlace::kOther, SW_SHOWNA, false}}) {
    const RestoreSteps steps = RestoreStepsFor(c.iconic, c.place);
    EXPECT_EQ(steps.show_command, c.show_command) << c.iconic << static_cast<int>(c.place);
    EXPECT_EQ(steps.give_foreground, c.give_foreground) << c.iconic << static_cast<int>(c.place);
  }
  EXPECT_TRUE(MovesHostToCurrentDesktop(DesktopPlace::kOther));
  EXPECT_FALSE(MovesHostToCurrentDesktop(DesktopPlace::kCurrent));
  EXPECT_FALSE(MovesHostToCurrentDesktop(DesktopPlace::kUnknown));
}

// Wine has no virtual desktops: the shell's answers come through the seam.
class VirtualDesktopTest : public WindowBridgeTest {
 protected:
  void SetUp() override {
    fake_engine().dpi = 96;
    system_->virtual_desktops.locate = [places = places_](HWND window) {
      const auto found = places->find(window);
      return found != places->end() ? found->second : DesktopPlace::kUnknown;
    };
    system_->virtual_desktops.move_to_current = [places = places_, moved = moved_](HWND window) {
      moved->push_back(window);
      (*places)[window] = DesktopPlace::kCurrent;
      return true;
    };
  }
  void TearDown() override { ResetFakeEngine(); }

  std::shared_ptr<std::map<HWND, DesktopPlace>> places_ =
      std::make_shared<std::map<HWND, DesktopPlace>>();
  std::shared_ptr<std::vector<HWND>> moved_ = std::make_shared<std::vector<HWND>>();
};

TEST_F(VirtualDesktopTest, TheHostComesToTheUsersDesktopAndARestoredWindowStaysOnItsOwn) {
  auto app = FixtureProcess::Start(FixtureExecutable(L"fixture_plain.exe"), L"on a desktop");
  ASSERT_NE(app, nullptr);
  HWND other = app->window();
  const auto iconic = [&] { return IsIconic(other) != FALSE; };
  const auto in_front = [&] { return GetForegroundWindow() == other; };
  struct Case {
    const char* what;
    DesktopPlace host;
    DesktopPlace app;
    bool host_moved;
    bool app_gets_focus;
  };
  for (const Case& c : {
           Case{"both on the user's desktop", DesktopPlace::kCurrent, DesktopPlace::kCurrent, false,
                true},
           Case{"no virtual desktops to ask", DesktopPlace::kUnknown, DesktopPlace::kUnknown, false,
                true},
           Case{"the app on another desktop", DesktopPlace::kCurrent, DesktopPlace::kOther, false,
                false},
           Case{"the host on another desktop", DesktopPlace::kOther, DesktopPlace::kCurrent, true,
                true},
       }) {
    *places_ = {{window_, c.host}, {other, c.app}};
    moved_->clear();
    // The X server's late focus events from the previous case can hand the focus back to the
    // host after the switch: ask again until the app holds it.
    ASSERT_TRUE(PumpUntil([&] {
      if (!in_front()) SetForegroundWindow(other);
      return in_front();
    })) << c.what;

    EXPECT_EQ(Call(kDesktopChannel, "blockWindow", EncodableMap{{"hwnd", HandleValue(other)}}),
              kTrue)
        << c.what;
    EXPECT_TRUE(PumpUntil(iconic)) << c.what;
    EXPECT_EQ(*moved_, c.host_moved ? std::vector<HWND>{window_} : std::vector<HWND>{}) << c.what;
    EXPECT_EQ(GetForegroundWindow(), window_) << c.what;

    EXPECT_EQ(Call(kDesktopChannel, "restoreWindow", EncodableMap{{"hwnd", HandleValue(other)}}),
              kTrue)
        << c.what;
    EXPECT_TRUE(PumpUntil([&] { return !iconic(); })) << c.what;
    EXPECT_TRUE(IsWindowVisible(other)) << c.what;
    if (c.app_gets_focus) {
      EXPECT_TRUE(PumpUntil(in_front)) << c.what;
    } else {
      // The app's program has shown it; a hand-over of the focus would have come with that. The
      // host may lose the focus to nobody meanwhile, when the X server's late focus events for
      // the mapped window arrive: only the app taking it is the fault.
      Sleep(300);
      PumpMessages();
      EXPECT_NE(GetForegroundWindow(), other) << c.what;
    }
  }
}

// Where the interface is there, the host's own window in front is on the user's desktop; where
// it is missing the seam cannot say and moves nothing. Wine 8 is the second case: creating the
// shell's manager fails with REGDB_E_CLASSNOTREG (0x80040154), and keeps two handles each time.
// Asked at every block and every raise, the seam must not grow the host's handles either way.
TEST_F(VirtualDesktopTest, TheRealSeamSaysNothingWhereTheShellHasNoVirtualDesktops) {
  const ScopedComApartment com;
  const VirtualDesktopCalls real = SystemCalls::Real().virtual_desktops;
  ComPtr<IVirtualDesktopManager> manager;
  const HRESULT created = CoCreateInstance(CLSID_VirtualDesktopManager, nullptr, CLSCTX_ALL,
                                           __uuidof(IVirtualDesktopManager), manager.put_void());
  RecordProperty("create_result", static_cast<int>(created));
  SetForegroundWindow(window_);
  const DesktopPlace expected = FAILED(created) ? DesktopPlace::kUnknown : DesktopPlace::kCurrent;
  EXPECT_EQ(real.locate(window_), expected) << std::hex << created;
  const DWORD handles = OpenHandleCount();
  for (int i = 0; i < 50; ++i) {
    EXPECT_EQ(real.locate(window_), expected) << std::hex << created;
    if (FAILED(created)) {
      EXPECT_FALSE(real.move_to_current(window_)) << std::hex << created;
    }
  }
  EXPECT_EQ(OpenHandleCount(), handles);
}

}  // namespace
}  // namespace keelo::testing
