#include "messaging/standard_method_codec.h"

#include <map>
#include <mutex>
#include <utility>

#include "messaging/byte_buffer_streams.h"

namespace flutter {
namespace {

constexpr uint8_t kSuccessEnvelope = 0;
constexpr uint8_t kErrorEnvelope = 1;

const EncodableValue kNull;

}  // namespace

const StandardMethodCodec& StandardMethodCodec::ForSerializer(
    const StandardCodecSerializer* serializer) {
  if (serializer == nullptr) serializer = &SharedSerializer();
  // Never destroyed: channels may still use their codec while static objects are torn down.
  static auto* const registry =
      new std::map<const StandardCodecSerializer*, std::unique_ptr<StandardMethodCodec>>();
  static std::mutex registry_mutex;
  std::lock_guard<std::mutex> lock(registry_mutex);
  std::unique_ptr<StandardMethodCodec>& codec = (*registry)[serializer];
  if (!codec) codec.reset(new StandardMethodCodec(serializer));
  return *codec;
}

std::unique_ptr<MethodCall> StandardMethodCodec::DecodeCall(const uint8_t* message,
                                                            size_t message_size) const {
  ByteBufferStreamReader reader(message, message_size);
  EncodableValue name = serializer_->ReadTaggedValue(&reader);
  std::string* name_text = name.GetIf<std::string>();
  if (name_text == nullptr) {
    reader.ReportFault("Invalid method call; method name is not a string.");
    return nullptr;
  }
  // A message that ends after the name carries a null argument. Bytes after the argument are
  // ignored.
  auto arguments = std::make_unique<EncodableValue>();
  if (!reader.AtEnd()) *arguments = serializer_->ReadTaggedValue(&reader);
  // Read with a fault, the call is not the one that was sent: zeros stand where bytes were
  // missing, and a handler acting on them could do what nobody asked for.
  if (reader.failed()) return nullptr;
  return std::make_unique<MethodCall>(std::move(*name_text), std::move(arguments));
}

std::unique_ptr<std::vector<uint8_t>> StandardMethodCodec::EncodeCall(
    const MethodCall& call) const {
  const EncodableValue name(call.method_name());
  const EncodableValue& arguments = call.arguments() ? *call.arguments() : kNull;
  auto bytes = std::make_unique<std::vector<uint8_t>>();
  bytes->reserve(MaxEncodedSize(name) + MaxEncodedSize(arguments));
  ByteBufferStreamWriter writer(bytes.get());
  serializer_->WriteValue(name, &writer);
  serializer_->WriteValue(arguments, &writer);
  return bytes;
}

std::unique_ptr<std::vector<uint8_t>> StandardMethodCodec::EncodeSuccessReply(
    const EncodableValue* result) const {
  const EncodableValue& value = result ? *result : kNull;
  auto bytes = std::make_unique<std::vector<uint8_t>>();
  bytes->reserve(1 + MaxEncodedSize(value));
  ByteBufferStreamWriter writer(bytes.get());
  writer.WriteByte(kSuccessEnvelope);
  serializer_->WriteValue(value, &writer);
  return bytes;
}

std::unique_ptr<std::vector<uint8_t>> StandardMethodCodec::EncodeErrorReply(
    const std::string& error_code, const std::string& error_message,
    const EncodableValue* details) const {
  const EncodableValue code(error_code);
  const EncodableValue message = error_message.empty() ? EncodableValue() : error_message;
  const EncodableValue& details_value = details ? *details : kNull;
  auto bytes = std::make_unique<std::vector<uint8_t>>();
  bytes->reserve(1 + MaxEncodedSize(code) + MaxEncodedSize(message) +
                 MaxEncodedSize(details_value));
  ByteBufferStreamWriter writer(bytes.get());
  writer.WriteByte(kErrorEnvelope);
  serializer_->WriteValue(code, &writer);
  serializer_->WriteValue(message, &writer);
  serializer_->WriteValue(details_value, &writer);
  return bytes;
}

bool StandardMethodCodec::DecodeReply(const uint8_t* reply, size_t reply_size,
                                      MethodResult* result) const {
  ByteBufferStreamReader reader(reply, reply_size);
  switch (reader.ReadByte()) {
    case kSuccessEnvelope: {
      const EncodableValue value = serializer_->ReadTaggedValue(&reader);
      result->Success(value.IsNull() ? nullptr : &value);
      return true;
    }
    case kErrorEnvelope: {
      const EncodableValue code = serializer_->ReadTaggedValue(&reader);
      const EncodableValue message = serializer_->ReadTaggedValue(&reader);
      const EncodableValue details = serializer_->ReadTaggedValue(&reader);
      // An error whose code is not a string, or whose message is neither null nor a string,
      // is not a reply this side understands.
      const std::string* code_text = code.GetIf<std::string>();
      const std::string* message_text = message.GetIf<std::string>();
      if (code_text == nullptr || (message_text == nullptr && !message.IsNull())) return false;
      result->Error(*code_text, message_text ? *message_text : std::string(),
                    details.IsNull() ? nullptr : &details);
      return true;
    }
    default:
      return false;
  }
}

}  // namespace flutter
