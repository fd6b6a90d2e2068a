#ifndef MESSAGING_METHOD_CALL_CHANNEL_H_
#define MESSAGING_METHOD_CALL_CHANNEL_H_

#include <memory>
#include <string>

#include "messaging/binary_messenger.h"
#include "messaging/encodable_value.h"
#include "messaging/method_codec.h"
#include "messaging/method_result.h"

namespace flutter {

// A named channel of method calls: decodes incoming calls for one handler, answers each once,
// and sends calls (the host's events) to the other side.
class MethodCallChannel {
 public:
  // |messenger| and |codec| are borrowed and outlive the channel.
  MethodCallChannel(BinaryMessenger* messenger, std::string name, const MethodCodec* codec)
      : messenger_(messenger), name_(std::move(name)), codec_(codec) {}

  MethodCallChannel(const MethodCallChannel&) = delete;
  MethodCallChannel& operator=(const MethodCallChannel&) = delete;

  // An empty handler removes the channel's handler. The installed handler keeps copies of what
  // it needs, and stays with the messenger after the channel is gone.
  void SetCallHandler(MethodCallHandler handler) const;

  // Without |result| no reply is requested.
  void Invoke(const std::string& method, std::unique_ptr<EncodableValue> arguments,
              std::unique_ptr<MethodResult> result = nullptr) const;

 private:
  BinaryMessenger* messenger_;
  std::string name_;
  const MethodCodec* codec_;
};

}  // namespace flutter

#endif  // MESSAGING_METHOD_CALL_CHANNEL_H_
