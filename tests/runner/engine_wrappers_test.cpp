#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runner/engine/engine_project.h"
#include "runner/engine/flutter_engine.h"
#include "runner/engine/flutter_view_controller.h"
#include "runner/engine/plugin_registrant.h"
#include "tests/runner/fake_engine.h"

namespace keelo::testing {
namespace {

class EngineWrappersTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetFakeEngine(); }

  flutter::EngineProject project_{L"data"};
};

TEST_F(EngineWrappersTest, ProjectWithoutArgumentsPassesNullArrayAndEmptyEntrypoint) {
  flutter::FlutterEngine engine(project_);
  const FakeEngineLibrary& fake = fake_engine();
  EXPECT_EQ(fake.assets_path, L"data\\flutter_assets");
  EXPECT_EQ(fake.icu_data_path, L"data\\icudtl.dat");
  EXPECT_EQ(fake.aot_library_path, L"data\\app.so");
  EXPECT_FALSE(fake.entrypoint_was_null);
  EXPECT_EQ(fake.entrypoint, "");
  EXPECT_EQ(fake.argc, 0);
  EXPECT_TRUE(fake.argv_was_null);
  EXPECT_EQ(fake.options, (std::array<int32_t, 4>{0, 0, 0, 0}));
  EXPECT_EQ(fake.byte_option, 0);
}

TEST_F(EngineWrappersTest, EntrypointArgumentsArePassedInOrder) {
  project_.dart_entrypoint_arguments = {"--minimized", "", "gr\xc3\xbc\xc3\x9f"};
  flutter::FlutterEngine engine(project_);
  EXPECT_EQ(fake_engine().argc, 3);
  EXPECT_FALSE(fake_engine().argv_was_null);
  EXPECT_EQ(fake_engine().argv, project_.dart_entrypoint_arguments);
}

TEST_F(EngineWrappersTest, EngineIsDestroyedOnlyWhileItOwnsItsHandle) {
  { flutter::FlutterEngine engine(project_); }
  EXPECT_EQ(fake_engine().engines_destroyed, 1);

  FlutterDesktopEngineRef taken;
  {
    flutter::FlutterEngine engine(project_);
    taken = engine.TakeEngineHandle();
    ASSERT_NE(taken, nullptr);
    // Still usable after the take: the registry and the font reload go to the same engine.
    engine.ReloadSystemFonts();
    EXPECT_NE(engine.GetRegistrar("Plugin"), nullptr);
  }
  EXPECT_EQ(fake_engine().engines_destroyed, 1);
  EXPECT_EQ(fake_engine().null_handle_calls, 0);
  FlutterDesktopEngineDestroy(taken);
}

TEST_F(EngineWrappersTest, NextFrameCallbackRunsOnceAndOnlyTheLastOneSet) {
  flutter::FlutterEngine engine(project_);
  std::vector<std::string> ran;
  engine.SetNextFrameCallback([&ran] { ran.push_back("first"); });
  engine.SetNextFrameCallback([&ran] { ran.push_back("second"); });
  FlutterDesktopOnNextFrameCallback trampoline = fake_engine().next_frame_callback;
  void* user_data = fake_engine().next_frame_user_data;
  DeliverFrame();
  EXPECT_EQ(ran, std::vector<std::string>{"second"});

  // A further frame without a new request runs nothing.
  trampoline(user_data);
  EXPECT_EQ(ran.size(), 1u);
}

TEST_F(EngineWrappersTest, NextFrameCallbackMaySetTheFollowingOne) {
  flutter::FlutterEngine engine(project_);
  int frames = 0;
  engine.SetNextFrameCallback([&] {
    ++frames;
    engine.SetNextFrameCallback([&frames] { frames += 10; });
  });
  DeliverFrame();
  DeliverFrame();
  EXPECT_EQ(frames, 11);
}

TEST_F(EngineWrappersTest, RegistrarOfAnEngineThatFailedIsNullWithDiagnostic) {
  fake_engine().fail_engine_create = true;
  flutter::FlutterEngine engine(project_);
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(engine.GetRegistrar("UrlLauncherWindows"), nullptr);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "Cannot get plugin registrar on an engine that isn't running; call Run first.\n");
  EXPECT_TRUE(fake_engine().registrar_names.empty());
  // No engine, so no messenger is asked of a null engine either.
  EXPECT_EQ(fake_engine().null_handle_calls, 0);
}

TEST_F(EngineWrappersTest, ControllerRunsTheEngineAndEndsItOnce) {
  {
    flutter::FlutterViewController controller(640, 480, project_);
    ASSERT_NE(controller.view(), nullptr);
    ASSERT_NE(controller.engine(), nullptr);
    EXPECT_EQ(controller.view()->GetHWND(), fake_engine().last_view);
    RECT view_rect;
    GetClientRect(controller.view()->GetHWND(), &view_rect);
    EXPECT_EQ(view_rect.right, 640);
    EXPECT_EQ(view_rect.bottom, 480);
  }
  EXPECT_EQ(fake_engine().controllers_destroyed, 1);
  EXPECT_EQ(fake_engine().engines_destroyed, 1);
  EXPECT_EQ(fake_engine().null_handle_calls, 0);
}

TEST_F(EngineWrappersTest, FailedControllerReportsAndNeverPassesANullHandleOn) {
  fake_engine().fail_view_controller = true;
  ::testing::internal::CaptureStderr();
  {
    flutter::FlutterViewController controller(640, 480, project_);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Failed to create view controller.\n");
    EXPECT_EQ(controller.view(), nullptr);
    controller.ForceRedraw();
    EXPECT_FALSE(controller.HandleTopLevelWindowProc(nullptr, WM_SIZE, 0, 0).has_value());
  }
  EXPECT_EQ(fake_engine().controllers_destroyed, 0);
  // Ended once, by the library that took it over, and not again by the engine object.
  EXPECT_EQ(fake_engine().engines_destroyed, 1);
  EXPECT_EQ(fake_engine().null_handle_calls, 0);
  EXPECT_TRUE(fake_engine().top_level_messages.empty());
}

TEST_F(EngineWrappersTest, TopLevelMessageResultOnlyWhenTheEngineConsumesIt) {
  flutter::FlutterViewController controller(100, 100, project_);
  fake_engine().consumed_message = WM_SETTINGCHANGE;
  fake_engine().consumed_result = 42;
  EXPECT_EQ(controller.HandleTopLevelWindowProc(nullptr, WM_SETTINGCHANGE, 0, 0),
            std::optional<LRESULT>(42));
  EXPECT_EQ(controller.HandleTopLevelWindowProc(nullptr, WM_SIZE, 0, 0), std::nullopt);
  EXPECT_EQ(fake_engine().top_level_messages, (std::vector<UINT>{WM_SETTINGCHANGE, WM_SIZE}));
}

TEST_F(EngineWrappersTest, UrlLauncherIsRegisteredWithItsOwnRegistrar) {
  flutter::FlutterViewController controller(100, 100, project_);
  RegisterAllPlugins(controller.engine());
  EXPECT_EQ(fake_engine().registrar_names, std::vector<std::string>{"UrlLauncherWindows"});
  EXPECT_EQ(fake_engine().url_launcher_registrations, 1);
  EXPECT_NE(fake_engine().registered_with_url_launcher, nullptr);
}

}  // namespace
}  // namespace keelo::testing
