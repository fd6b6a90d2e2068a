#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "bridge/app_identity.h"
#include "bridge/desktop_bridge.h"
#include "bridge/foreground_watcher.h"
#include "messaging/standard_method_codec.h"
#include "tests/bridge/bridge_fixture.h"
#include "tests/support/fixtures.h"
#include "tests/support/shell_fixtures.h"

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

  // What the system does for a change of the foreground; Wine raises no such event itself.
  static void Fire(HWND window, LONG object_id = OBJID_WINDOW) {
    ForegroundWatcher::ForegroundEventProc(nullptr, EVENT_SYSTEM_FOREGROUND, window, object_id,
                                           CHILDID_SELF, 0, 0);
  }
};

TEST(ForegroundWatcherTest, HookIsInstalledWithTheWatcherAndRemovedWithIt) {
  HWINEVENTHOOK hook = nullptr;
  {
    const ForegroundWatcher watcher(
        nullptr, [](EncodableMap) {}, [](HWND) {});
    hook = watcher.hook();
    ASSERT_NE(hook, nullptr);
  }
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
  Fire(app->window());
  EXPECT_EQ(ForegroundReports().size(), 2u);
}

TEST_F(ForegroundTest, GetForegroundNamesTheWindowInFrontUnlessItIsTheHosts) {
  HWND own = CreateWindowExW(0, L"STATIC", L"Keelo under test", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0,
                             0, 200, 100, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(own, nullptr);
  MakeBridge(own);
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

// A packaged app's frame as the tests make it: a fixture program copied under the frame host's
// file name, and another program whose window the test puts inside it.
class FrameHostForegroundTest : public WindowBridgeTest {
 protected:
  FrameHostForegroundTest() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    folder_ = std::wstring(temp) + L"keelo-frame-" + std::to_wstring(GetCurrentProcessId());
    EXPECT_TRUE(files_.Folder(folder_));
    frame_host_ = folder_ + L"\\ApplicationFrameHost.exe";
    EXPECT_TRUE(files_.Copy(FixtureExecutable(L"fixture_plain.exe"), frame_host_));
  }

  // A frame, and the packaged app that goes inside it once it has been made.
  void SetUp() override {
    frame_ = FixtureProcess::Start(frame_host_, L"packaged app frame");
    app_ = StartApp(L"packaged app");
    ASSERT_NE(frame_, nullptr);
    ASSERT_NE(app_, nullptr);
  }

  static std::unique_ptr<FixtureProcess> StartApp(const wchar_t* title) {
    return FixtureProcess::Start(FixtureExecutable(L"fixture_versioned.exe"), title);
  }

  // Where the system puts a packaged app's window once it has been made.
  static void PutInside(HWND frame, HWND app) {
    SetWindowLongPtrW(app, GWL_STYLE, WS_CHILD | WS_VISIBLE);
    ASSERT_NE(SetParent(app, frame), nullptr) << GetLastError();
  }

  static void Fire(HWND window) {
    ForegroundWatcher::ForegroundEventProc(nullptr, EVENT_SYSTEM_FOREGROUND, window, OBJID_WINDOW,
                                           CHILDID_SELF, 0, 0);
  }

  std::vector<EncodableValue> Reports() {
    std::vector<EncodableValue> reports;
    for (auto& [name, arguments] : Events(kDesktopChannel)) {
      EXPECT_EQ(name, "onForeground");
      reports.push_back(std::move(arguments));
    }
    return reports;
  }

  // Pumps the test's windows for |milliseconds|, time enough for any second look to have run.
  static void PumpFor(DWORD milliseconds) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < milliseconds) {
      PumpMessages();
      Sleep(10);
    }
  }

  // Whether a timer of the main window is due, without running it.
  bool TimerDue() {
    MSG message;
    return PeekMessageW(&message, window_, WM_TIMER, WM_TIMER, PM_NOREMOVE) != FALSE;
  }

  static std::string Exe(const EncodableValue& report) {
    return report.Get<EncodableMap>().at(EncodableValue("exe")).Get<std::string>();
  }

  // Before the processes, so that the copy is deleted only once its program has ended.
  CreatedFiles files_;
  std::wstring folder_;
  std::wstring frame_host_;
  std::unique_ptr<FixtureProcess> frame_;
  std::unique_ptr<FixtureProcess> app_;
};

// The frame was in front before the app was inside it: reported as the frame host, then once
// more as the app as soon as it is.
TEST_F(FrameHostForegroundTest, FrameIsReportedAgainOnceTheAppIsInside) {
  Fire(frame_->window());
  ASSERT_EQ(Reports().size(), 1u);
  EXPECT_EQ(Exe(Reports()[0]), "applicationframehost.exe");
  Sleep(200);
  PutInside(frame_->window(), app_->window());
  EXPECT_TRUE(PumpUntil([&] { return Reports().size() == 2; }));
  PumpFor(600);
  const std::vector<EncodableValue> reports = Reports();
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[1], EncodableValue(BuildWindowIdentity(frame_->window())));
  EXPECT_EQ(Exe(reports[1]), "fixture_versioned.exe");
}

TEST_F(FrameHostForegroundTest, FrameThatStaysEmptyIsLookedAtOnceAndNotReportedAgain) {
  Fire(frame_->window());
  PumpFor(800);
  EXPECT_EQ(Reports().size(), 1u);
  EXPECT_FALSE(TimerDue());

  // An app window in front is reported once, with no second look.
  Fire(app_->window());
  Sleep(400);
  EXPECT_FALSE(TimerDue());
  EXPECT_EQ(Reports().size(), 2u);
}

// What the user switched to meanwhile is what counts: the frame is not reported again.
TEST_F(FrameHostForegroundTest, NextForegroundChangeCancelsTheSecondLook) {
  auto other = StartApp(L"switched to");
  ASSERT_NE(other, nullptr);

  Fire(frame_->window());
  Fire(other->window());
  PutInside(frame_->window(), app_->window());
  PumpFor(800);
  const std::vector<EncodableValue> reports = Reports();
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(Exe(reports[0]), "applicationframehost.exe");
  EXPECT_EQ(reports[1], EncodableValue(BuildWindowIdentity(other->window())));
}

TEST_F(FrameHostForegroundTest, TeardownCancelsTheSecondLook) {
  Fire(frame_->window());
  bridge_.reset();
  PutInside(frame_->window(), app_->window());
  Sleep(400);
  EXPECT_FALSE(TimerDue());
  PumpFor(100);
  EXPECT_EQ(Reports().size(), 1u);
}

}  // namespace
}  // namespace keelo::testing
