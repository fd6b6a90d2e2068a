#ifndef TESTS_BRIDGE_BRIDGE_FIXTURE_H_
#define TESTS_BRIDGE_BRIDGE_FIXTURE_H_

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "bridge/desktop_bridge.h"
#include "bridge/system_calls.h"
#include "messaging/encodable_value.h"
#include "tests/support/codec_test_support.h"
#include "tests/support/engine_messenger_fixture.h"
#include "tests/support/forwarding_system_calls.h"
#include "tests/support/host_names.h"

namespace keelo::testing {

using Replies = std::vector<flutter::testing::Bytes>;

// The replies as the UI application receives them: a success envelope with null, true or false,
// and the empty reply of a method nobody implements.
inline const Replies kNull = {flutter::testing::Hex("00 00")};
inline const Replies kTrue = {flutter::testing::Hex("00 01")};
inline const Replies kFalse = {flutter::testing::Hex("00 02")};
inline const Replies kNotImplemented = {flutter::testing::Bytes()};

// Delivers everything waiting for the test thread's windows.
void PumpThreadMessages();

// How long a call waits for a reply the shell worker makes.
inline constexpr DWORD kShellReplyTimeoutMs = 30000;

// A bridge on the development kit's engine messenger: calls reach it as the bytes the UI
// application sends, and its replies come back as bytes, those of the shell worker too.
class BridgeTest : public flutter::testing::EngineMessengerTest {
 protected:
  explicit BridgeTest(HWND window = nullptr) { MakeBridge(window); }

  // A new bridge over |window| in place of the one there is, on the seams of |system_|.
  void MakeBridge(HWND window) {
    bridge_.reset();
    bridge_ = std::make_unique<DesktopBridge>(messenger_.get(), window, ForwardingTo(system_));
    // As the host's is, once its first frame is shown.
    bridge_->OnFirstFrame();
  }

  // Sends |message| on |channel| and returns every reply the host sent back. What the host wrote
  // to the standard error stream meanwhile goes to |diagnostics|; without it, any line (a second
  // reply or none at all shows as one) fails the test.
  Replies Send(const std::string& channel, const flutter::testing::Bytes& message,
               std::string* diagnostics = nullptr);

  // Sends a call with |arguments| (null when not given) the way the UI application does.
  Replies Call(const std::string& channel, const std::string& method,
               flutter::EncodableValue arguments = flutter::EncodableValue());

  // The value of the call's one success reply; nothing for not-implemented. Any other outcome
  // (no reply, several, an error envelope) fails the test.
  std::optional<flutter::EncodableValue> CallForValue(
      const std::string& channel, const std::string& method,
      flutter::EncodableValue arguments = flutter::EncodableValue());

  // The events the host sent on |channel| so far, as decoded calls: "name" and its arguments.
  std::vector<std::pair<std::string, flutter::EncodableValue>> Events(const std::string& channel);

  // What the bridge asks of the system: the real operations until a test replaces one, which
  // then takes effect at once, also for the bridge already made.
  std::shared_ptr<SystemCalls> system_ = std::make_shared<SystemCalls>(SystemCalls::Real());
  std::unique_ptr<DesktopBridge> bridge_;
};

// A bridge over a real, visible top-level window of the test's own, whose messages reach the
// live bridge first, as the host's main window passes them on.
class WindowBridgeTest : public BridgeTest {
 protected:
  WindowBridgeTest();
  ~WindowBridgeTest() override;

  // Delivers everything waiting for the test thread's windows.
  static void PumpMessages();
  // Pumps them until |condition| holds or five seconds pass; returns its last value. What the
  // host asks of another program's window happens when that program gets to it.
  static bool PumpUntil(const std::function<bool()>& condition);

  // Whether the window is the mini timer: a topmost popup.
  bool ShowsMiniTimer() const;

  HWND window_ = nullptr;
};

}  // namespace keelo::testing

#endif  // TESTS_BRIDGE_BRIDGE_FIXTURE_H_
