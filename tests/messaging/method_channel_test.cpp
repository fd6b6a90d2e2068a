#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "messaging/method_call_channel.h"
#include "messaging/standard_method_codec.h"
#include "tests/support/codec_test_support.h"
#include "tests/support/engine_messenger_fixture.h"
#include "tests/support/hostile_messages.h"
#include "tests/support/recording_method_result.h"

namespace flutter::testing {
namespace {

const std::string kOneShot =
    "Error: Only one of Success, Error, or NotImplemented can be called, and it can be called "
    "exactly once. Ignoring duplicate result.\n";
const std::string kNoReply = "Warning: Failed to respond to a message. This is a memory leak.\n";
const std::string kNotAString = "Invalid method call; method name is not a string.\n";

const Bytes kMiniModeEvent =
    Hex("07 0A 6F 6E 4D 69 6E 69 4D 6F 64 65 0D 01 07 07 65 6E 61 62 6C 65 64 02");

class MethodChannelTest : public EngineMessengerTest {
 protected:
  MethodChannelTest()
      : channel_(std::make_unique<MethodCallChannel>(
            messenger_.get(), "app/desktop", &StandardMethodCodec::ForSerializer(nullptr))) {}

  // Delivers |message| to the host, runs the loop and returns the responses it got.
  std::vector<Bytes> Call(const Bytes& message) {
    const uint64_t id = engine_->SendToHost("app/desktop", message);
    engine_->RunPendingTasks();
    return engine_->ResponsesTo(id);
  }

  // Replies to every call with what |reply| does to the result.
  template <typename Reply>
  void ReplyWith(Reply reply) {
    channel_->SetCallHandler([reply](const MethodCall& call, std::unique_ptr<MethodResult> result) {
      reply(call, *result);
    });
  }

  std::unique_ptr<MethodCallChannel> channel_;
};

TEST_F(MethodChannelTest, EventIsSentAsACallEnvelopeWithoutReply) {
  channel_->Invoke("onMiniMode",
                   std::make_unique<EncodableValue>(EncodableMap{{"enabled", false}}));
  const auto sent = engine_->host_messages();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].channel, "app/desktop");
  EXPECT_EQ(sent[0].bytes, kMiniModeEvent);
  EXPECT_EQ(sent[0].bytes.size(), 24u);
  EXPECT_FALSE(sent[0].wants_reply);

  channel_->Invoke("onTrayCommand", nullptr);
  EXPECT_EQ(engine_->host_messages()[1].bytes,
            Hex("07 0D 6F 6E 54 72 61 79 43 6F 6D 6D 61 6E 64 00"));
}

TEST_F(MethodChannelTest, RepliesAreEncodedAsEnvelopes) {
  struct Case {
    const char* name;
    std::function<void(MethodResult&)> reply;
    Bytes expected;
  };
  const EncodableValue yes(true);
  const EncodableValue null_value;
  const EncodableValue one_and_a_half(1.5);
  const std::vector<Case> cases = {
      {"true", [&](MethodResult& r) { r.Success(&yes); }, Hex("00 01")},
      {"no value", [](MethodResult& r) { r.Success(nullptr); }, Hex("00 00")},
      {"null value", [&](MethodResult& r) { r.Success(&null_value); }, Hex("00 00")},
      {"error", [](MethodResult& r) { r.Error("E", "", nullptr); }, Hex("01 07 01 45 00 00")},
      {"error with message and details", [&](MethodResult& r) { r.Error("E", "m", &yes); },
       Hex("01 07 01 45 07 01 6D 01")},
      {"double", [&](MethodResult& r) { r.Success(&one_and_a_half); },
       Hex("00 06 00 00 00 00 00 00 00 00 00 00 00 00 F8 3F")},
      {"not implemented", [](MethodResult& r) { r.NotImplemented(); }, Bytes()},
  };
  for (const Case& c : cases) {
    ReplyWith([&c](const MethodCall&, MethodResult& result) { c.reply(result); });
    EXPECT_EQ(Call(Hex("07 01 78 00")), std::vector<Bytes>{c.expected}) << c.name;
  }
}

TEST_F(MethodChannelTest, CallIsDecodedWithNameAndArguments) {
  std::optional<std::string> name;
  EncodableValue arguments;
  ReplyWith([&](const MethodCall& call, MethodResult& result) {
    name = call.method_name();
    arguments = *call.arguments();
    result.Success(nullptr);
  });
  // Trailing bytes after the argument are ignored.
  Call(Hex("07 02 67 6F 0D 01 07 01 6B 03 05 00 00 00 FF FF"));
  EXPECT_EQ(name, "go");
  EXPECT_EQ(arguments, EncodableValue(EncodableMap{{"k", 5}}));
}

// A peer writes no padding before an empty typed list, and a reader skips it all the same: as
// the last argument, the padding runs past the end of the call. Nothing is missing, so the call
// is the one that was sent.
TEST_F(MethodChannelTest, EmptyTypedListAtTheEndIsNotAFault) {
  std::vector<EncodableValue> received;
  ReplyWith([&](const MethodCall& call, MethodResult& result) {
    received.push_back(*call.arguments());
    result.Success(nullptr);
  });
  std::string diagnostics = CaptureStderr([&] {
    Call(Hex("07 02 67 6F 09 00"));
    Call(Hex("07 02 67 6F 0A 00"));
    Call(Hex("07 02 67 6F 0C 01 0B 00"));
  });
  EXPECT_EQ(diagnostics, "");
  EXPECT_EQ(received,
            (std::vector<EncodableValue>{
                EncodableValue(std::vector<int32_t>()), EncodableValue(std::vector<int64_t>()),
                EncodableValue(EncodableList{EncodableValue(std::vector<double>())})}));
}

TEST_F(MethodChannelTest, NameOnlyCallIsDispatchedWithNullArgument) {
  std::optional<std::string> name;
  bool had_null_argument = false;
  ReplyWith([&](const MethodCall& call, MethodResult& result) {
    name = call.method_name();
    had_null_argument = call.arguments() != nullptr && call.arguments()->IsNull();
    result.Success(nullptr);
  });
  std::vector<Bytes> responses;
  const std::string diagnostics = CaptureStderr([&] { responses = Call(Hex("07 03 66 6F 6F")); });
  EXPECT_EQ(name, "foo");
  EXPECT_TRUE(had_null_argument);
  EXPECT_EQ(diagnostics, "");
  EXPECT_EQ(responses, std::vector<Bytes>{Hex("00 00")});
}

TEST_F(MethodChannelTest, UndecodableCallGetsEmptyReplyWithoutCallingTheHandler) {
  int handler_calls = 0;
  ReplyWith([&](const MethodCall&, MethodResult& result) {
    ++handler_calls;
    result.Success(nullptr);
  });
  // One line per message, the first fault's.
  std::vector<Bytes> responses;
  std::string diagnostics = CaptureStderr([&] { responses = Call(Hex("03 01 00 00 00")); });
  EXPECT_EQ(diagnostics, kNotAString);
  EXPECT_EQ(responses, std::vector<Bytes>{Bytes()});

  diagnostics = CaptureStderr([&] { responses = Call(Bytes()); });
  EXPECT_EQ(diagnostics, kReadPastEnd);
  EXPECT_EQ(responses, std::vector<Bytes>{Bytes()});

  diagnostics = CaptureStderr([&] { responses = Call(Hex("0F 10 11")); });
  EXPECT_EQ(diagnostics, "Unknown type in StandardCodecSerializer::ReadValueOfType: 15\n");
  EXPECT_EQ(responses, std::vector<Bytes>{Bytes()});
  EXPECT_EQ(handler_calls, 0);
}

// A call whose arguments were read with a fault is not the call that was sent: zeros stand for
// the missing bytes. The handler never sees it, and the message costs one line however many
// reads failed.
TEST_F(MethodChannelTest, CallReadWithAFaultIsRefusedWithOneLine) {
  int handler_calls = 0;
  ReplyWith([&](const MethodCall&, MethodResult& result) {
    ++handler_calls;
    result.Success(nullptr);
  });
  const char* const faulty[] = {
      // {"k": 5} cut inside the int32.
      "07 02 67 6F 0D 01 07 01 6B 03 05 00",
      // A list of four declared, one given: three reads past the end.
      "07 02 67 6F 0C 04 01",
      // Three unknown tags in a list.
      "07 02 67 6F 0C 03 0F 10 11",
      // A string longer than what is left, but not than the message.
      "07 02 67 6F 07 08 61",
  };
  for (const char* hex : faulty) {
    std::vector<Bytes> responses;
    const std::string diagnostics = CaptureStderr([&] { responses = Call(Hex(hex)); });
    EXPECT_EQ(std::count(diagnostics.begin(), diagnostics.end(), '\n'), 1) << hex;
    EXPECT_EQ(responses, std::vector<Bytes>{Bytes()}) << hex;
  }
  EXPECT_EQ(handler_calls, 0);
}

// The hostile peer's messages one by one, each with its own count: one reply, at most one line,
// and none for a well-formed call. The host's end-to-end run can only count lines in total.
TEST_F(MethodChannelTest, EachHostileMessageGetsOneReplyAndAtMostOneLine) {
  ReplyWith([&](const MethodCall&, MethodResult& result) { result.Success(nullptr); });
  constexpr uint64_t kSeed = 7;
  const std::vector<keelo::testing::HostileMessage> messages =
      keelo::testing::MakeHostileMessages(kSeed, 1500);
  for (size_t i = 0; i < messages.size(); ++i) {
    std::vector<Bytes> responses;
    const std::string diagnostics = CaptureStderr([&] { responses = Call(messages[i].bytes); });
    const auto lines = std::count(diagnostics.begin(), diagnostics.end(), '\n');
    EXPECT_LE(lines, messages[i].well_formed ? 0 : 1)
        << "message " << i << ": " << keelo::testing::HexDump(messages[i].bytes) << "\n"
        << diagnostics;
    EXPECT_EQ(responses.size(), 1u) << "message " << i;
  }
}

TEST_F(MethodChannelTest, SecondReplyIsRefusedWithTheOneShotLine) {
  const EncodableValue yes(true);
  ReplyWith([&](const MethodCall&, MethodResult& result) {
    result.Success(&yes);
    result.NotImplemented();
    result.Error("E", "", nullptr);
  });
  std::vector<Bytes> responses;
  const std::string diagnostics = CaptureStderr([&] { responses = Call(Hex("07 01 78 00")); });
  EXPECT_EQ(responses, std::vector<Bytes>{Hex("00 01")});
  EXPECT_EQ(diagnostics, kOneShot + kOneShot);
}

TEST_F(MethodChannelTest, UnansweredCallWarnsAndSendsNothing) {
  channel_->SetCallHandler([](const MethodCall&, std::unique_ptr<MethodResult>) {});
  std::vector<Bytes> responses;
  const std::string diagnostics = CaptureStderr([&] { responses = Call(Hex("07 01 78 00")); });
  EXPECT_TRUE(responses.empty());
  EXPECT_EQ(diagnostics, kNoReply);
}

TEST_F(MethodChannelTest, ReplyAfterEngineIsGoneSendsAndWritesNothing) {
  std::unique_ptr<MethodResult> kept;
  channel_->SetCallHandler(
      [&](const MethodCall&, std::unique_ptr<MethodResult> result) { kept = std::move(result); });
  Call(Hex("07 01 78 00"));
  ASSERT_NE(kept, nullptr);
  const int live = FlutterDesktopMessenger::live_count();
  DestroyEngine();
  const std::string diagnostics = CaptureStderr([&] {
    kept->Success(nullptr);
    kept.reset();
  });
  EXPECT_EQ(diagnostics, "");
  EXPECT_EQ(FlutterDesktopMessenger::live_count(), live - 1);
}

TEST_F(MethodChannelTest, HandlerCanBeReplacedAndRemovedAndOutlivesTheChannel) {
  const EncodableValue first(1);
  const EncodableValue second(2);
  ReplyWith([&](const MethodCall&, MethodResult& result) { result.Success(&first); });
  ReplyWith([&](const MethodCall&, MethodResult& result) { result.Success(&second); });
  // Each handler reaches the engine as a callback of its own, the second in place of the first.
  EXPECT_EQ(engine_->callbacks_set("app/desktop"), 2);
  EXPECT_EQ(Call(Hex("07 01 78 00")), std::vector<Bytes>{Hex("00 03 02 00 00 00")});

  channel_.reset();
  EXPECT_EQ(Call(Hex("07 01 78 00")), std::vector<Bytes>{Hex("00 03 02 00 00 00")});

  MethodCallChannel again(messenger_.get(), "app/desktop",
                          &StandardMethodCodec::ForSerializer(nullptr));
  again.SetCallHandler(nullptr);
  EXPECT_FALSE(engine_->has_callback("app/desktop"));
  EXPECT_EQ(Call(Hex("07 01 78 00")), std::vector<Bytes>{Bytes()});
}

TEST_F(MethodChannelTest, ChannelsShareOneCodecPerSerializer) {
  EXPECT_EQ(&StandardMethodCodec::ForSerializer(nullptr),
            &StandardMethodCodec::ForSerializer(&SharedSerializer()));
  // The codec registry is process-wide and keeps its serializers' addresses for the process's
  // life, so a serializer registered here must live as long.
  static const StandardCodecSerializer other;
  const StandardMethodCodec& other_codec = StandardMethodCodec::ForSerializer(&other);
  EXPECT_NE(&other_codec, &StandardMethodCodec::ForSerializer(nullptr));
  EXPECT_EQ(&other_codec, &StandardMethodCodec::ForSerializer(&other));
}

TEST_F(MethodChannelTest, InvokeWithResultDecodesTheReply) {
  struct Case {
    Bytes reply;
    std::string expected;
    std::string diagnostics;
  };
  const std::vector<Case> cases = {
      {Hex("00 03 07 00 00 00"), "success 03 07 00 00 00", ""},
      {Hex("00 00"), "success none", ""},
      {Bytes(), "not implemented", ""},
      {Hex("01 07 01 45 00 00"), "error E '' none", ""},
      {Hex("01 07 01 45 07 01 6D 01"), "error E 'm' 01", ""},
      {Hex("02 00"), "not implemented",
       "Unable to decode reply to method invocation on channel app/desktop\n"},
  };
  for (const Case& c : cases) {
    engine_->SetPeerHandler("app/desktop", [&c](const Bytes&, auto respond) { respond(c.reply); });
    auto result = std::make_unique<RecordingMethodResult>();
    RecordingMethodResult::Log log = result->log();
    channel_->Invoke("ask", nullptr, std::move(result));
    const std::string diagnostics = CaptureStderr([&] { engine_->RunPendingTasks(); });
    EXPECT_EQ(*log, std::vector<std::string>{c.expected}) << c.expected;
    EXPECT_EQ(diagnostics, c.diagnostics);
  }
  EXPECT_TRUE(engine_->host_messages().back().wants_reply);
}

}  // namespace
}  // namespace flutter::testing
