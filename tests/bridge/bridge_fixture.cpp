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

}  // namespace

Replies BridgeTest::Send(const std::string& channel, const Bytes& message,
                         std::string* diagnostics) {
  Replies replies;
  const std::string written = flutter::testing::CaptureStderr([&] {
    const uint64_t id = engine_->SendToHost(channel, message);
    engine_->RunPendingTasks();
    replies = engine_->ResponsesTo(id);
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
