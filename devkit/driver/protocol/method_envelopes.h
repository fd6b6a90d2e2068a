#ifndef DEVKIT_DRIVER_PROTOCOL_METHOD_ENVELOPES_H_
#define DEVKIT_DRIVER_PROTOCOL_METHOD_ENVELOPES_H_

#include <optional>
#include <string>

#include "devkit/driver/protocol/frame_reader.h"
#include "messaging/encodable_value.h"

namespace devkit {

// Method calls and replies as the UI application's side writes and reads them, for tests and UI
// applications that would rather not handle envelopes byte by byte.

Bytes EncodeMethodCall(const std::string& method,
                       const flutter::EncodableValue& arguments = flutter::EncodableValue());

struct DecodedMethodCall {
  std::string method;
  flutter::EncodableValue arguments;
};

// None when the bytes are not a method call.
std::optional<DecodedMethodCall> DecodeMethodCall(const Bytes& message);

struct MethodReply {
  enum class Kind { kSuccess, kError, kNotImplemented, kUndecodable };
  Kind kind = Kind::kUndecodable;
  // The success value, or the error's details.
  flutter::EncodableValue value;
  std::string error_code;
  std::string error_message;
};

MethodReply DecodeMethodReply(const Bytes& reply);

}  // namespace devkit

#endif  // DEVKIT_DRIVER_PROTOCOL_METHOD_ENVELOPES_H_
