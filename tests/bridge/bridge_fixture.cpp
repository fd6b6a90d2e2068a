#include "tests/bridge/bridge_fixture.h"

#include <cstdint>
#include <utility>

#include "messaging/method_call.h"
#include "messaging/method_result.h"
#include "messaging/standard_method_codec.h"

namespace keelo::testing {
namespace {

using flutter::EncodableValue;
using flutter::testing::Bytes;

// Keeps what a decoded reply envelope delivered.
class DecodedReply : public flutter::MethodResult {
 public:
  void Success(const EncodableValue* result) override {
    value = result == nullptr ? EncodableValue() : *result;
  }
  void Error(const std::string& code, const std::string& message, const EncodableValue*) override {
    error = code + ": " + message;
  }
  void NotImplemented() override {}

  std::optional<EncodableValue> value;
  std::optional<std::string> error;
};

constexpr wchar_t kWindowClass[] = L"KeeloBridgeTestWindow";

// The window's user data is the test's bridge pointer, so that the bridge the test holds now,
// made anew or gone, gets the messages.
LRESULT CALLBACK RouteToBridge(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  const auto* bridge =
      reinterpret_cast<std::unique_ptr<DesktopBridge>*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (bridge != nullptr && *bridge != nullptr) {
    if (std::optional<LRESULT> result =
            (*bridge)->HandleWindowMessage(window, message, wparam, lparam)) {
      return *result;
    }
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace

void PumpThreadMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

std::vector<std::pair<std::string, EncodableValue>> BridgeTest::Events(const std::string& channel) {
  std::vector<std::pair<std::string, EncodableValue>> events;
  for (const auto& message : engine_->host_messages()) {
    if (message.channel != channel) continue;
    EXPECT_FALSE(message.wants_reply);
    const auto call = flutter::StandardMethodCodec::ForSerializer(nullptr).DecodeCall(
        message.bytes.data(), message.bytes.size());
    if (call == nullptr) {
      ADD_FAILURE() << "an event that is no method call";
      continue;
    }
    events.emplace_back(call->method_name(),
                        call->arguments() != nullptr ? *call->arguments() : EncodableValue());
  }
  return events;
}

WindowBridgeTest::WindowBridgeTest() {
  WNDCLASSW window_class = {};
  window_class.lpfnWndProc = RouteToBridge;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.lpszClassName = kWindowClass;
  RegisterClassW(&window_class);
  window_ =
      CreateWindowExW(0, kWindowClass, L"Keelo under test", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100,
                      100, 800, 600, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  EXPECT_NE(window_, nullptr) << "CreateWindowExW failed with error " << GetLastError();
  SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&bridge_));
  MakeBridge(window_);
}

WindowBridgeTest::~WindowBridgeTest() {
  bridge_.reset();
  if (IsWindow(window_)) DestroyWindow(window_);
  PumpMessages();
}

void WindowBridgeTest::PumpMessages() { PumpThreadMessages(); }

bool WindowBridgeTest::ShowsMiniTimer() const {
  return (GetWindowLongPtrW(window_, GWL_STYLE) & WS_POPUP) != 0 &&
         (GetWindowLongPtrW(window_, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
}

bool WindowBridgeTest::PumpUntil(const std::function<bool()>& condition) {
  for (int waited = 0; waited < 5000 && !condition(); waited += 10) {
    PumpMessages();
    Sleep(10);
  }
  return condition();
}

Replies BridgeTest::Send(const std::string& channel, const Bytes& message,
                         std::string* diagnostics) {
  Replies replies;
  const std::string written = flutter::testing::CaptureStderr([&] {
    const uint64_t id = engine_->SendToHost(channel, message);
    engine_->RunPendingTasks();
    replies = engine_->ResponsesTo(id);
    // A reply that the shell worker makes arrives through this thread's messages; every call is
    // answered, so one that is not by then has failed.
    const DWORD start = GetTickCount();
    while (replies.empty() && bridge_ != nullptr && GetTickCount() - start < kShellReplyTimeoutMs) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
      PumpThreadMessages();
      replies = engine_->ResponsesTo(id);
    }
  });
  if (diagnostics != nullptr) {
    *diagnostics = written;
  } else {
    EXPECT_EQ(written, "");
  }
  return replies;
}

Replies BridgeTest::Call(const std::string& channel, const std::string& method,
                         EncodableValue arguments) {
  const flutter::MethodCall call(method, std::make_unique<EncodableValue>(std::move(arguments)));
  const auto message = flutter::StandardMethodCodec::ForSerializer(nullptr).EncodeCall(call);
  Replies replies = Send(channel, *message);
  EXPECT_EQ(replies.size(), 1u) << method;
  return replies;
}

std::optional<EncodableValue> BridgeTest::CallForValue(const std::string& channel,
                                                       const std::string& method,
                                                       EncodableValue arguments) {
  const Replies replies = Call(channel, method, std::move(arguments));
  if (replies.size() != 1) return std::nullopt;
  DecodedReply reply;
  const Bytes& bytes = replies.front();
  EXPECT_TRUE(flutter::StandardMethodCodec::ForSerializer(nullptr).DecodeReply(
      bytes.data(), bytes.size(), &reply))
      << method;
  EXPECT_EQ(reply.error, std::nullopt) << method << " must never reply with an error";
  return reply.value;
}

}  // namespace keelo::testing
