#include "messaging/engine_method_result.h"

#include <utility>

#include "messaging/diagnostics.h"

namespace flutter {

ReplySender::~ReplySender() {
  if (reply_) {
    WriteDiagnosticLine("Warning: Failed to respond to a message. This is a memory leak.");
  }
}

void ReplySender::SendOnce(const std::vector<uint8_t>* reply) {
  if (!reply_) {
    WriteDiagnosticLine("Error: Only one of Success, Error, or NotImplemented can be called,",
                        " and it can be called exactly once. Ignoring duplicate result.");
    return;
  }
  // Moved out first: the callback and all it holds go as soon as it has been called.
  BinaryReplyCallback callback = std::move(reply_);
  reply_ = nullptr;
  if (reply != nullptr && !reply->empty()) {
    callback(reply->data(), reply->size());
  } else {
    callback(nullptr, 0);
  }
}

void EngineMethodResult::Success(const EncodableValue* result) {
  const auto bytes = codec_->EncodeSuccessReply(result);
  reply_sender_.SendOnce(bytes.get());
}

void EngineMethodResult::Error(const std::string& error_code, const std::string& error_message,
                               const EncodableValue* details) {
  const auto bytes = codec_->EncodeErrorReply(error_code, error_message, details);
  reply_sender_.SendOnce(bytes.get());
}

void EngineMethodResult::NotImplemented() { reply_sender_.SendOnce(nullptr); }

}  // namespace flutter
