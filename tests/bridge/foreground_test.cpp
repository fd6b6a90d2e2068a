#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <optional>
#include <vector>

#include "bridge/app_identity.h"
#include "bridge/desktop_bridge.h"
#include "messaging/standard_method_codec.h"
#include "tests/bridge/bridge_fixture.h"
#include "tests/support/fixtures.h"

namespace keelo::testing {
namespace {

using flutter::EncodableMap;
using flutter::EncodableValue;

class ForegroundTest : public BridgeTest {
 protected:
  // The "onForeground" events the host sent so far, decoded.
  std::vector<EncodableValue> ForegroundReports() {
    std::vector<EncodableValue> reports;
    for (const auto& message : engine_->host_messages()) {
      EXPECT_EQ(message.channel, kDesktopChannel);
      EXPECT_FALSE(message.wants_reply);
      const auto call = flutter::StandardMethodCodec::ForSerializer(nullptr).DecodeCall(
          message.bytes.data(), message.bytes.size());
      if (call == nullptr || call->method_name() != "onForeground") {
        ADD_FAILURE() << "not an onForeground event";
        continue;
      }
      reports.push_back(call->arguments() != nullptr ? *call->arguments() : EncodableValue());
    }
    return reports;
  }

  void Fire(HWND window, LONG object_id = OBJID_WINDOW) {
    DesktopBridge::ForegroundEventProc(bridge_->foreground_hook(), EVENT_SYSTEM_FOREGROUND, window,
                                       object_id, CHILDID_SELF, 0, 0);
  }
};

TEST_F(ForegroundTest, HookIsInstalledWithTheBridgeAndRemovedWithIt) {
  HWINEVENTHOOK hook = bridge_->foreground_hook();
  ASSERT_NE(hook, nullptr);
  bridge_.reset();
  // Already removed: a second removal finds nothing.
  EXPECT_FALSE(UnhookWinEvent(hook));
}

TEST_F(ForegroundTest, OnlyAWindowObjectWithALiveBridgeIsReportedAndEveryTime) {
  auto app = FixtureProcess::Start(FixtureExecutable(L"fixture_versioned.exe"), L"foreground");
  ASSERT_NE(app, nullptr);

  Fire(app->window(), OBJID_CLIENT);
  Fire(nullptr);
  EXPECT_TRUE(ForegroundReports().empty());

  Fire(app->window());
  Fire(app->window());
  const EncodableValue expected(BuildWindowIdentity(app->window()));
  EXPECT_EQ(ForegroundReports(), (std::vector<EncodableValue>{expected, expected}));

  bridge_.reset();
  DesktopBridge::ForegroundEventProc(nullptr, EVENT_SYSTEM_FOREGROUND, app->window(), OBJID_WINDOW,
                                     CHILDID_SELF, 0, 0);
  EXPECT_EQ(ForegroundReports().size(), 2u);
}

TEST_F(ForegroundTest, GetForegroundNamesTheWindowInFrontUnlessItIsTheHosts) {
  HWND own = CreateWindowExW(0, L"STATIC", L"Keelo under test", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0,
                             0, 200, 100, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(own, nullptr);
  bridge_.reset();
  bridge_ = std::make_unique<DesktopBridge>(messenger_.get(), own);
  auto app = FixtureProcess::Start(FixtureExecutable(L"fixture_versioned.exe"), L"in front");
  ASSERT_NE(app, nullptr);

  SetForegroundWindow(own);
  ASSERT_EQ(GetForegroundWindow(), own);
  EXPECT_EQ(CallForValue(kDesktopChannel, "getForeground"), EncodableValue());

  // Wine activates another process's window through that process's message queue, so the
  // change shows only once the other process has handled it.
  SetForegroundWindow(app->window());
  for (int waited = 0; waited < 2000 && GetForegroundWindow() != app->window(); waited += 10) {
    Sleep(10);
  }
  ASSERT_EQ(GetForegroundWindow(), app->window());
  EXPECT_EQ(CallForValue(kDesktopChannel, "getForeground"),
            EncodableValue(BuildWindowIdentity(app->window())));
  bridge_.reset();
  DestroyWindow(own);
}

}  // namespace
}  // namespace keelo::testing
