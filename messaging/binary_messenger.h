#ifndef MESSAGING_BINARY_MESSENGER_H_
#define MESSAGING_BINARY_MESSENGER_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace flutter {

// Receives the reply to one message.
using BinaryReplyCallback = std::function<void(const uint8_t* reply, size_t reply_size)>;

// Receives one incoming message on a channel, with the callback that answers it; the handler
// takes the callback over.
using BinaryHandler =
    std::function<void(const uint8_t* message, size_t message_size, BinaryReplyCallback reply)>;

// Raw byte messages on named channels.
class BinaryMessenger {
 public:
  virtual ~BinaryMessenger() = default;

  // |reply| may be empty when no reply is wanted.
  virtual void Send(const std::string& channel, const uint8_t* message, size_t message_size,
                    BinaryReplyCallback reply) const = 0;

  // An empty |handler| removes the channel's handler.
  virtual void SetHandler(const std::string& channel, BinaryHandler handler) = 0;
};

}  // namespace flutter

#endif  // MESSAGING_BINARY_MESSENGER_H_
