#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "devkit/engine/messenger.h"

namespace devkit {
namespace {

using Bytes = FlutterDesktopMessenger::Bytes;
using Traced = std::tuple<TraceDirection, std::string, Bytes>;

// Answers twice, as a faulty host would; an engine that keeps no record has forgotten the
// message after the first answer and ignores the second.
void AnswerTwice(FlutterDesktopMessengerRef messenger, const FlutterDesktopMessage* message,
                 void*) {
  const uint8_t reply[] = {0, 1};
  FlutterDesktopMessengerSendResponse(messenger, message->response_handle, reply, sizeof(reply));
  FlutterDesktopMessengerSendResponse(messenger, message->response_handle, reply, sizeof(reply));
}

// The stand-in engine's trace and the host's view of the traffic must agree: every message and
// every response, in both directions, with its channel.
TEST(MessengerTraceTest, TracerSeesEveryMessageAndResponseWithItsChannel) {
  std::vector<Traced> traced;
  FlutterDesktopMessenger::Options options;
  options.tracer = [&](TraceDirection direction, const std::string& channel, const Bytes& bytes) {
    traced.emplace_back(direction, channel, bytes);
  };
  options.record_traffic = false;
  FlutterDesktopMessenger* messenger = FlutterDesktopMessenger::Create(std::move(options));
  messenger->SetCallback("host", &AnswerTwice, nullptr);
  messenger->SetPeerHandler("app", [](const Bytes& message, auto respond) {
    respond(Bytes(message.rbegin(), message.rend()));
  });

  const uint64_t id = messenger->SendToHost("host", {7, 7});
  messenger->RunPendingTasks();
  const uint8_t event[] = {1, 2, 3};
  int replies = 0;
  messenger->Send(
      "app", event, sizeof(event),
      [](const uint8_t*, size_t, void* count) { ++*static_cast<int*>(count); }, &replies);
  messenger->RunPendingTasks();

  EXPECT_EQ(traced, (std::vector<Traced>{{TraceDirection::kToHost, "host", {7, 7}},
                                         {TraceDirection::kReplyToApp, "host", {0, 1}},
                                         {TraceDirection::kToApp, "app", {1, 2, 3}},
                                         {TraceDirection::kReplyToHost, "app", {3, 2, 1}}}));
  EXPECT_EQ(replies, 1);
  // Without the record, nothing of the traffic is kept.
  EXPECT_TRUE(messenger->host_messages().empty());
  EXPECT_TRUE(messenger->ResponsesTo(id).empty());
  messenger->ShutDown();
}

TEST(MessengerTraceTest, NullMessengerIsTreatedAsOneWhoseEngineIsGone) {
  const uint8_t byte = 0;
  EXPECT_FALSE(FlutterDesktopMessengerSend(nullptr, "c", &byte, 1));
  EXPECT_FALSE(FlutterDesktopMessengerSendWithReply(
      nullptr, "c", &byte, 1, [](const uint8_t*, size_t, void*) {}, nullptr));
  EXPECT_FALSE(FlutterDesktopMessengerIsAvailable(nullptr));
  EXPECT_EQ(FlutterDesktopMessengerLock(nullptr), nullptr);
  EXPECT_EQ(FlutterDesktopMessengerAddRef(nullptr), nullptr);
  FlutterDesktopMessengerSetCallback(nullptr, "c", nullptr, nullptr);
  FlutterDesktopMessengerSendResponse(nullptr, nullptr, &byte, 1);
  FlutterDesktopMessengerUnlock(nullptr);
  FlutterDesktopMessengerRelease(nullptr);
}

}  // namespace
}  // namespace devkit
