#ifndef TESTS_E2E_HOST_FIXTURE_H_
#define TESTS_E2E_HOST_FIXTURE_H_

#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>

#include "devkit/driver/client/driver_client.h"
#include "tests/e2e/bundle_paths.h"
#include "tests/e2e/host_process.h"
#include "tests/support/host_bundle.h"

namespace keelo::testing {

// Runs the staged host with the development kit's driver as its UI application. The driver
// finds the test's pipe through the environment the host inherits, so that the host's command
// line holds only what a test puts there.
class HostTest : public ::testing::Test {
 protected:
  void SetUp() override;
  // A host still running is asked to quit and must end with 0.
  void TearDown() override;

  // Starts the host of |bundle_directory| with |arguments| and waits for the driver and the main
  // window.
  void StartHost(const std::wstring& arguments,
                 const std::wstring& bundle_directory = BundleDirectory());

  // Waits until the UI application has produced a frame and the host has acted on it: a
  // channel round trip after the frame runs behind the host's first-frame work.
  void WaitForFirstFrame();

  devkit::EngineStateMessage QueryState();

  std::unique_ptr<devkit::DriverClient> client_;
  std::unique_ptr<ChildProcess> host_;
  HWND window_ = nullptr;
};

}  // namespace keelo::testing

#endif  // TESTS_E2E_HOST_FIXTURE_H_
