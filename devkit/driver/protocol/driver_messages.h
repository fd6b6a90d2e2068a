#ifndef DEVKIT_DRIVER_PROTOCOL_DRIVER_MESSAGES_H_
#define DEVKIT_DRIVER_PROTOCOL_DRIVER_MESSAGES_H_

#include <cstdint>
#include <string>
#include <vector>

#include "devkit/driver/protocol/frame_reader.h"

namespace devkit {

// Raised whenever a frame's layout changes; the client refuses a driver of another version.
inline constexpr uint32_t kDriverProtocolVersion = 1;

// Driver to test, first frame after connecting.
struct HelloMessage {
  static constexpr FrameType kType = FrameType::kHello;
  uint32_t protocol_version = kDriverProtocolVersion;
  uint32_t process_id = 0;
};

// Test to driver: send |message| to the host on |channel| and report the reply.
struct CallMessage {
  static constexpr FrameType kType = FrameType::kCall;
  uint32_t request_id = 0;
  std::string channel;
  Bytes message;
};

// Driver to test: the host's reply, byte for byte; empty is the not-implemented reply.
struct CallReplyMessage {
  static constexpr FrameType kType = FrameType::kCallReply;
  uint32_t request_id = 0;
  Bytes reply;
};

// Driver to test: the call could not be made, or its reply can never come.
struct CallFailedMessage {
  static constexpr FrameType kType = FrameType::kCallFailed;
  uint32_t request_id = 0;
  std::string reason;
};

// Driver to test: a message the host sent on one of the channels the driver listens on.
struct HostMessage {
  static constexpr FrameType kType = FrameType::kHostMessage;
  std::string channel;
  Bytes message;
  // The host asked for a reply; the driver has answered it with the not-implemented reply.
  bool wanted_reply = false;
};

// Test to driver: report the engine's state.
struct StateQueryMessage {
  static constexpr FrameType kType = FrameType::kStateQuery;
  uint32_t request_id = 0;
};

// Driver to test: what the stand-in engine and the UI application know.
struct EngineStateMessage {
  static constexpr FrameType kType = FrameType::kEngineState;
  uint32_t request_id = 0;
  std::string entrypoint;
  std::vector<std::string> entrypoint_arguments;
  uint64_t frames_produced = 0;
  uint64_t font_reloads = 0;
  // Names of the plug-ins that took their registrar.
  std::vector<std::string> registered_plugins;
  bool engine_running = false;
  // The view's window handle, for checks from another process.
  uint64_t view_window = 0;
};

// Driver to test, last frame: the engine is stopping the UI application.
struct GoodbyeMessage {
  static constexpr FrameType kType = FrameType::kGoodbye;
  std::string reason;
};

Bytes EncodePayload(const HelloMessage& message);
Bytes EncodePayload(const CallMessage& message);
Bytes EncodePayload(const CallReplyMessage& message);
Bytes EncodePayload(const CallFailedMessage& message);
Bytes EncodePayload(const HostMessage& message);
Bytes EncodePayload(const StateQueryMessage& message);
Bytes EncodePayload(const EngineStateMessage& message);
Bytes EncodePayload(const GoodbyeMessage& message);

// False, with |error| set, when the payload does not hold exactly one such message.
bool DecodePayload(const Bytes& payload, HelloMessage* message, std::string* error);
bool DecodePayload(const Bytes& payload, CallMessage* message, std::string* error);
bool DecodePayload(const Bytes& payload, CallReplyMessage* message, std::string* error);
bool DecodePayload(const Bytes& payload, CallFailedMessage* message, std::string* error);
bool DecodePayload(const Bytes& payload, HostMessage* message, std::string* error);
bool DecodePayload(const Bytes& payload, StateQueryMessage* message, std::string* error);
bool DecodePayload(const Bytes& payload, EngineStateMessage* message, std::string* error);
bool DecodePayload(const Bytes& payload, GoodbyeMessage* message, std::string* error);

// The message as a whole frame appended to |out|; false when it is over the frame limit.
template <typename Message>
bool AppendMessage(const Message& message, Bytes* out) {
  return AppendFrame(Message::kType, EncodePayload(message), out);
}

template <typename Message>
bool DecodeMessage(const Frame& frame, Message* message, std::string* error) {
  if (frame.type != Message::kType) {
    *error = "unexpected frame type " + std::to_string(static_cast<int>(frame.type));
    return false;
  }
  return DecodePayload(frame.payload, message, error);
}

}  // namespace devkit

#endif  // DEVKIT_DRIVER_PROTOCOL_DRIVER_MESSAGES_H_
