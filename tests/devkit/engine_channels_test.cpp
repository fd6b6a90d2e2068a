// Channel traffic through the stand-in engine: calls and replies byte for byte, the host's own
// messages, replies that come late or never, and the message trace.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <future>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "devkit/driver/client/driver_client.h"
#include "devkit/driver/protocol/method_envelopes.h"
#include "tests/devkit/engine_fixture.h"

namespace devkit::testing {
namespace {

using ::testing::HasSubstr;
using namespace std::chrono_literals;

TEST_F(DevkitEngineTest, CallsReachTheHostFromItsMessageLoopAndRepliesComeBackByteForByte) {
  ASSERT_NO_FATAL_FAILURE(StartWithDriver());
  struct Delivery {
    std::string channel;
    Bytes message;
    DWORD thread_id;
    bool inside_host_call;
  };
  std::vector<Delivery> deliveries;
  // Each reply names its channel and reverses the message, so a mix-up of channels or bytes
  // shows.
  auto expected_reply = [](const std::string& channel, Bytes message) {
    std::reverse(message.begin(), message.end());
    Bytes reply = Text(channel);
    reply.insert(reply.end(), message.begin(), message.end());
    return reply;
  };
  host_.Run([&] {
    for (const std::string channel : {kDesktop, kUi}) {
      host_.messenger()->SetHandler(
          channel, [&, channel](const uint8_t* message, size_t size,
                                const flutter::BinaryReplyCallback& reply) {
            deliveries.push_back({channel, Bytes(message, message + size), GetCurrentThreadId(),
                                  host_.in_host_call()});
            const Bytes answer = expected_reply(channel, Bytes(message, message + size));
            reply(answer.data(), answer.size());
          });
    }
  });

  Bytes every_byte(256);
  for (size_t i = 0; i < every_byte.size(); ++i) every_byte[i] = static_cast<uint8_t>(i);
  // Larger than the pipe's buffer, so that it crosses in several pieces both ways.
  Bytes large(size_t{300} * 1024);
  for (size_t i = 0; i < large.size(); ++i) large[i] = static_cast<uint8_t>(i * 7 % 251);
  const std::vector<std::pair<std::string, Bytes>> calls = {
      {kDesktop, every_byte}, {kUi, large}, {kDesktop, Bytes()}, {kUi, Text("x")}};
  for (const auto& [channel, message] : calls) {
    const DriverResult<Bytes> reply = client_->Call(channel, message);
    ASSERT_TRUE(reply.ok()) << reply.error;
    EXPECT_EQ(reply.value, expected_reply(channel, message)) << "on " << channel;
  }

  host_.Run([&] {
    ASSERT_EQ(deliveries.size(), calls.size());
    for (size_t i = 0; i < calls.size(); ++i) {
      EXPECT_EQ(deliveries[i].channel, calls[i].first);
      EXPECT_EQ(deliveries[i].message, calls[i].second);
      EXPECT_EQ(deliveries[i].thread_id, host_.thread_id());
      EXPECT_FALSE(deliveries[i].inside_host_call) << "delivered re-entrantly";
    }
  });
}

TEST_F(DevkitEngineTest, CallOnAChannelWithoutAHandlerGetsTheEmptyReply) {
  ASSERT_NO_FATAL_FAILURE(StartWithDriver());
  DriverResult<Bytes> reply = client_->Call(kDesktop, Event("getIdleSeconds", 0));
  ASSERT_TRUE(reply.ok()) << reply.error;
  EXPECT_TRUE(reply.value.empty());

  host_.Run([&] {
    host_.messenger()->SetHandler(
        kDesktop, [](const uint8_t*, size_t, const flutter::BinaryReplyCallback& reply) {
          const uint8_t success[] = {0, 1};
          reply(success, sizeof(success));
        });
  });
  reply = client_->Call(kDesktop, Event("getIdleSeconds", 0));
  ASSERT_TRUE(reply.ok()) << reply.error;
  EXPECT_EQ(reply.value, (Bytes{0, 1}));

  host_.Run([&] { host_.messenger()->SetHandler(kDesktop, nullptr); });
  reply = client_->Call(kDesktop, Event("getIdleSeconds", 0));
  ASSERT_TRUE(reply.ok()) << reply.error;
  EXPECT_TRUE(reply.value.empty()) << "a removed handler still answered";
}

TEST_F(DevkitEngineTest, HostMessagesReachTheDriverInOrderWithTheirChannels) {
  ASSERT_NO_FATAL_FAILURE(StartWithDriver());
  host_.Run([&] {
    const std::vector<std::pair<std::string, Bytes>> sends = {
        {kDesktop, Event("onForeground", 1)},
        {kUi, Event("onMiniMode", 2)},
        {"test.keelo/unheard", Event("onElsewhere", 3)},
        {kDesktop, Event("onTrayCommand", 4)}};
    for (const auto& [channel, message] : sends) {
      host_.messenger()->Send(channel, message.data(), message.size(), nullptr);
    }
  });
  const std::vector<std::pair<std::string, Bytes>> expected = {
      {kDesktop, Event("onForeground", 1)},
      {kUi, Event("onMiniMode", 2)},
      {kDesktop, Event("onTrayCommand", 4)}};
  for (const auto& [channel, message] : expected) {
    const DriverResult<HostEvent> event = client_->NextEvent();
    ASSERT_TRUE(event.ok()) << event.error;
    EXPECT_EQ(event.value.channel, channel);
    EXPECT_EQ(event.value.message, message);
    EXPECT_FALSE(event.value.wanted_reply);
  }
  EXPECT_FALSE(client_->NextEvent(300ms).ok()) << "a channel the driver does not listen on";

  // A message that wants a reply gets the empty one, once.
  std::vector<Bytes> replies;
  host_.Run([&] {
    const Bytes message = Event("askTheUi", 5);
    host_.messenger()->Send(
        kUi, message.data(), message.size(),
        [&](const uint8_t* reply, size_t size) { replies.emplace_back(reply, reply + size); });
  });
  const DriverResult<HostEvent> event = client_->NextEvent();
  ASSERT_TRUE(event.ok()) << event.error;
  EXPECT_TRUE(event.value.wanted_reply);
  ASSERT_TRUE(host_.RunUntil([&] { return !replies.empty(); }));
  ASSERT_TRUE(client_->QueryState().ok());
  host_.Run([&] { EXPECT_EQ(replies, std::vector<Bytes>{Bytes()}); });
}

TEST_F(DevkitEngineTest, LateReplyAfterTheEngineIsDestroyedIsDroppedAndTheCallFailsClearly) {
  ASSERT_NO_FATAL_FAILURE(StartWithDriver());
  std::optional<flutter::BinaryReplyCallback> kept;
  host_.Run([&] {
    host_.messenger()->SetHandler(kDesktop,
                                  [&](const uint8_t*, size_t, flutter::BinaryReplyCallback reply) {
                                    kept = std::move(reply);
                                  });
  });
  std::future<DriverResult<Bytes>> call =
      std::async(std::launch::async, [&] { return client_->Call(kDesktop, Text("late")); });
  ASSERT_TRUE(host_.RunUntil([&] { return kept.has_value(); }));

  host_.Run([&] { host_.DestroyEngine(); });
  const DriverResult<Bytes> result = call.get();
  EXPECT_FALSE(result.ok());
  EXPECT_THAT(result.error, HasSubstr("destroyed before the host replied"));
  const DriverResult<std::string> goodbye = client_->WaitForGoodbye();
  EXPECT_TRUE(goodbye.ok()) << goodbye.error;

  ::testing::internal::CaptureStderr();
  host_.Run([&] {
    const uint8_t reply[] = {0, 1};
    (*kept)(reply, sizeof(reply));
    kept.reset();
  });
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

TEST_F(DevkitEngineTest, HostThatDoesNotAnswerFailsTheCallWithAClearMessage) {
  ASSERT_NO_FATAL_FAILURE(StartWithDriver());
  std::optional<flutter::BinaryReplyCallback> kept;
  host_.Run([&] {
    host_.messenger()->SetHandler(kUi,
                                  [&](const uint8_t*, size_t, flutter::BinaryReplyCallback reply) {
                                    kept = std::move(reply);
                                  });
  });
  const DriverResult<Bytes> unanswered = client_->Call(kUi, Text("hello?"), 300ms);
  EXPECT_FALSE(unanswered.ok());
  EXPECT_THAT(unanswered.error, HasSubstr("did not reply within 300 ms"));
  EXPECT_THAT(unanswered.error, HasSubstr(kUi));

  // Its reply, when it comes at last, is not mistaken for the reply to a later call.
  host_.Run([&] {
    const uint8_t late[] = {9, 9};
    (*kept)(late, sizeof(late));
    host_.messenger()->SetHandler(
        kUi, [](const uint8_t*, size_t, const flutter::BinaryReplyCallback& reply) {
          const uint8_t now[] = {1};
          reply(now, sizeof(now));
        });
  });
  const DriverResult<Bytes> answered = client_->Call(kUi, Text("again"));
  ASSERT_TRUE(answered.ok()) << answered.error;
  EXPECT_EQ(answered.value, Bytes{1});
}

TEST_F(DevkitEngineTest, EngineTracesEveryMessageWhenAsked) {
  wchar_t directory[MAX_PATH];
  GetTempPathW(MAX_PATH, directory);
  wchar_t path[MAX_PATH];
  GetTempFileNameW(directory, L"kdt", 0, path);
  SetEnvironmentVariableW(L"KEELO_DEVKIT_TRACE", path);
  StartWithDriver();
  SetEnvironmentVariableW(L"KEELO_DEVKIT_TRACE", nullptr);
  if (HasFatalFailure()) return;

  host_.Run([&] {
    host_.messenger()->SetHandler(
        kDesktop, [](const uint8_t*, size_t, const flutter::BinaryReplyCallback& reply) {
          const uint8_t success[] = {0, 1};
          reply(success, sizeof(success));
        });
  });
  ASSERT_TRUE(client_->Call(kDesktop, EncodeMethodCall("ping")).ok());
  host_.Run([&] {
    const Bytes event = EncodeMethodCall("onMiniMode");
    host_.messenger()->Send(kUi, event.data(), event.size(), nullptr);
  });
  ASSERT_TRUE(client_->NextEvent().ok());
  host_.Run([&] { host_.DestroyEngine(); });

  std::string trace;
  if (FILE* file = _wfopen(path, L"rb")) {
    char buffer[4096];
    size_t read;
    while ((read = std::fread(buffer, 1, sizeof(buffer), file)) > 0) trace.append(buffer, read);
    std::fclose(file);
  }
  DeleteFileW(path);
  EXPECT_EQ(trace, std::string("to-host\t") + kDesktop + "\tping\t7\t070470696E6700\n" +
                       "reply-to-app\t" + kDesktop + "\t-\t2\t0001\n" + "to-app\t" + kUi +
                       "\tonMiniMode\t13\t070A6F6E4D696E694D6F646500\n");
}

}  // namespace
}  // namespace devkit::testing
