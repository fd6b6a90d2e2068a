#include "devkit/driver/protocol/driver_messages.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace devkit {
namespace {

using flutter::EncodableList;
using flutter::EncodableValue;

Frame ReadBack(const Bytes& stream) {
  FrameReader reader;
  reader.Append(stream.data(), stream.size());
  Frame frame;
  EXPECT_EQ(reader.Next(&frame), FrameReader::Status::kFrame) << reader.error();
  return frame;
}

template <typename Message>
Message RoundTrip(const Message& message) {
  Bytes stream;
  EXPECT_TRUE(AppendMessage(message, &stream));
  Message decoded;
  std::string error;
  EXPECT_TRUE(DecodeMessage(ReadBack(stream), &decoded, &error)) << error;
  return decoded;
}

const Bytes kBinary = {0, 0xFF, 0x07, 0x00, 0x80};

TEST(DriverMessagesTest, EveryMessageSurvivesTheWire) {
  EXPECT_EQ(RoundTrip(HelloMessage{kDriverProtocolVersion, 4242}).process_id, 4242u);

  const CallMessage call = RoundTrip(CallMessage{0xFFFFFFFF, "app/desktop", kBinary});
  EXPECT_EQ(call.request_id, 0xFFFFFFFFu);
  EXPECT_EQ(call.channel, "app/desktop");
  EXPECT_EQ(call.message, kBinary);

  const CallReplyMessage reply = RoundTrip(CallReplyMessage{8, Bytes()});
  EXPECT_EQ(reply.request_id, 8u);
  EXPECT_TRUE(reply.reply.empty());

  const CallFailedMessage failed = RoundTrip(CallFailedMessage{9, "gone"});
  EXPECT_EQ(failed.request_id, 9u);
  EXPECT_EQ(failed.reason, "gone");

  const HostMessage host = RoundTrip(HostMessage{"app/desktop_ui", kBinary, true});
  EXPECT_EQ(host.channel, "app/desktop_ui");
  EXPECT_EQ(host.message, kBinary);
  EXPECT_TRUE(host.wanted_reply);

  EXPECT_EQ(RoundTrip(StateQueryMessage{10}).request_id, 10u);

  EngineStateMessage state;
  state.request_id = 11;
  state.entrypoint = "main";
  state.entrypoint_arguments = {"--minimized", "", "caf\xC3\xA9"};
  state.frames_produced = 1ull << 40;
  state.font_reloads = 3;
  state.registered_plugins = {"UrlLauncherWindows"};
  state.engine_running = true;
  state.view_window = 0xFFFF800012345678ull;
  const EngineStateMessage decoded = RoundTrip(state);
  EXPECT_EQ(decoded.request_id, 11u);
  EXPECT_EQ(decoded.entrypoint, "main");
  EXPECT_EQ(decoded.entrypoint_arguments, state.entrypoint_arguments);
  EXPECT_EQ(decoded.frames_produced, state.frames_produced);
  EXPECT_EQ(decoded.font_reloads, 3u);
  EXPECT_EQ(decoded.registered_plugins, state.registered_plugins);
  EXPECT_TRUE(decoded.engine_running);
  EXPECT_EQ(decoded.view_window, state.view_window);

  EXPECT_EQ(RoundTrip(GoodbyeMessage{"bye"}).reason, "bye");
}

TEST(DriverMessagesTest, FieldsFollowTheTypeAndMethodBytesStayAByteList) {
  Bytes call;
  ASSERT_TRUE(AppendMessage(CallMessage{0x01020304, "ab", {0xEE}}, &call));
  // A list (12) of four: the type (a 32-bit integer, 3), the request id (a 64-bit one, 4), the
  // channel (a string, 7) and the message (a byte list, 8).
  EXPECT_EQ(call, (Bytes{23, 0, 0, 0, 12, 4, 3, 2, 0,   0,   0, 4, 4,   3,
                         2,  1, 0, 0, 0,  0, 7, 2, 'a', 'b', 8, 1, 0xEE}));
  Bytes host;
  ASSERT_TRUE(AppendMessage(HostMessage{"c", {}, false}, &host));
  EXPECT_EQ(host, (Bytes{13, 0, 0, 0, 12, 4, 3, 5, 0, 0, 0, 7, 1, 'c', 8, 0, 2}));
}

TEST(DriverMessagesTest, AFrameWithMoreOrFewerValuesIsRefused) {
  CallFailedMessage failed;
  std::string error;
  EXPECT_FALSE(DecodeMessage(Frame{FrameType::kCallFailed, {int64_t{1}}}, &failed, &error));
  EXPECT_EQ(error, "a frame of type 4 has 1 values where 2 belong");
  EXPECT_FALSE(
      DecodeMessage(Frame{FrameType::kCallFailed, {int64_t{1}, "why", "more"}}, &failed, &error));
  EXPECT_EQ(error, "a frame of type 4 has 3 values where 2 belong");
}

TEST(DriverMessagesTest, AValueOfAnotherTypeThanItsFieldIsRefused) {
  const EncodableList sound = {"app/desktop", Bytes{1}, true};
  HostMessage message;
  std::string error;
  ASSERT_TRUE(DecodeMessage(Frame{FrameType::kHostMessage, sound}, &message, &error)) << error;
  // The bool as the number 1, the message as a string, and the channel as a list.
  for (const auto& [index, wrong] : std::vector<std::pair<size_t, EncodableValue>>{
           {2, EncodableValue(int32_t{1})}, {1, EncodableValue("\x01")}, {0, EncodableList{}}}) {
    EncodableList values = sound;
    values[index] = wrong;
    EXPECT_FALSE(DecodeMessage(Frame{FrameType::kHostMessage, values}, &message, &error));
    EXPECT_EQ(error, "value " + std::to_string(index + 1) +
                         " of a frame of type 5 is not of its field's type");
  }

  // A request id out of the range of its 32 bits.
  StateQueryMessage query;
  for (int64_t id : {int64_t{-1}, int64_t{1} << 32}) {
    EXPECT_FALSE(DecodeMessage(Frame{FrameType::kStateQuery, {id}}, &query, &error)) << id;
    EXPECT_EQ(error, "value 1 of a frame of type 6 is not of its field's type");
  }

  // A string list with a number in it.
  Bytes stream;
  ASSERT_TRUE(AppendMessage(EngineStateMessage{}, &stream));
  Frame state_frame = ReadBack(stream);
  state_frame.values[2] = EncodableList{"a", int64_t{1}};
  EngineStateMessage state;
  EXPECT_FALSE(DecodeMessage(state_frame, &state, &error));
  EXPECT_EQ(error, "value 3 of a frame of type 7 is not of its field's type");
}

TEST(DriverMessagesTest, AFrameOfAnotherTypeIsNotDecodedAsTheMessage) {
  Bytes stream;
  ASSERT_TRUE(AppendMessage(CallReplyMessage{1, {}}, &stream));
  CallFailedMessage failed;
  std::string error;
  EXPECT_FALSE(DecodeMessage(ReadBack(stream), &failed, &error));
  EXPECT_EQ(error, "unexpected frame type 3");
}

}  // namespace
}  // namespace devkit
