#include <gtest/gtest.h>
#include <windows.h>
// shellapi.h needs the types that windows.h declares.
#include <shellapi.h>

#include <memory>
#include <string>

#include "bridge/window_messages.h"
#include "messaging/method_call.h"
#include "messaging/standard_method_codec.h"
#include "tests/bridge/bridge_fixture.h"
#include "tests/runner/fake_engine.h"

namespace keelo::testing {
namespace {

using flutter::EncodableMap;
using flutter::EncodableValue;

// The calls of the shell that the bridge makes may let a message sent to its window in before
// they return: Shell_NotifyIconW, and ShellExecuteW, which may run a COM modal loop. These
// seams play such a call that lets the quit message in.
class ReentrantQuitTest : public WindowBridgeTest {
 protected:
  void SetUp() override { PumpMessages(); }
  void TearDown() override { ResetFakeEngine(); }

  // Sends the quit message as another program would, from inside the bridge's call, and notes
  // whether the window and the bridge's icon were still there when it came back.
  void SendQuitFromInside() {
    SendMessageW(window_, QuitMessage(), 0, 0);
    still_there_after_quit_ = IsWindow(window_) && bridge_->tray_icon_added();
  }

  bool still_there_after_quit_ = false;
};

TEST_F(ReentrantQuitTest, QuitDuringALaunchWaitsUntilTheCallHasReplied) {
  bridge_->system_calls_for_testing().launch_app = [&](const std::wstring&) {
    SendQuitFromInside();
    return true;
  };
  EXPECT_EQ(Call(kDesktopChannel, "launchApp", EncodableMap{{"path", "C:\\Tools\\editor.exe"}}),
            kTrue);
  EXPECT_TRUE(still_there_after_quit_);
  EXPECT_TRUE(IsWindow(window_));
  PumpMessages();
  EXPECT_FALSE(IsWindow(window_));
  EXPECT_FALSE(bridge_->tray_icon_added());
}

TEST_F(ReentrantQuitTest, QuitDuringABalloonWaitsUntilTheCallHasReplied) {
  bridge_->system_calls_for_testing().show_balloon = [&](const NOTIFYICONDATAW&) {
    SendQuitFromInside();
    return true;
  };
  EXPECT_EQ(Call(kUiChannel, "notify", EncodableMap{{"title", "Break"}, {"body", "Stand up"}}),
            kNull);
  EXPECT_TRUE(still_there_after_quit_);
  PumpMessages();
  EXPECT_FALSE(IsWindow(window_));
}

// A call that arrives while another is being handled (the engine's messages are dispatched in
// any loop the first one runs): the quit waits for the outer one, not only the inner.
TEST_F(ReentrantQuitTest, QuitInsideANestedCallWaitsForTheOutermostCall) {
  bool there_after_inner_call = false;
  bridge_->system_calls_for_testing().show_balloon = [&](const NOTIFYICONDATAW&) {
    SendQuitFromInside();
    return true;
  };
  bridge_->system_calls_for_testing().launch_app = [&](const std::wstring&) {
    const flutter::MethodCall notify(
        "notify", std::make_unique<EncodableValue>(EncodableMap{{"title", "inner"}}));
    const auto message = flutter::StandardMethodCodec::ForSerializer(nullptr).EncodeCall(notify);
    const uint64_t inner = engine_->SendToHost(kUiChannel, *message);
    engine_->RunPendingTasks();
    EXPECT_EQ(engine_->ResponsesTo(inner), kNull);
    PumpMessages();
    there_after_inner_call = IsWindow(window_) != FALSE;
    return true;
  };
  EXPECT_EQ(Call(kDesktopChannel, "launchApp", EncodableMap{{"path", "C:\\Tools\\editor.exe"}}),
            kTrue);
  EXPECT_TRUE(still_there_after_quit_);
  EXPECT_TRUE(there_after_inner_call);
  PumpMessages();
  EXPECT_FALSE(IsWindow(window_));
}

TEST_F(ReentrantQuitTest, QuitOutsideAnyCallIsCarriedOutAtOnce) {
  SendMessageW(window_, QuitMessage(), 0, 0);
  EXPECT_FALSE(IsWindow(window_));
  EXPECT_FALSE(bridge_->tray_icon_added());
}

}  // namespace
}  // namespace keelo::testing
