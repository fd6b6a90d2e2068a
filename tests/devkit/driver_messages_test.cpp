#include "devkit/driver/protocol/driver_messages.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace devkit {
namespace {

using ::testing::HasSubstr;

template <typename Message>
Message RoundTrip(const Message& message) {
  Bytes stream;
  EXPECT_TRUE(AppendMessage(message, &stream));
  FrameReader reader;
  reader.Append(stream.data(), stream.size());
  Frame frame;
  EXPECT_EQ(reader.Next(&frame), FrameReader::Status::kFrame);
  Message decoded;
  std::string error;
  EXPECT_TRUE(DecodeMessage(frame, &decoded, &error)) << error;
  return decoded;
}

// Every payload of |message| cut short must be refused as truncated, never read with zeros.
template <typename Message>
void ExpectEveryTruncationRefused(const Message& message) {
  const Bytes payload = EncodePayload(message);
  for (size_t length = 0; length < payload.size(); ++length) {
    Message decoded;
    std::string error;
    EXPECT_FALSE(DecodePayload(Bytes(payload.begin(), payload.begin() + length), &decoded, &error))
        << "accepted " << length << " of " << payload.size() << " bytes";
    EXPECT_THAT(error, HasSubstr("truncated"));
  }
  Bytes longer = payload;
  longer.push_back(0);
  Message decoded;
  std::string error;
  EXPECT_FALSE(DecodePayload(longer, &decoded, &error));
  EXPECT_THAT(error, HasSubstr("1 unexpected trailing bytes"));
}

const Bytes kBinary = {0, 0xFF, 0x07, 0x00, 0x80};

TEST(DriverMessagesTest, EveryMessageSurvivesTheWire) {
  EXPECT_EQ(RoundTrip(HelloMessage{kDriverProtocolVersion, 4242}).process_id, 4242u);

  const CallMessage call = RoundTrip(CallMessage{7, "app/desktop", kBinary});
  EXPECT_EQ(call.request_id, 7u);
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
  state.view_window = 0x123456789ABCull;
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

TEST(DriverMessagesTest, PayloadLayoutIsLengthPrefixedLittleEndian) {
  EXPECT_EQ(EncodePayload(CallMessage{0x01020304, "ab", {0xEE}}),
            (Bytes{4, 3, 2, 1, 2, 0, 0, 0, 'a', 'b', 1, 0, 0, 0, 0xEE}));
  EXPECT_EQ(EncodePayload(HostMessage{"c", {}, false}), (Bytes{1, 0, 0, 0, 'c', 0, 0, 0, 0, 0}));
}

TEST(DriverMessagesTest, TruncatedOrOverlongPayloadsAreRefused) {
  ExpectEveryTruncationRefused(HelloMessage{kDriverProtocolVersion, 1});
  ExpectEveryTruncationRefused(CallMessage{1, "app/desktop", kBinary});
  ExpectEveryTruncationRefused(CallReplyMessage{1, kBinary});
  ExpectEveryTruncationRefused(CallFailedMessage{1, "why"});
  ExpectEveryTruncationRefused(HostMessage{"app/desktop", kBinary, false});
  ExpectEveryTruncationRefused(StateQueryMessage{1});
  EngineStateMessage state;
  state.entrypoint_arguments = {"a", "bc"};
  state.registered_plugins = {"UrlLauncherWindows"};
  ExpectEveryTruncationRefused(state);
  ExpectEveryTruncationRefused(GoodbyeMessage{"bye"});
}

TEST(DriverMessagesTest, DeclaredSizesBeyondThePayloadAreRefusedBeforeUse) {
  std::string error;
  // A byte block that claims 4 GiB.
  CallReplyMessage reply;
  EXPECT_FALSE(DecodePayload(Bytes{1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0}, &reply, &error));
  EXPECT_EQ(error, "truncated call reply: 4294967295 bytes needed at offset 8, 1 left");

  // A list that claims four billion strings in a few bytes.
  EngineStateMessage state;
  Bytes payload = {1, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_FALSE(DecodePayload(payload, &state, &error));
  EXPECT_THAT(error, HasSubstr("truncated engine state"));
}

TEST(DriverMessagesTest, ABoolOtherThanZeroOrOneIsRefused) {
  HostMessage message;
  std::string error;
  EXPECT_FALSE(DecodePayload(Bytes{0, 0, 0, 0, 0, 0, 0, 0, 2}, &message, &error));
  EXPECT_EQ(error, "invalid bool 2 at offset 8 of host message");
}

TEST(DriverMessagesTest, AFrameOfAnotherTypeIsNotDecodedAsTheMessage) {
  Frame frame{FrameType::kCallReply, EncodePayload(CallReplyMessage{1, {}})};
  CallFailedMessage failed;
  std::string error;
  EXPECT_FALSE(DecodeMessage(frame, &failed, &error));
  EXPECT_EQ(error, "unexpected frame type 3");
}

}  // namespace
}  // namespace devkit
