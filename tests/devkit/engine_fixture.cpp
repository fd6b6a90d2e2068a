#include "tests/devkit/engine_fixture.h"

#include <windows.h>

#include <chrono>
#include <vector>

#include "devkit/driver/protocol/method_envelopes.h"

namespace devkit::testing {

using namespace std::chrono_literals;

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes Event(const std::string& method, int32_t value) {
  return EncodeMethodCall(method, flutter::EncodableValue(value));
}

void DevkitEngineTest::SetUp() {
  std::string error;
  client_ = DriverClient::Create(&error);
  ASSERT_NE(client_, nullptr) << error;
}

void DevkitEngineTest::StartWithDriver(EngineSetup setup) {
  const std::vector<std::string> driver = client_->DriverArguments({kDesktop, kUi});
  setup.arguments.insert(setup.arguments.end(), driver.begin(), driver.end());
  bool started = false;
  host_.Run([&] { started = host_.StartEngine(setup); });
  ASSERT_TRUE(started);
  const DriverResult<HelloMessage> hello = client_->WaitForDriver();
  ASSERT_TRUE(hello.ok()) << hello.error;
  EXPECT_EQ(hello.value.process_id, GetCurrentProcessId());
}

uint64_t DevkitEngineTest::FramesProduced() {
  const DriverResult<EngineStateMessage> state = client_->QueryState();
  EXPECT_TRUE(state.ok()) << state.error;
  return state.value.frames_produced;
}

bool DevkitEngineTest::WaitForFramesBeyond(uint64_t frames) {
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  while (std::chrono::steady_clock::now() < deadline) {
    if (FramesProduced() > frames) return true;
    Sleep(10);
  }
  return false;
}

}  // namespace devkit::testing
