#ifndef MESSAGING_METHOD_CODEC_H_
#define MESSAGING_METHOD_CODEC_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "messaging/encodable_value.h"
#include "messaging/method_call.h"
#include "messaging/method_result.h"

namespace flutter {

// Turns method calls and their replies into envelopes of bytes and back.
class MethodCodec {
 public:
  MethodCodec() = default;
  virtual ~MethodCodec() = default;

  MethodCodec(const MethodCodec&) = delete;
  MethodCodec& operator=(const MethodCodec&) = delete;

  // None when the bytes are not a method call.
  virtual std::unique_ptr<MethodCall> DecodeCall(const uint8_t* message,
                                                 size_t message_size) const = 0;
  virtual std::unique_ptr<std::vector<uint8_t>> EncodeCall(const MethodCall& call) const = 0;
  // |result| may be null.
  virtual std::unique_ptr<std::vector<uint8_t>> EncodeSuccessReply(
      const EncodableValue* result) const = 0;
  // |details| may be null.
  virtual std::unique_ptr<std::vector<uint8_t>> EncodeErrorReply(
      const std::string& error_code, const std::string& error_message,
      const EncodableValue* details) const = 0;
  // Whether the bytes were a reply envelope; if so it has been delivered to |result|.
  virtual bool DecodeReply(const uint8_t* reply, size_t reply_size, MethodResult* result) const = 0;
};

}  // namespace flutter

#endif  // MESSAGING_METHOD_CODEC_H_
