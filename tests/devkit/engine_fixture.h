#ifndef TESTS_DEVKIT_ENGINE_FIXTURE_H_
#define TESTS_DEVKIT_ENGINE_FIXTURE_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

#include "devkit/driver/client/driver_client.h"
#include "tests/devkit/test_host.h"

namespace devkit::testing {

// The two channels the driver listens on in these tests.
inline constexpr char kDesktop[] = "test.keelo/desktop";
inline constexpr char kUi[] = "test.keelo/desktop_ui";

Bytes Text(const std::string& text);
// A method call with one integer argument, as the host's events are sent.
Bytes Event(const std::string& method, int32_t value);

// The stand-in engine under the test's own small host, with the driver as its UI application
// once a test starts it.
class DevkitEngineTest : public ::testing::Test {
 protected:
  void SetUp() override;

  // Starts the engine with the driver as its UI application, listening on both channels.
  void StartWithDriver(EngineSetup setup = EngineSetup());

  uint64_t FramesProduced();

  // True once the engine has produced more than |frames| frames.
  bool WaitForFramesBeyond(uint64_t frames);

  // The client goes first: its pipe closes before the driver's goodbye, which the driver must
  // survive as it would a test process that ended.
  TestHost host_;
  std::unique_ptr<DriverClient> client_;
};

}  // namespace devkit::testing

#endif  // TESTS_DEVKIT_ENGINE_FIXTURE_H_
