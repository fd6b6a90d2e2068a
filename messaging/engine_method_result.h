#ifndef MESSAGING_ENGINE_METHOD_RESULT_H_
#define MESSAGING_ENGINE_METHOD_RESULT_H_

#include <cstdint>
#include <string>
#include <vector>

#include "messaging/binary_messenger.h"
#include "messaging/method_codec.h"
#include "messaging/method_result.h"

namespace flutter {

// Holds the engine's reply callback for one message and sends through it at most once.
class ReplySender {
 public:
  explicit ReplySender(BinaryReplyCallback reply) : reply_(std::move(reply)) {}
  // A message left unanswered gets no response at all; the warning says so.
  ~ReplySender();

  ReplySender(const ReplySender&) = delete;
  ReplySender& operator=(const ReplySender&) = delete;

  // Null or empty |reply| sends a reply without bytes.
  void SendOnce(const std::vector<uint8_t>* reply);

 private:
  BinaryReplyCallback reply_;
};

// The reply sink of a call that came from the engine: encodes the reply and sends it once.
class EngineMethodResult : public MethodResult {
 public:
  // |codec| is borrowed and outlives the result.
  EngineMethodResult(BinaryReplyCallback reply, const MethodCodec* codec)
      : reply_sender_(std::move(reply)), codec_(codec) {}

  void Success(const EncodableValue* result) override;
  void Error(const std::string& error_code, const std::string& error_message,
             const EncodableValue* details) override;
  void NotImplemented() override;

 private:
  ReplySender reply_sender_;
  const MethodCodec* codec_;
};

}  // namespace flutter

#endif  // MESSAGING_ENGINE_METHOD_RESULT_H_
