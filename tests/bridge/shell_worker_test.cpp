#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "bridge/shell_jobs.h"
#include "bridge/system_calls.h"
#include "bridge/window_messages.h"
#include "common/scoped_handles.h"
#include "common/text_conversion.h"
#include "messaging/method_call.h"
#include "messaging/method_call_channel.h"
#include "messaging/method_result.h"
#include "messaging/standard_method_codec.h"
#include "tests/bridge/bridge_fixture.h"
#include "tests/support/engine_messenger_fixture.h"
#include "tests/support/fixtures.h"

namespace keelo::testing {
namespace {

using flutter::EncodableMap;
using flutter::EncodableValue;
using flutter::testing::Bytes;

// Holds every walk of the Start menu inside its first folder until released. Shared with the
// job that runs it, which may outlive the test's bridge.
struct ListingGate {
  ScopedHandle entered{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  ScopedHandle released{CreateEventW(nullptr, TRUE, FALSE, nullptr)};

  bool WaitUntilEntered() const { return WaitForSingleObject(entered.get(), 10000) == 0; }
  void Release() const { SetEvent(released.get()); }
};

class ShellWorkerTest : public WindowBridgeTest {
 protected:
  ~ShellWorkerTest() override { gate_->Release(); }

  void HoldListing() {
    system_->list_folder = [gate = gate_, real = SystemCalls::Real().list_folder](
                               const std::wstring& folder, std::vector<FolderEntry>& entries) {
      SetEvent(gate->entered.get());
      WaitForSingleObject(gate->released.get(), 30000);
      return real(folder, entries);
    };
  }

  // Sends a call without waiting for its reply, which is then counted in |answered_|.
  uint64_t Start(const std::string& method, EncodableValue arguments = EncodableValue()) {
    const flutter::MethodCall call(method, std::make_unique<EncodableValue>(std::move(arguments)));
    const auto message = flutter::StandardMethodCodec::ForSerializer(nullptr).EncodeCall(call);
    auto order = answered_;
    const uint64_t id =
        engine_->SendToHost(kDesktopChannel, *message,
                            [order, next = next_call_](const Bytes&) { order->push_back(next); });
    ++next_call_;
    engine_->RunPendingTasks();
    return id;
  }

  // Pumps the test thread's messages until |count| replies came, or ten seconds passed.
  void PumpUntilAnswered(size_t count) {
    const DWORD start = GetTickCount();
    while (answered_->size() < count && GetTickCount() - start < 10000) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
      PumpThreadMessages();
      // The engine hands a response to the UI application in a task of its own.
      engine_->RunPendingTasks();
    }
  }

  std::shared_ptr<ListingGate> gate_ = std::make_shared<ListingGate>();
  // The calls' numbers (0 for the first sent) in the order their replies came.
  std::shared_ptr<std::vector<int>> answered_ = std::make_shared<std::vector<int>>();
  int next_call_ = 0;
};

TEST_F(ShellWorkerTest, OtherCallsAreAnsweredWhileAScanIsHeldInTheShell) {
  HoldListing();
  const uint64_t list = Start("listApps");
  ASSERT_TRUE(gate_->WaitUntilEntered());

  EXPECT_EQ(Call(kDesktopChannel, "showWindow"), kTrue);
  const std::optional<EncodableValue> idle = CallForValue(kDesktopChannel, "getIdleSeconds");
  ASSERT_TRUE(idle.has_value());
  EXPECT_TRUE(idle->Holds<int64_t>());
  EXPECT_TRUE(engine_->ResponsesTo(list).empty());

  gate_->Release();
  PumpUntilAnswered(1);
  const std::vector<Bytes> replies = engine_->ResponsesTo(list);
  ASSERT_EQ(replies.size(), 1u);
  // The success envelope around a list.
  ASSERT_GE(replies[0].size(), 2u);
  EXPECT_EQ(replies[0][0], 0x00);
  EXPECT_EQ(replies[0][1], 0x0C);
}

TEST_F(ShellWorkerTest, JobsAreAnsweredOnceEachInTheOrderTheyCame) {
  HoldListing();
  const std::string icon_path = WideToUtf8(FixtureExecutable(L"fixture_versioned.exe"));
  const uint64_t first = Start("listApps");
  const uint64_t second =
      Start("getIcons", EncodableMap{{"size", 16}, {"items", EncodableMap{{"a", icon_path}}}});
  const uint64_t third = Start("listApps");
  ASSERT_TRUE(gate_->WaitUntilEntered());
  gate_->Release();
  PumpUntilAnswered(3);
  EXPECT_EQ(*answered_, (std::vector<int>{0, 1, 2}));
  for (const uint64_t id : {first, second, third}) EXPECT_EQ(engine_->ResponsesTo(id).size(), 1u);
  EXPECT_EQ(engine_->stray_responses(), 0u);
}

// The user quits while the app picker is still loading from a shell call that takes seconds: the
// proxy goes back and the window goes without waiting for it, nothing answers the call after the
// bridge is gone, and the job that finishes later touches nothing.
TEST_F(ShellWorkerTest, QuitAndTeardownDoNotWaitOnAHeldScanAndDropItsReply) {
  std::vector<bool> applied_while_held;
  system_->proxy.apply_options = [&](INTERNET_PER_CONN_OPTION_LISTW&) {
    applied_while_held.push_back(WaitForSingleObject(gate_->released.get(), 0) == WAIT_TIMEOUT);
    return true;
  };
  const EncodableMap direct{{"flags", 1}};
  ASSERT_EQ(Call(kDesktopChannel, "setProxy",
                 EncodableMap{{"flags", 3}, {"server", "proxy:8080"}, {"restoreOnExit", direct}}),
            kTrue);
  applied_while_held.clear();
  HoldListing();
  const uint64_t list = Start("listApps");
  ASSERT_TRUE(gate_->WaitUntilEntered());

  SendMessageW(window_, QuitMessage(), 0, 0);
  EXPECT_FALSE(IsWindow(window_));
  EXPECT_EQ(applied_while_held, std::vector<bool>{true});

  const std::string written = flutter::testing::CaptureStderr([&] { bridge_.reset(); });
  // The engine is about to go with the bridge; the dropped call is said once, as any unanswered
  // one.
  EXPECT_EQ(written, "Warning: Failed to respond to a message. This is a memory leak.\n");
  gate_->Release();
  Sleep(200);
  PumpThreadMessages();
  EXPECT_TRUE(engine_->ResponsesTo(list).empty());
  EXPECT_EQ(engine_->stray_responses(), 0u);
}

// The jobs on their own: a channel of the test's hands them the calls, as the bridge does, and
// the answers are counted as they are given.
class ShellJobsTest : public flutter::testing::EngineMessengerTest {
 protected:
  ShellJobsTest() {
    channel_.SetCallHandler(
        [this](const flutter::MethodCall&, std::unique_ptr<flutter::MethodResult> result) {
          jobs_->ListApps(std::move(result));
        });
  }
  ~ShellJobsTest() override {
    gate_->Release();
    jobs_.reset();
    channel_.SetCallHandler(nullptr);
  }

  std::shared_ptr<ListingGate> gate_ = std::make_shared<ListingGate>();
  int answered_ = 0;
  std::unique_ptr<ShellJobs> jobs_ = std::make_unique<ShellJobs>(
      [gate = gate_, real = SystemCalls::Real().list_folder](const std::wstring& folder,
                                                             std::vector<FolderEntry>& entries) {
        SetEvent(gate->entered.get());
        WaitForSingleObject(gate->released.get(), 30000);
        return real(folder, entries);
      },
      SystemCalls::Real().read_cloaked,
      [this](flutter::MethodResult& result, const EncodableValue& value) {
        ++answered_;
        result.Success(&value);
      });
  flutter::MethodCallChannel channel_{messenger_.get(), "jobs",
                                      &flutter::StandardMethodCodec::ForSerializer(nullptr)};
};

TEST_F(ShellJobsTest, AReplyWhoseEngineIsGoneIsDroppedQuietly) {
  const flutter::MethodCall call("listApps", nullptr);
  const uint64_t list = engine_->SendToHost(
      "jobs", *flutter::StandardMethodCodec::ForSerializer(nullptr).EncodeCall(call));
  engine_->RunPendingTasks();
  ASSERT_TRUE(gate_->WaitUntilEntered());
  DestroyEngine();
  gate_->Release();
  const std::string written = flutter::testing::CaptureStderr([&] {
    const DWORD start = GetTickCount();
    while (answered_ == 0 && GetTickCount() - start < 10000) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
      PumpThreadMessages();
    }
  });
  EXPECT_EQ(answered_, 1);
  EXPECT_TRUE(engine_->ResponsesTo(list).empty());
  EXPECT_EQ(written, "");
}

}  // namespace
}  // namespace keelo::testing
