#include "messaging/binary_messenger_impl.h"

#include <memory>
#include <utility>

#include "messaging/diagnostics.h"

namespace flutter {
namespace {

// One engine reference on the messenger, released by the last owner.
using MessengerReference = std::shared_ptr<FlutterDesktopMessenger>;

MessengerReference TakeReference(FlutterDesktopMessengerRef messenger) {
  return MessengerReference(
      FlutterDesktopMessengerAddRef(messenger),
      [](FlutterDesktopMessengerRef held) { FlutterDesktopMessengerRelease(held); });
}

// What a reply callback for one incoming message holds. A copy of the callback copies the
// response handle and shares the messenger reference.
struct ReplyState {
  MessengerReference messenger;
  const FlutterDesktopMessageResponseHandle* response_handle;
};

void Respond(ReplyState& state, const uint8_t* reply, size_t reply_size) {
  FlutterDesktopMessengerRef messenger = state.messenger.get();
  // The lock keeps the engine from going away between the availability test and the response.
  FlutterDesktopMessengerRef token = FlutterDesktopMessengerLock(messenger);
  if (FlutterDesktopMessengerIsAvailable(messenger)) {
    if (state.response_handle == nullptr) {
      WriteDiagnosticLine("Error: Response can be set only once. Ignoring duplicate response.");
    } else {
      FlutterDesktopMessengerSendResponse(messenger, state.response_handle, reply, reply_size);
      state.response_handle = nullptr;
    }
  }
  if (token != nullptr) FlutterDesktopMessengerUnlock(token);
}

}  // namespace

BinaryMessengerImpl::BinaryMessengerImpl(FlutterDesktopMessengerRef engine_messenger)
    : engine_messenger_(engine_messenger) {}

BinaryMessengerImpl::~BinaryMessengerImpl() = default;

void BinaryMessengerImpl::Send(const std::string& channel, const uint8_t* message,
                               size_t message_size, BinaryReplyCallback reply) const {
  if (!reply) {
    FlutterDesktopMessengerSend(engine_messenger_, channel.c_str(), message, message_size);
    return;
  }
  auto holder = std::make_unique<BinaryReplyCallback>(std::move(reply));
  if (FlutterDesktopMessengerSendWithReply(engine_messenger_, channel.c_str(), message,
                                           message_size, &BinaryMessengerImpl::DeliverReply,
                                           holder.get())) {
    // The engine now holds it and hands it back, once, to DeliverReply.
    [[maybe_unused]] BinaryReplyCallback* held_by_engine = holder.release();
  }
}

void BinaryMessengerImpl::SetHandler(const std::string& channel, BinaryHandler handler) {
  if (!handler) {
    handlers_.erase(channel);
    FlutterDesktopMessengerSetCallback(engine_messenger_, channel.c_str(), nullptr, nullptr);
    return;
  }
  BinaryHandler& stored = handlers_[channel];
  stored = std::move(handler);
  FlutterDesktopMessengerSetCallback(engine_messenger_, channel.c_str(),
                                     &BinaryMessengerImpl::DispatchIncoming, &stored);
}

void BinaryMessengerImpl::DispatchIncoming(FlutterDesktopMessengerRef messenger,
                                           const FlutterDesktopMessage* message,
                                           void* user_data) noexcept {
  ReplyState state{TakeReference(messenger), message->response_handle};
  BinaryReplyCallback reply = [state = std::move(state)](const uint8_t* reply_bytes,
                                                         size_t reply_size) mutable {
    Respond(state, reply_bytes, reply_size);
  };
  // Called through a copy: a handler that replaces or removes its own channel's handler would
  // otherwise destroy itself while it runs.
  BinaryHandler handler = *static_cast<const BinaryHandler*>(user_data);
  handler(message->message, message->message_size, std::move(reply));
}

void BinaryMessengerImpl::DeliverReply(const uint8_t* reply, size_t reply_size,
                                       void* user_data) noexcept {
  std::unique_ptr<BinaryReplyCallback> holder(static_cast<BinaryReplyCallback*>(user_data));
  (*holder)(reply, reply_size);
}

}  // namespace flutter
