#include "bridge/desktop_bridge.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bridge/idle_time.h"
#include "bridge/system_calls.h"
#include "bridge/tray_menu.h"
#include "tests/bridge/bridge_fixture.h"
#include "tests/bridge/tray_menu_driver.h"

namespace keelo::testing {
namespace {

using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;
using flutter::testing::Bytes;
using flutter::testing::Hex;

const std::string& kDesktop = kDesktopChannel;
const std::string& kUi = kUiChannel;

// A bridge over a window of the test's, whose tray state is read where the user meets it: the
// menu the icon opens, and the tooltip the shell is given.
class DesktopBridgeTest : public WindowBridgeTest {
 protected:
  DesktopBridgeTest() {
    system_->notify_icon = [tips = tips_, real = system_->notify_icon](
                               DWORD message, const NOTIFYICONDATAW& data) {
      if ((data.uFlags & NIF_TIP) != 0) tips->push_back(data.szTip);
      return real(message, data);
    };
    // Made again, so that the icon's first tooltip is seen too.
    MakeBridge(window_);
  }

  std::vector<TrayMenuItem> Menu() { return TrayMenuShown(window_); }
  std::wstring LastTooltip() const { return tips_->empty() ? L"" : tips_->back(); }

  // Every tooltip the shell was given, in order; kept by the seam, which outlives the test.
  std::shared_ptr<std::vector<std::wstring>> tips_ = std::make_shared<std::vector<std::wstring>>();
};

// The menu for that state outside mini mode; the items themselves are pinned in tray_test.cpp.
std::vector<TrayMenuItem> MenuOf(const std::wstring& status, bool session, bool quit) {
  return TrayMenuItems(status, session, false, quit);
}

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
  EXPECT_EQ(Menu(), MenuOf(L"", false, false));
}

TEST_F(DesktopBridgeTest, QuitAllowedChangesOnlyForABool) {
  EXPECT_EQ(Call(kDesktop, "setQuitAllowed", EncodableMap{{"allowed", false}}), kNull);
  EXPECT_EQ(Menu(), MenuOf(L"", false, false));
  EXPECT_EQ(Call(kDesktop, "setQuitAllowed", EncodableMap{{"allowed", 1}}), kNull);
  EXPECT_EQ(Call(kDesktop, "setQuitAllowed", EncodableList{"allowed", true}), kNull);
  EXPECT_EQ(Call(kDesktop, "setQuitAllowed"), kNull);
  EXPECT_EQ(Menu(), MenuOf(L"", false, false));
  EXPECT_EQ(Call(kDesktop, "setQuitAllowed", EncodableMap{{"allowed", true}}), kNull);
  EXPECT_EQ(Menu(), MenuOf(L"", false, true));
}

std::string Repeat(const std::string& text, int times) {
  std::string repeated;
  for (int i = 0; i < times; ++i) repeated += text;
  return repeated;
}

TEST_F(DesktopBridgeTest, TrayTooltipTakesOnlyAStringAndKeepsThe120FirstUtf16Units) {
  EXPECT_EQ(LastTooltip(), L"Keelo");
  // Two bytes each in UTF-8, one unit each in UTF-16.
  EXPECT_EQ(Call(kDesktop, "setTrayTooltip", EncodableMap{{"text", Repeat("\xC3\xA9", 200)}}),
            kNull);
  EXPECT_EQ(LastTooltip(), std::wstring(120, L'\u00E9'));

  // Four bytes and two units each; the 120th unit splits the last pair.
  Call(kDesktop, "setTrayTooltip",
       EncodableMap{{"text", Repeat("a", 119) + Repeat("\xF0\x9F\x98\x80", 100)}});
  EXPECT_EQ(LastTooltip(), std::wstring(119, L'a') + L"\xD83D");

  const size_t given = tips_->size();
  EXPECT_EQ(Call(kDesktop, "setTrayTooltip"), kNull);
  EXPECT_EQ(Call(kDesktop, "setTrayTooltip", EncodableMap{{"text", 5}}), kNull);
  EXPECT_EQ(tips_->size(), given) << "the shell was told of a tooltip nobody gave";
}

TEST_F(DesktopBridgeTest, TrayStatusIsClearedWithoutStatusAndSessionNeedsABool) {
  EXPECT_EQ(Call(kUi, "setTrayStatus", EncodableMap{{"status", "Focus 24:59"}, {"session", true}}),
            kNull);
  EXPECT_EQ(Menu(), MenuOf(L"Focus 24:59", true, true));

  EXPECT_EQ(Call(kUi, "setTrayStatus", EncodableMap{{"session", 0}}), kNull);
  EXPECT_EQ(Menu(), MenuOf(L"", true, true));

  Call(kUi, "setTrayStatus", EncodableMap{{"status", Repeat("x", 200)}});
  EXPECT_EQ(Menu(), MenuOf(std::wstring(120, L'x'), true, true));
  Call(kUi, "setTrayStatus", EncodableList{"status", "Break", "session", false});
  EXPECT_EQ(Menu(), MenuOf(L"", true, true));

  Call(kUi, "setTrayStatus", EncodableMap{{"status", 7}, {"session", false}});
  EXPECT_EQ(Menu(), MenuOf(L"", false, true));
}

TEST_F(DesktopBridgeTest, IdleSecondsFromTheSystemClockAreAnInt64) {
  const Replies replies = Call(kDesktop, "getIdleSeconds", EncodableMap{{"ignored", 1}});
  ASSERT_EQ(replies.size(), 1u);
  ASSERT_EQ(replies[0].size(), 10u);
  EXPECT_EQ(Bytes(replies[0].begin(), replies[0].begin() + 2), Hex("00 04"));
  const std::optional<EncodableValue> seconds = CallForValue(kDesktop, "getIdleSeconds");
  ASSERT_TRUE(seconds && seconds->Holds<int64_t>());
  EXPECT_GE(seconds->Get<int64_t>(), 0);
  EXPECT_LE(seconds->Get<int64_t>(), 4294967);
}

TEST(IdleSecondsTest, SurviveTheTickCounterWrapAndTruncate) {
  // 4096 ms before the wrap and 8000 ms after it.
  EXPECT_EQ(IdleSecondsBetween(0xFFFFF000, 0x00001F40), 12);
  // The longest idle time the counter can show.
  EXPECT_EQ(IdleSecondsBetween(0xFFFFF000, 0xFFFFEFFF), 4294967);
  EXPECT_EQ(IdleSecondsBetween(5000, 5999), 0);
  EXPECT_EQ(IdleSecondsBetween(5000, 6000), 1);
}

TEST_F(DesktopBridgeTest, LaunchAppAsksTheShellOnlyForAUsablePath) {
  std::vector<std::wstring> launched;
  bool accepted = true;
  system_->launch_app = [&](const std::wstring& path) {
    launched.push_back(path);
    return accepted;
  };

  EXPECT_EQ(Call(kDesktop, "launchApp"), kFalse);
  EXPECT_EQ(Call(kDesktop, "launchApp", EncodableMap{{"path", 1}}), kFalse);
  EXPECT_EQ(Call(kDesktop, "launchApp", EncodableMap{{"path", ""}}), kFalse);
  EXPECT_EQ(Call(kDesktop, "launchApp", EncodableMap{{"path", std::string("C:\\a.exe\0b", 10)}}),
            kFalse);
  EXPECT_TRUE(launched.empty());

  EXPECT_EQ(Call(kDesktop, "launchApp", EncodableMap{{"path", "C:\\Tools\\caf\xC3\xA9.exe"}}),
            kTrue);
  EXPECT_EQ(launched, std::vector<std::wstring>{L"C:\\Tools\\caf\u00E9.exe"});

  accepted = false;
  EXPECT_EQ(Call(kDesktop, "launchApp", EncodableMap{{"path", "C:\\a.exe"}}), kFalse);
  EXPECT_EQ(launched.size(), 2u);
}

TEST(ShellExecuteResultTest, OnlyCodesAbove32AreSuccesses) {
  EXPECT_TRUE(ShellExecuteSucceeded(33));
  EXPECT_TRUE(ShellExecuteSucceeded(0x7FFF0000));
  EXPECT_FALSE(ShellExecuteSucceeded(32));
  EXPECT_FALSE(ShellExecuteSucceeded(0));
  // Negative as a signed number: no success either.
  EXPECT_FALSE(ShellExecuteSucceeded(-33));
}

TEST_F(DesktopBridgeTest, LaunchAppOfAMissingFileRepliesFalse) {
  EXPECT_EQ(Call(kDesktop, "launchApp",
                 EncodableMap{{"path", "C:\\keelo-test-does-not-exist\\nothing.exe"}}),
            kFalse);
}

// A string value of fewer than 254 bytes: its tag, its length, its bytes.
Bytes NameOnly(const std::string& name) {
  Bytes message(2 + name.size());
  message[0] = 0x07;
  message[1] = static_cast<uint8_t>(name.size());
  std::copy(name.begin(), name.end(), message.begin() + 2);
  return message;
}

// A call may end right after its name. The codec notes the missing value once, and the bridge
// gets the call with a null argument: no keys, as for a list.
TEST_F(DesktopBridgeTest, NameOnlyCallReachesTheBridgeWithoutArguments) {
  Call(kUi, "setTrayStatus", EncodableMap{{"status", "Focus"}, {"session", true}});
  Call(kDesktop, "setQuitAllowed", EncodableMap{{"allowed", false}});
  ASSERT_EQ(Menu(), MenuOf(L"Focus", true, false));
  std::string diagnostics;
  // A call that ends after its name is whole: nothing to report.
  EXPECT_EQ(Send(kUi, NameOnly("setTrayStatus"), &diagnostics), kNull);
  EXPECT_EQ(diagnostics, "");
  EXPECT_EQ(Send(kDesktop, NameOnly("setQuitAllowed"), &diagnostics), kNull);
  EXPECT_EQ(diagnostics, "");
  EXPECT_EQ(Menu(), MenuOf(L"", true, false));
}

TEST_F(DesktopBridgeTest, CallsStopReachingTheBridgeWhenItIsDestroyed) {
  EXPECT_TRUE(engine_->has_callback(kDesktop));
  EXPECT_TRUE(engine_->has_callback(kUi));

  bridge_.reset();
  EXPECT_EQ(Call(kDesktop, "setQuitAllowed", EncodableMap{{"allowed", false}}), kNotImplemented);
  EXPECT_EQ(Call(kUi, "setTrayStatus"), kNotImplemented);
}

}  // namespace
}  // namespace keelo::testing
