#include "devkit/driver/protocol/method_envelopes.h"

#include <memory>
#include <utility>

#include "messaging/method_call.h"
#include "messaging/method_result.h"
#include "messaging/standard_method_codec.h"

namespace devkit {
namespace {

const flutter::StandardMethodCodec& Codec() {
  return flutter::StandardMethodCodec::ForSerializer(nullptr);
}

class CapturingResult : public flutter::MethodResult {
 public:
  explicit CapturingResult(MethodReply* reply) : reply_(reply) {}

  void Success(const flutter::EncodableValue* result) override {
    reply_->kind = MethodReply::Kind::kSuccess;
    if (result != nullptr) reply_->value = *result;
  }
  void Error(const std::string& error_code, const std::string& error_message,
             const flutter::EncodableValue* details) override {
    reply_->kind = MethodReply::Kind::kError;
    reply_->error_code = error_code;
    reply_->error_message = error_message;
    if (details != nullptr) reply_->value = *details;
  }
  void NotImplemented() override { reply_->kind = MethodReply::Kind::kNotImplemented; }

 private:
  MethodReply* reply_;
};

}  // namespace

Bytes EncodeMethodCall(const std::string& method, const flutter::EncodableValue& arguments) {
  const flutter::MethodCall call(method, std::make_unique<flutter::EncodableValue>(arguments));
  return std::move(*Codec().EncodeCall(call));
}

std::optional<DecodedMethodCall> DecodeMethodCall(const Bytes& message) {
  std::unique_ptr<flutter::MethodCall> call = Codec().DecodeCall(message.data(), message.size());
  if (call == nullptr) return std::nullopt;
  return DecodedMethodCall{call->method_name(), *call->arguments()};
}

MethodReply DecodeMethodReply(const Bytes& reply) {
  MethodReply decoded;
  if (reply.empty()) {
    decoded.kind = MethodReply::Kind::kNotImplemented;
    return decoded;
  }
  CapturingResult result(&decoded);
  if (!Codec().DecodeReply(reply.data(), reply.size(), &result)) {
    decoded.kind = MethodReply::Kind::kUndecodable;
  }
  return decoded;
}

}  // namespace devkit
