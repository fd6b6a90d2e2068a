#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "devkit/engine/engine_diagnostics.h"
#include "devkit/engine/messenger.h"

namespace devkit {
namespace {

using Bytes = FlutterDesktopMessenger::Bytes;

const std::string kStrayLine =
    std::string("flutter_windows (development kit): ") + kStrayResponseDiagnostic + "\n";

void AnswerTwice(FlutterDesktopMessengerRef messenger, const FlutterDesktopMessage* message,
                 void*) {
  const uint8_t first[] = {0, 1};
  const uint8_t second[] = {0, 2};
  FlutterDesktopMessengerSendResponse(messenger, message->response_handle, first, sizeof(first));
  FlutterDesktopMessengerSendResponse(messenger, message->response_handle, second, sizeof(second));
}

void AnswerOnce(FlutterDesktopMessengerRef messenger, const FlutterDesktopMessage* message, void*) {
  const uint8_t reply[] = {0, 1};
  FlutterDesktopMessengerSendResponse(messenger, message->response_handle, reply, sizeof(reply));
}

// Sends one message to a host that answers with |callback|; returns what the engine wrote on
// stderr, and the responses the UI application's side received.
std::string Exchange(bool record_traffic, FlutterDesktopMessageCallback callback,
                     std::vector<Bytes>* received, size_t* stray) {
  FlutterDesktopMessenger::Options options;
  options.record_traffic = record_traffic;
  FlutterDesktopMessenger* messenger = FlutterDesktopMessenger::Create(std::move(options));
  messenger->SetCallback("host", callback, nullptr);
  ::testing::internal::CaptureStderr();
  messenger->SendToHost("host", {7},
                        [received](const Bytes& reply) { received->push_back(reply); });
  messenger->RunPendingTasks();
  std::string diagnostics = ::testing::internal::GetCapturedStderr();
  *stray = messenger->stray_responses();
  messenger->ShutDown();
  return diagnostics;
}

// The UI application's side sees the first response only, so a host that answers twice is seen
// by the count and the line, with or without a record of the traffic.
TEST(MessengerStrayResponseTest, SecondResponseIsCountedAndWritesOneLine) {
  for (bool record_traffic : {false, true}) {
    std::vector<Bytes> received;
    size_t stray = 0;
    EXPECT_EQ(Exchange(record_traffic, &AnswerTwice, &received, &stray), kStrayLine)
        << record_traffic;
    EXPECT_EQ(stray, 1u);
    EXPECT_EQ(received, std::vector<Bytes>{Bytes({0, 1})});
  }
}

TEST(MessengerStrayResponseTest, SingleResponseIsNotStray) {
  std::vector<Bytes> received;
  size_t stray = 0;
  EXPECT_EQ(Exchange(false, &AnswerOnce, &received, &stray), "");
  EXPECT_EQ(stray, 0u);
  EXPECT_EQ(received, std::vector<Bytes>{Bytes({0, 1})});
}

TEST(MessengerStrayResponseTest, ResponseOnAHandleNeverGivenIsStray) {
  FlutterDesktopMessenger* messenger = FlutterDesktopMessenger::Create();
  const uint8_t reply[] = {0};
  ::testing::internal::CaptureStderr();
  FlutterDesktopMessengerSendResponse(
      messenger, reinterpret_cast<const FlutterDesktopMessageResponseHandle*>(uintptr_t{99}), reply,
      sizeof(reply));
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), kStrayLine);
  EXPECT_EQ(messenger->stray_responses(), 1u);
  messenger->ShutDown();
}

}  // namespace
}  // namespace devkit
