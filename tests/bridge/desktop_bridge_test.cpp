#include "bridge/desktop_bridge.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "bridge/app_identifier.h"
#include "messaging/standard_method_codec.h"
#include "tests/messaging/codec_test_support.h"
#include "tests/messaging/engine_messenger_fixture.h"

namespace {

using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;
using flutter::testing::Bytes;
using flutter::testing::CaptureStderr;
using flutter::testing::Hex;
using Replies = std::vector<Bytes>;

const std::string kDesktop = std::string(kAppIdentifier) + "/desktop";
const std::string kUi = std::string(kAppIdentifier) + "/desktop_ui";

const Replies kNull = {Hex("00 00")};
const Replies kTrue = {Hex("00 01")};
const Replies kFalse = {Hex("00 02")};
const Replies kNotImplemented = {Bytes()};

class DesktopBridgeTest : public flutter::testing::EngineMessengerTest {
 protected:
  DesktopBridgeTest() : bridge_(std::make_unique<DesktopBridge>(messenger_.get(), nullptr)) {}

  // Sends a call the way the UI application does and returns every reply the host sent to it.
  Replies Call(const std::string& channel, const std::string& method,
               EncodableValue arguments = EncodableValue()) {
    const flutter::MethodCall call(method, std::make_unique<EncodableValue>(std::move(arguments)));
    const auto message = flutter::StandardMethodCodec::ForSerializer(nullptr).EncodeCall(call);
    Replies replies;
    // A second reply, or none at all, would show here as a diagnostic line.
    const std::string diagnostics = CaptureStderr([&] {
      const uint64_t id = engine_->SendToHost(channel, *message);
      engine_->RunPendingTasks();
      replies = engine_->ResponsesTo(id);
    });
    EXPECT_EQ(diagnostics, "") << method;
    return replies;
  }

  std::unique_ptr<DesktopBridge> bridge_;
};

TEST_F(DesktopBridgeTest, NamesMatchExactlyAndOnlyOnTheirOwnChannel) {
  ASSERT_EQ(Call(kDesktop, "setQuitAllowed", EncodableMap{{"allowed", false}}), kNull);
  ASSERT_EQ(Call(kUi, "setTrayStatus"), kNull);

  for (const std::string& name :
       {std::string("SetQuitAllowed"), std::string("setquitallowed"),
        std::string("setQuitAllowed "), std::string("setQuitAllowed\0", 15), std::string()}) {
    EXPECT_EQ(Call(kDesktop, name, EncodableMap{{"allowed", true}}), kNotImplemented) << name;
  }
  EXPECT_EQ(Call(kUi, "setQuitAllowed", EncodableMap{{"allowed", true}}), kNotImplemented);
  EXPECT_EQ(Call(kUi, "getIdleSeconds"), kNotImplemented);
  EXPECT_EQ(Call(kUi, "SetTrayStatus", EncodableMap{{"status", "x"}}), kNotImplemented);
  EXPECT_EQ(Call(kDesktop, "setTrayStatus", EncodableMap{{"status", "x"}}), kNotImplemented);
  EXPECT_FALSE(bridge_->quit_allowed());
  EXPECT_EQ(bridge_->tray_status(), L"");
}

TEST_F(DesktopBridgeTest, MethodsOfFacilitiesNotYetBuiltAnswerNotImplemented) {
  for (const char* name :
       {"listApps", "getIcons", "getForeground", "blockWindow", "restoreWindow", "showWindow",
        "setLaunchAtStartup", "getLaunchAtStartup", "isPackaged", "getProxy", "setProxy"}) {
    EXPECT_EQ(Call(kDesktop, name), kNotImplemented) << name;
  }
  for (const char* name : {"setMiniMode", "startDrag", "notify"}) {
    EXPECT_EQ(Call(kUi, name), kNotImplemented) << name;
  }
}

TEST_F(DesktopBridgeTest, QuitAllowedChangesOnlyForABool) {
  EXPECT_EQ(Call(kDesktop, "setQuitAllowed", EncodableMap{{"allowed", false}}), kNull);
  EXPECT_FALSE(bridge_->quit_allowed());
  EXPECT_EQ(Call(kDesktop, "setQuitAllowed", EncodableMap{{"allowed", 1}}), kNull);
  EXPECT_EQ(Call(kDesktop, "setQuitAllowed", EncodableList{"allowed", true}), kNull);
  EXPECT_EQ(Call(kDesktop, "setQuitAllowed"), kNull);
  EXPECT_FALSE(bridge_->quit_allowed());
  EXPECT_EQ(Call(kDesktop, "setQuitAllowed", EncodableMap{{"allowed", true}}), kNull);
  EXPECT_TRUE(bridge_->quit_allowed());
}

std::string Repeat(const std::string& text, int times) {
  std::string repeated;
  for (int i = 0; i < times; ++i) repeated += text;
  return repeated;
}

TEST_F(DesktopBridgeTest, TrayTooltipKeepsThe120FirstUtf16Units) {
  EXPECT_EQ(bridge_->tray_tooltip(), L"Keelo");
  // Two bytes each in UTF-8, one unit each in UTF-16.
  EXPECT_EQ(Call(kDesktop, "setTrayTooltip", EncodableMap{{"text", Repeat("\xC3\xA9", 200)}}),
            kNull);
  EXPECT_EQ(bridge_->tray_tooltip(), std::wstring(120, L'\u00E9'));

  // Four bytes and two units each; the 120th unit splits the last pair.
  Call(kDesktop, "setTrayTooltip",
       EncodableMap{{"text", Repeat("a", 119) + Repeat("\xF0\x9F\x98\x80", 100)}});
  EXPECT_EQ(bridge_->tray_tooltip(), std::wstring(119, L'a') + L"\xD83D");

  EXPECT_EQ(Call(kDesktop, "setTrayTooltip"), kNull);
  EXPECT_EQ(Call(kDesktop, "setTrayTooltip", EncodableMap{{"text", 5}}), kNull);
  EXPECT_EQ(bridge_->tray_tooltip(), std::wstring(119, L'a') + L"\xD83D");
}

TEST_F(DesktopBridgeTest, TrayStatusIsClearedWithoutStatusAndSessionNeedsABool) {
  EXPECT_EQ(Call(kUi, "setTrayStatus", EncodableMap{{"status", "Focus 24:59"}, {"session", true}}),
            kNull);
  EXPECT_EQ(bridge_->tray_status(), L"Focus 24:59");
  EXPECT_TRUE(bridge_->session_active());

  EXPECT_EQ(Call(kUi, "setTrayStatus", EncodableMap{{"session", 0}}), kNull);
  EXPECT_EQ(bridge_->tray_status(), L"");
  EXPECT_TRUE(bridge_->session_active());

  Call(kUi, "setTrayStatus", EncodableMap{{"status", Repeat("x", 200)}});
  EXPECT_EQ(bridge_->tray_status(), std::wstring(120, L'x'));
  Call(kUi, "setTrayStatus", EncodableList{"status", "Break", "session", false});
  EXPECT_EQ(bridge_->tray_status(), L"");
  EXPECT_TRUE(bridge_->session_active());

  Call(kUi, "setTrayStatus", EncodableMap{{"status", 7}, {"session", false}});
  EXPECT_EQ(bridge_->tray_status(), L"");
  EXPECT_FALSE(bridge_->session_active());
}

TEST_F(DesktopBridgeTest, IdleSecondsFromTheSystemClockAreAnInt64) {
  const Replies replies = Call(kDesktop, "getIdleSeconds", EncodableMap{{"ignored", 1}});
  ASSERT_EQ(replies.size(), 1u);
  ASSERT_EQ(replies[0].size(), 10u);
  EXPECT_EQ(Bytes(replies[0].begin(), replies[0].begin() + 2), Hex("00 04"));
  int64_t seconds = 0;
  std::memcpy(&seconds, replies[0].data() + 2, sizeof(seconds));
  EXPECT_GE(seconds, 0);
  EXPECT_LE(seconds, 4294967);
}

struct FakeClock {
  static inline DWORD now = 0;
  static inline DWORD last_input = 0;
  static inline bool available = true;

  static DWORD WINAPI GetTickCount() { return now; }
  static BOOL WINAPI GetLastInputInfo(PLASTINPUTINFO info) {
    if (!available || info->cbSize != sizeof(LASTINPUTINFO)) return FALSE;
    info->dwTime = last_input;
    return TRUE;
  }
};

TEST_F(DesktopBridgeTest, IdleSecondsSurviveTheTickCounterWrap) {
  SystemCalls calls;
  calls.get_tick_count = &FakeClock::GetTickCount;
  calls.get_last_input_info = &FakeClock::GetLastInputInfo;
  bridge_->set_system_calls_for_testing(calls);

  FakeClock::last_input = 0xFFFFF000;
  FakeClock::now = 0x00001F40;  // 4096 ms before the wrap and 8000 ms after it
  EXPECT_EQ(Call(kDesktop, "getIdleSeconds"), Replies{Hex("00 04 0C 00 00 00 00 00 00 00")});

  FakeClock::now = FakeClock::last_input - 1;  // the longest idle time the counter can show
  EXPECT_EQ(Call(kDesktop, "getIdleSeconds"), Replies{Hex("00 04 37 89 41 00 00 00 00 00")});

  FakeClock::available = false;
  EXPECT_EQ(Call(kDesktop, "getIdleSeconds"), Replies{Hex("00 04 00 00 00 00 00 00 00 00")});
  FakeClock::available = true;
}

// Records each request as "owner|verb|file|parameters|directory|show".
struct FakeShell {
  static inline std::vector<std::wstring> requests;
  static inline INT_PTR code = 0;

  static HINSTANCE WINAPI Execute(HWND owner, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters,
                                  LPCWSTR directory, INT show) {
    auto text = [](LPCWSTR value) { return value == nullptr ? L"none" : std::wstring(value); };
    requests.push_back((owner == nullptr ? L"none" : L"window") + (L"|" + text(verb)) + L"|" +
                       text(file) + L"|" + text(parameters) + L"|" + text(directory) + L"|" +
                       std::to_wstring(show));
    return reinterpret_cast<HINSTANCE>(code);  // NOLINT(performance-no-int-to-ptr)
  }
};

TEST_F(DesktopBridgeTest, LaunchAppAsksTheShellOnlyForAUsablePath) {
  SystemCalls calls;
  calls.shell_execute = &FakeShell::Execute;
  bridge_->set_system_calls_for_testing(calls);
  FakeShell::requests.clear();
  FakeShell::code = 33;

  EXPECT_EQ(Call(kDesktop, "launchApp"), kFalse);
  EXPECT_EQ(Call(kDesktop, "launchApp", EncodableMap{{"path", 1}}), kFalse);
  EXPECT_EQ(Call(kDesktop, "launchApp", EncodableMap{{"path", ""}}), kFalse);
  EXPECT_EQ(Call(kDesktop, "launchApp", EncodableMap{{"path", std::string("C:\\a.exe\0b", 10)}}),
            kFalse);
  EXPECT_TRUE(FakeShell::requests.empty());

  EXPECT_EQ(Call(kDesktop, "launchApp", EncodableMap{{"path", "C:\\Tools\\caf\xC3\xA9.exe"}}),
            kTrue);
  EXPECT_EQ(FakeShell::requests,
            std::vector<std::wstring>{L"none|open|C:\\Tools\\caf\u00E9.exe|none|none|1"});

  // Values up to 32 are the shell's error codes; a value that is negative as a signed number is
  // no success either.
  FakeShell::code = 32;
  EXPECT_EQ(Call(kDesktop, "launchApp", EncodableMap{{"path", "C:\\a.exe"}}), kFalse);
  FakeShell::code = -33;
  EXPECT_EQ(Call(kDesktop, "launchApp", EncodableMap{{"path", "C:\\a.exe"}}), kFalse);
}

TEST_F(DesktopBridgeTest, LaunchAppOfAMissingFileRepliesFalse) {
  EXPECT_EQ(Call(kDesktop, "launchApp",
                 EncodableMap{{"path", "C:\\keelo-test-does-not-exist\\nothing.exe"}}),
            kFalse);
}

TEST_F(DesktopBridgeTest, CallsStopReachingTheBridgeWhenItIsDestroyed) {
  EXPECT_EQ(DesktopBridge::current(), bridge_.get());
  EXPECT_TRUE(engine_->has_callback(kDesktop));
  EXPECT_TRUE(engine_->has_callback(kUi));

  bridge_.reset();
  EXPECT_EQ(DesktopBridge::current(), nullptr);
  EXPECT_EQ(Call(kDesktop, "setQuitAllowed", EncodableMap{{"allowed", false}}), kNotImplemented);
  EXPECT_EQ(Call(kUi, "setTrayStatus"), kNotImplemented);
}

}  // namespace
