// Starting the stand-in engine: a bundle that is incomplete, paths relative to the executable's
// folder, and handles used wrongly by the host.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <string>
#include <vector>

#include "devkit/driver/client/driver_client.h"
#include "engine_api/flutter_windows.h"
#include "messaging/binary_messenger_impl.h"
#include "tests/devkit/engine_fixture.h"

namespace devkit::testing {
namespace {

using ::testing::HasSubstr;
using namespace std::chrono_literals;

// Windows of the engine's classes that the host thread still owns, top-level or message-only.
int EngineWindowsOf(DWORD thread_id) {
  int count = 0;
  for (HWND parent : {HWND(nullptr), HWND_MESSAGE}) {
    HWND window = nullptr;
    while ((window = FindWindowExW(parent, window, nullptr, nullptr)) != nullptr) {
      wchar_t name[64] = {};
      GetClassNameW(window, name, 64);
      if (GetWindowThreadProcessId(window, nullptr) == thread_id &&
          std::wstring(name).rfind(L"KeeloDevkit", 0) == 0 &&
          std::wstring(name) != L"KeeloDevkitTestHost") {
        ++count;
      }
    }
  }
  return count;
}

TEST_F(DevkitEngineTest, ViewControllerCreationFailsCleanlyWhenTheBundleIsIncomplete) {
  struct Case {
    const char* what;
    EngineSetup setup;
    const char* diagnostic;
  };
  std::vector<Case> cases(4);
  cases[0] = {"no assets folder", EngineSetup(), "assets folder not found: "};
  cases[0].setup.assets = L"missing\\flutter_assets";
  cases[1] = {"no ICU data", EngineSetup(), "ICU data not found: "};
  cases[1].setup.icu_data = L"data\\missing_icudtl.dat";
  cases[2] = {"no library", EngineSetup(), "cannot load the UI application "};
  cases[2].setup.aot_library = L"data\\missing.so";
  cases[3] = {"a library without the entry points", EngineSetup(), "is not a UI application"};
  cases[3].setup.aot_library = L"url_launcher_windows_plugin.dll";
  for (Case& failure : cases) {
    SCOPED_TRACE(failure.what);
    failure.setup.arguments = client_->DriverArguments({kDesktop});
    bool started = true;
    FlutterDesktopEngineRef engine = nullptr;
    ::testing::internal::CaptureStderr();
    host_.Run([&] {
      started = host_.StartEngine(failure.setup);
      engine = host_.engine();
    });
    const std::string diagnostics = ::testing::internal::GetCapturedStderr();
    EXPECT_FALSE(started);
    EXPECT_EQ(engine, nullptr);
    EXPECT_THAT(diagnostics, HasSubstr(failure.diagnostic));
    host_.Run([&] { EXPECT_EQ(EngineWindowsOf(host_.thread_id()), 0) << "windows left behind"; });
  }
  EXPECT_FALSE(client_->WaitForDriver(200ms).ok()) << "a UI application was started";
}

TEST_F(DevkitEngineTest, RelativePathsResolveAgainstTheExecutablesFolder) {
  wchar_t previous[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, previous);
  wchar_t elsewhere[MAX_PATH];
  GetTempPathW(MAX_PATH, elsewhere);
  ASSERT_TRUE(SetCurrentDirectoryW(elsewhere));
  EngineSetup setup;
  setup.entrypoint = "devkitMain";
  setup.arguments = {"--minimized", "caf\xC3\xA9"};
  StartWithDriver(setup);
  SetCurrentDirectoryW(previous);
  if (HasFatalFailure()) return;

  const DriverResult<EngineStateMessage> state = client_->QueryState();
  ASSERT_TRUE(state.ok()) << state.error;
  EXPECT_EQ(state.value.entrypoint, "devkitMain");
  std::vector<std::string> expected = {"--minimized", "caf\xC3\xA9"};
  const std::vector<std::string> driver = client_->DriverArguments({kDesktop, kUi});
  expected.insert(expected.end(), driver.begin(), driver.end());
  EXPECT_EQ(state.value.entrypoint_arguments, expected);
}

TEST_F(DevkitEngineTest, EngineHandlesAreGuardedAgainstMisuse) {
  ASSERT_NO_FATAL_FAILURE(StartWithDriver());
  ::testing::internal::CaptureStderr();
  host_.Run([&] {
    // The controller owns the engine; destroying it under the controller would leave that
    // dangling.
    EXPECT_FALSE(FlutterDesktopEngineDestroy(host_.engine()));
    EXPECT_EQ(FlutterDesktopViewControllerCreate(100, 100, host_.engine()), nullptr);
    // What a host that failed to create its engine passes on.
    EXPECT_EQ(FlutterDesktopEngineGetMessenger(nullptr), nullptr);
    flutter::BinaryMessengerImpl orphan(nullptr);
    bool replied = false;
    orphan.Send(kDesktop, nullptr, 0, [&](const uint8_t*, size_t) { replied = true; });
    EXPECT_FALSE(replied);
    EXPECT_EQ(FlutterDesktopViewControllerCreate(100, 100, nullptr), nullptr);
  });
  const std::string diagnostics = ::testing::internal::GetCapturedStderr();
  EXPECT_THAT(diagnostics, HasSubstr("goes with the controller"));
  EXPECT_THAT(diagnostics, HasSubstr("already runs in another view controller"));
  // The engine still runs.
  const DriverResult<Bytes> reply = client_->Call(kDesktop, Text("still there?"));
  EXPECT_TRUE(reply.ok()) << reply.error;
}

}  // namespace
}  // namespace devkit::testing
