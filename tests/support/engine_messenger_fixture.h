#ifndef TESTS_SUPPORT_ENGINE_MESSENGER_FIXTURE_H_
#define TESTS_SUPPORT_ENGINE_MESSENGER_FIXTURE_H_

#include <gtest/gtest.h>

#include "devkit/engine/messenger.h"
#include "messaging/binary_messenger_impl.h"

namespace flutter::testing {

// A host-side messenger over the development kit's engine messenger, whose tasks run when the
// test says so. Every engine messenger made must be gone by the end of the test: a reference
// leaked by the reply path shows up here.
class EngineMessengerTest : public ::testing::Test {
 protected:
  EngineMessengerTest()
      : live_before_(FlutterDesktopMessenger::live_count()),
        engine_(FlutterDesktopMessenger::Create()),
        messenger_(std::make_unique<BinaryMessengerImpl>(engine_)) {}

  ~EngineMessengerTest() override {
    messenger_.reset();
    if (!engine_gone_) engine_->ShutDown();
    EXPECT_EQ(FlutterDesktopMessenger::live_count(), live_before_);
  }

  // As when the engine is destroyed; the messenger object lives on while references remain.
  void DestroyEngine() {
    engine_gone_ = true;
    engine_->ShutDown();
  }

  int live_before_;
  FlutterDesktopMessenger* engine_;
  std::unique_ptr<BinaryMessengerImpl> messenger_;
  bool engine_gone_ = false;
};

}  // namespace flutter::testing

#endif  // TESTS_SUPPORT_ENGINE_MESSENGER_FIXTURE_H_
