#include <gtest/gtest.h>

#include <memory>
#include <new>
#include <string>
#include <vector>

#include "messaging/binary_messenger_impl.h"
#include "tests/support/codec_test_support.h"
#include "tests/support/engine_messenger_fixture.h"

namespace flutter::testing {
namespace {

const std::string kDuplicateResponse =
    "Error: Response can be set only once. Ignoring duplicate response.\n";

using BinaryMessengerTest = EngineMessengerTest;

TEST_F(BinaryMessengerTest, IncomingMessageReachesHandlerAndItsReplyIsSentUnderTheLock) {
  Bytes received;
  messenger_->SetHandler(
      "chan", [&](const uint8_t* message, size_t size, const BinaryReplyCallback& reply) {
        received.assign(message, message + size);
        const Bytes answer = Hex("00 01");
        reply(answer.data(), answer.size());
      });
  const uint64_t id = engine_->SendToHost("chan", Hex("07 01 61 00"));
  EXPECT_TRUE(received.empty()) << "delivered inside the sender's call";
  engine_->RunPendingTasks();

  EXPECT_EQ(received, Hex("07 01 61 00"));
  EXPECT_EQ(engine_->ResponsesTo(id), std::vector<Bytes>{Hex("00 01")});
  EXPECT_EQ(engine_->responses_outside_lock(), 0u);
}

TEST_F(BinaryMessengerTest, SecondHandlerReplacesFirstAtTheSameAddress) {
  int first_calls = 0;
  int second_calls = 0;
  messenger_->SetHandler("chan", [&](const uint8_t*, size_t, const BinaryReplyCallback& reply) {
    ++first_calls;
    reply(nullptr, 0);
  });
  void* first_address = engine_->callback_user_data("chan");
  messenger_->SetHandler("chan", [&](const uint8_t*, size_t, const BinaryReplyCallback& reply) {
    ++second_calls;
    reply(nullptr, 0);
  });
  EXPECT_EQ(engine_->callback_user_data("chan"), first_address);

  engine_->SendToHost("chan", Hex("00"));
  engine_->RunPendingTasks();
  EXPECT_EQ(first_calls, 0);
  EXPECT_EQ(second_calls, 1);
}

TEST_F(BinaryMessengerTest, RemovingAHandlerClearsTheEngineCallbackEvenWithoutAnEntry) {
  messenger_->SetHandler("chan", [](const uint8_t*, size_t, const BinaryReplyCallback&) {});
  messenger_->SetHandler("chan", nullptr);
  EXPECT_FALSE(engine_->has_callback("chan"));

  // A callback the table does not know of is cleared all the same.
  FlutterDesktopMessengerSetCallback(engine_, "other", &BinaryMessengerImpl::DispatchIncoming,
                                     this);
  messenger_->SetHandler("other", nullptr);
  EXPECT_FALSE(engine_->has_callback("other"));

  // Without a callback the engine itself answers with no bytes.
  const uint64_t id = engine_->SendToHost("chan", Hex("00"));
  engine_->RunPendingTasks();
  EXPECT_EQ(engine_->ResponsesTo(id), std::vector<Bytes>{Bytes()});
}

TEST_F(BinaryMessengerTest, ReplyCalledTwiceSendsOneResponseAndOneLine) {
  messenger_->SetHandler("chan", [](const uint8_t*, size_t, const BinaryReplyCallback& reply) {
    const Bytes first = Hex("00 01");
    const Bytes second = Hex("00 02");
    reply(first.data(), first.size());
    reply(second.data(), second.size());
  });
  const uint64_t id = engine_->SendToHost("chan", Hex("00"));
  const std::string diagnostics = CaptureStderr([&] { engine_->RunPendingTasks(); });
  EXPECT_EQ(engine_->ResponsesTo(id), std::vector<Bytes>{Hex("00 01")});
  EXPECT_EQ(diagnostics, kDuplicateResponse);
}

TEST_F(BinaryMessengerTest, CopiesOfAReplyCallbackAnswerIndependently) {
  BinaryReplyCallback copy;
  messenger_->SetHandler("chan", [&](const uint8_t*, size_t, const BinaryReplyCallback& reply) {
    copy = reply;
    reply(nullptr, 0);
  });
  const uint64_t id = engine_->SendToHost("chan", Hex("00"));
  engine_->RunPendingTasks();
  const std::string diagnostics = CaptureStderr([&] { copy(nullptr, 0); });
  // The engine sees the second use of its handle: the host answered twice.
  EXPECT_EQ(engine_->ResponsesTo(id).size(), 2u);
  EXPECT_EQ(engine_->stray_responses(), 1u);
  EXPECT_NE(diagnostics.find("awaits none"), std::string::npos);
  copy = nullptr;
}

TEST_F(BinaryMessengerTest, LateReplyAfterEngineIsGoneIsDroppedSilentlyAndReleasesTheMessenger) {
  BinaryReplyCallback kept;
  messenger_->SetHandler(
      "chan", [&](const uint8_t*, size_t, BinaryReplyCallback reply) { kept = std::move(reply); });
  engine_->SendToHost("chan", Hex("00"));
  engine_->RunPendingTasks();
  ASSERT_TRUE(kept);

  const int live = FlutterDesktopMessenger::live_count();
  DestroyEngine();
  EXPECT_EQ(FlutterDesktopMessenger::live_count(), live) << "the reply must keep it alive";
  const std::string diagnostics = CaptureStderr([&] { kept(nullptr, 0); });
  EXPECT_EQ(diagnostics, "");
  EXPECT_EQ(engine_->responses_outside_lock(), 0u);
  kept = nullptr;
  EXPECT_EQ(FlutterDesktopMessenger::live_count(), live - 1);
}

TEST_F(BinaryMessengerTest, SendWithoutReplyAsksForNone) {
  const Bytes event = Hex("07 01 65 00");
  messenger_->Send("events", event.data(), event.size(), nullptr);
  const auto sent = engine_->host_messages();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].channel, "events");
  EXPECT_EQ(sent[0].bytes, event);
  EXPECT_FALSE(sent[0].wants_reply);
}

TEST_F(BinaryMessengerTest, ReplyToASendArrivesLaterAndOnce) {
  engine_->SetPeerHandler("chan", [](const Bytes& message, auto respond) {
    respond(Bytes(message.rbegin(), message.rend()));
  });
  std::vector<Bytes> replies;
  const Bytes message = Hex("01 02 03");
  messenger_->Send("chan", message.data(), message.size(), [&](const uint8_t* reply, size_t size) {
    replies.emplace_back(reply, reply + size);
  });
  EXPECT_TRUE(replies.empty());
  engine_->RunPendingTasks();
  EXPECT_EQ(replies, std::vector<Bytes>{Hex("03 02 01")});
}

TEST_F(BinaryMessengerTest, RefusedSendDropsTheReplyHolderWithoutCallingIt) {
  // Keep the messenger object while its engine is gone, as a reply in flight would.
  FlutterDesktopMessengerRef reference = FlutterDesktopMessengerAddRef(engine_);
  DestroyEngine();
  auto token = std::make_shared<int>(0);
  bool called = false;
  const Bytes message = Hex("00");
  messenger_->Send("chan", message.data(), message.size(),
                   [&called, token](const uint8_t*, size_t) { called = true; });
  EXPECT_FALSE(called);
  EXPECT_EQ(token.use_count(), 1) << "the reply holder was not destroyed";
  messenger_.reset();
  FlutterDesktopMessengerRelease(reference);
}

#if GTEST_HAS_DEATH_TEST
TEST_F(BinaryMessengerTest, AnExceptionFromAHandlerEndsTheProcessInsteadOfReachingTheEngine) {
  messenger_->SetHandler(
      "chan", [](const uint8_t*, size_t, const BinaryReplyCallback&) { throw std::bad_alloc(); });
  engine_->SendToHost("chan", Hex("00"));
  // Were the exception to unwind out of the engine's callback, the statement would throw rather
  // than end the process, and the death test would fail.
  EXPECT_DEATH(engine_->RunPendingTasks(), "");
}
#endif

}  // namespace
}  // namespace flutter::testing
