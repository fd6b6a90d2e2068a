#ifndef DEVKIT_DRIVER_PROTOCOL_DRIVER_MESSAGES_H_
#define DEVKIT_DRIVER_PROTOCOL_DRIVER_MESSAGES_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "devkit/driver/protocol/frame_reader.h"
#include "messaging/encodable_value.h"

namespace devkit {

// Raised whenever a frame's layout changes; the client refuses a driver of another version.
inline constexpr uint32_t kDriverProtocolVersion = 2;

// Each message is one frame of its type, whose values are its fields in the order Fields names
// them, so that one list serves both directions. The host's method bytes that a call, a reply or
// a host message carries stay a byte list: decoded and encoded again on the way, a fault of the
// codec under test could cancel itself out before a test saw it.

// Driver to test, first frame after connecting.
struct HelloMessage {
  static constexpr FrameType kType = FrameType::kHello;
  uint32_t protocol_version = kDriverProtocolVersion;
  uint32_t process_id = 0;

  template <typename Self>
  static auto Fields(Self& self) {
    return std::tie(self.protocol_version, self.process_id);
  }
};

// Test to driver: send |message| to the host on |channel| and report the reply.
struct CallMessage {
  static constexpr FrameType kType = FrameType::kCall;
  uint32_t request_id = 0;
  std::string channel;
  Bytes message;

  template <typename Self>
  static auto Fields(Self& self) {
    return std::tie(self.request_id, self.channel, self.message);
  }
};

// Driver to test: the host's reply, byte for byte; empty is the not-implemented reply.
struct CallReplyMessage {
  static constexpr FrameType kType = FrameType::kCallReply;
  uint32_t request_id = 0;
  Bytes reply;

  template <typename Self>
  static auto Fields(Self& self) {
    return std::tie(self.request_id, self.reply);
  }
};

// Driver to test: the call could not be made, or its reply can never come.
struct CallFailedMessage {
  static constexpr FrameType kType = FrameType::kCallFailed;
  uint32_t request_id = 0;
  std::string reason;

  template <typename Self>
  static auto Fields(Self& self) {
    return std::tie(self.request_id, self.reason);
  }
};

// Driver to test: a message the host sent on one of the channels the driver listens on.
struct HostMessage {
  static constexpr FrameType kType = FrameType::kHostMessage;
  std::string channel;
  Bytes message;
  // The host asked for a reply; the driver has answered it with the not-implemented reply.
  bool wanted_reply = false;

  template <typename Self>
  static auto Fields(Self& self) {
    return std::tie(self.channel, self.message, self.wanted_reply);
  }
};

// Test to driver: report the engine's state.
struct StateQueryMessage {
  static constexpr FrameType kType = FrameType::kStateQuery;
  uint32_t request_id = 0;

  template <typename Self>
  static auto Fields(Self& self) {
    return std::tie(self.request_id);
  }
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

  template <typename Self>
  static auto Fields(Self& self) {
    return std::tie(self.request_id, self.entrypoint, self.entrypoint_arguments,
                    self.frames_produced, self.font_reloads, self.registered_plugins,
                    self.engine_running, self.view_window);
  }
};

// Driver to test, last frame: the engine is stopping the UI application.
struct GoodbyeMessage {
  static constexpr FrameType kType = FrameType::kGoodbye;
  std::string reason;

  template <typename Self>
  static auto Fields(Self& self) {
    return std::tie(self.reason);
  }
};

// One field as a value and back. Integers travel as 64-bit values, since a u32 does not fit the
// signed 32-bit one; reading refuses a value of any other type, or out of the field's range.
flutter::EncodableValue FieldValue(uint32_t field);
flutter::EncodableValue FieldValue(uint64_t field);
flutter::EncodableValue FieldValue(bool field);
flutter::EncodableValue FieldValue(const std::string& field);
flutter::EncodableValue FieldValue(const Bytes& field);
flutter::EncodableValue FieldValue(const std::vector<std::string>& field);
bool ReadField(const flutter::EncodableValue& value, uint32_t* field);
bool ReadField(const flutter::EncodableValue& value, uint64_t* field);
bool ReadField(const flutter::EncodableValue& value, bool* field);
bool ReadField(const flutter::EncodableValue& value, std::string* field);
bool ReadField(const flutter::EncodableValue& value, Bytes* field);
bool ReadField(const flutter::EncodableValue& value, std::vector<std::string>* field);

// The message as a whole frame appended to |out|; false when it is over the frame limit.
template <typename Message>
bool AppendMessage(const Message& message, Bytes* out) {
  Frame frame{Message::kType, {}};
  std::apply([&frame](const auto&... field) { (frame.values.push_back(FieldValue(field)), ...); },
             Message::Fields(message));
  return AppendFrame(std::move(frame), out);
}

// False, with |error| set, when the frame is not one such message.
template <typename Message>
bool DecodeMessage(const Frame& frame, Message* message, std::string* error) {
  const std::string type = std::to_string(static_cast<int>(frame.type));
  if (frame.type != Message::kType) {
    *error = "unexpected frame type " + type;
    return false;
  }
  auto fields = Message::Fields(*message);
  constexpr size_t kCount = std::tuple_size_v<decltype(fields)>;
  if (frame.values.size() != kCount) {
    *error = "a frame of type " + type + " has " + std::to_string(frame.values.size()) +
             " values where " + std::to_string(kCount) + " belong";
    return false;
  }
  size_t read = 0;
  const bool whole = std::apply(
      [&](auto&... field) { return (ReadField(frame.values[read++], &field) && ...); }, fields);
  if (!whole) {
    *error = "value " + std::to_string(read) + " of a frame of type " + type +
             " is not of its field's type";
  }
  return whole;
}

}  // namespace devkit

#endif  // DEVKIT_DRIVER_PROTOCOL_DRIVER_MESSAGES_H_
