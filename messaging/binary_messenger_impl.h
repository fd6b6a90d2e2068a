#ifndef MESSAGING_BINARY_MESSENGER_IMPL_H_
#define MESSAGING_BINARY_MESSENGER_IMPL_H_

#include <map>
#include <string>

#include "engine_api/flutter_messenger.h"
#include "messaging/binary_messenger.h"

namespace flutter {

// The messenger over the engine's messaging functions. It owns the per-channel handlers and
// answers each incoming message through a reply callback that holds its own reference on the
// engine's messenger, so a late reply after the engine has gone is dropped safely.
class BinaryMessengerImpl : public BinaryMessenger {
 public:
  // |engine_messenger| is borrowed: it stays valid while the engine lives.
  explicit BinaryMessengerImpl(FlutterDesktopMessengerRef engine_messenger);
  // The handler table goes without unregistering the engine callbacks: the engine goes first.
  ~BinaryMessengerImpl() override;

  BinaryMessengerImpl(const BinaryMessengerImpl&) = delete;
  BinaryMessengerImpl& operator=(const BinaryMessengerImpl&) = delete;

  void Send(const std::string& channel, const uint8_t* message, size_t message_size,
            BinaryReplyCallback reply) const override;
  void SetHandler(const std::string& channel, BinaryHandler handler) override;

  // The engine's callbacks: an incoming message (|user_data| is the stored handler) and a
  // reply to a message sent with a reply (|user_data| is the reply holder). Nothing may unwind
  // into the engine's C frames: an exception that reaches one of them (a failed allocation
  // inside a handler) ends the process here, through std::terminate.
  static void DispatchIncoming(FlutterDesktopMessengerRef messenger,
                               const FlutterDesktopMessage* message, void* user_data) noexcept;
  static void DeliverReply(const uint8_t* reply, size_t reply_size, void* user_data) noexcept;

 private:
  FlutterDesktopMessengerRef engine_messenger_;
  // std::map keeps each stored handler at one address while its entry exists; that address is
  // what the engine holds as user data.
  std::map<std::string, BinaryHandler> handlers_;
};

}  // namespace flutter

#endif  // MESSAGING_BINARY_MESSENGER_IMPL_H_
