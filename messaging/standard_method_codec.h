#ifndef MESSAGING_STANDARD_METHOD_CODEC_H_
#define MESSAGING_STANDARD_METHOD_CODEC_H_

#include "messaging/method_codec.h"
#include "messaging/standard_codec_serializer.h"

namespace flutter {

// Method calls and replies in the standard encoding: a call is the name as a string value
// followed by the argument value; a reply is 0 and the value, or 1 and code, message and
// details; a reply without bytes means the method is not implemented.
class StandardMethodCodec : public MethodCodec {
 public:
  // The process-wide codec for |serializer| (the shared serializer when null), created on the
  // first request and kept until the process ends.
  static const StandardMethodCodec& ForSerializer(const StandardCodecSerializer* serializer);

  std::unique_ptr<MethodCall> DecodeCall(const uint8_t* message,
                                         size_t message_size) const override;
  std::unique_ptr<std::vector<uint8_t>> EncodeCall(const MethodCall& call) const override;
  std::unique_ptr<std::vector<uint8_t>> EncodeSuccessReply(
      const EncodableValue* result) const override;
  std::unique_ptr<std::vector<uint8_t>> EncodeErrorReply(
      const std::string& error_code, const std::string& error_message,
      const EncodableValue* details) const override;
  bool DecodeReply(const uint8_t* reply, size_t reply_size, MethodResult* result) const override;

 private:
  explicit StandardMethodCodec(const StandardCodecSerializer* serializer)
      : serializer_(serializer) {}

  const StandardCodecSerializer* serializer_;
};

}  // namespace flutter

#endif  // MESSAGING_STANDARD_METHOD_CODEC_H_
