#include "messaging/method_call_channel.h"

#include <utility>

#include "messaging/diagnostics.h"
#include "messaging/engine_method_result.h"
#include "messaging/method_call.h"

namespace flutter {

void MethodCallChannel::SetCallHandler(MethodCallHandler handler) const {
  if (!handler) {
    messenger_->SetHandler(name_, nullptr);
    return;
  }
  BinaryHandler binary_handler = [handler = std::move(handler), codec = codec_](
                                     const uint8_t* message, size_t message_size,
                                     BinaryReplyCallback reply) {
    auto result = std::make_unique<EngineMethodResult>(std::move(reply), codec);
    std::unique_ptr<MethodCall> call = codec->DecodeCall(message, message_size);
    if (call == nullptr) {
      // The codec has written the message's one line.
      result->NotImplemented();
      return;
    }
    handler(*call, std::move(result));
  };
  messenger_->SetHandler(name_, std::move(binary_handler));
}

void MethodCallChannel::Invoke(const std::string& method, std::unique_ptr<EncodableValue> arguments,
                               std::unique_ptr<MethodResult> result) const {
  const MethodCall call(method, std::move(arguments));
  const std::unique_ptr<std::vector<uint8_t>> message = codec_->EncodeCall(call);
  if (!result) {
    messenger_->Send(name_, message->data(), message->size(), nullptr);
    return;
  }
  std::shared_ptr<MethodResult> sink = std::move(result);
  BinaryReplyCallback on_reply = [sink, codec = codec_, name = name_](const uint8_t* reply,
                                                                      size_t reply_size) {
    if (reply_size == 0) {
      sink->NotImplemented();
      return;
    }
    if (!codec->DecodeReply(reply, reply_size, sink.get())) {
      WriteDiagnosticLine("Unable to decode reply to method invocation on channel ", name);
      sink->NotImplemented();
    }
  };
  messenger_->Send(name_, message->data(), message->size(), std::move(on_reply));
}

}  // namespace flutter
