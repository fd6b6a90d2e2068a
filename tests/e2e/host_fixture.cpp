#include "tests/e2e/host_fixture.h"

#include "devkit/driver/protocol/driver_config.h"
#include "tests/e2e/host_control.h"
#include "tests/support/host_names.h"

namespace keelo::testing {

void HostTest::SetUp() {
  // Wine reads the DPI when a process starts: a run killed while a test had set one must not
  // leave every later host at that DPI.
  RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"LogPixels");
  std::string error;
  client_ = devkit::DriverClient::Create(&error);
  ASSERT_NE(client_, nullptr) << error;
  std::string channels = std::string(kDesktopChannel) + ";" + kUiChannel;
  SetEnvironmentVariableA(devkit::kPipeVariable, client_->pipe_name().c_str());
  SetEnvironmentVariableA(devkit::kChannelsVariable, channels.c_str());
}

void HostTest::TearDown() {
  SetEnvironmentVariableA(devkit::kPipeVariable, nullptr);
  SetEnvironmentVariableA(devkit::kChannelsVariable, nullptr);
  if (host_ == nullptr || host_->WaitForExit(0).has_value()) return;
  if (window_ != nullptr) AskHostToQuit(window_);
  EXPECT_EQ(host_->WaitForExit(kStartTimeoutMs), std::optional<DWORD>(0)) << host_->Output();
}

void HostTest::StartHost(const std::wstring& arguments, const std::wstring& bundle_directory) {
  host_ = StartHostProcess(HostIn(bundle_directory), arguments, bundle_directory);
  ASSERT_NE(host_, nullptr) << "CreateProcessW failed: " << GetLastError();
  auto hello = client_->WaitForDriver(std::chrono::milliseconds(kStartTimeoutMs));
  ASSERT_TRUE(hello.ok()) << hello.error << "\nhost output:\n" << host_->Output();
  EXPECT_EQ(hello.value.process_id, host_->id());
  window_ = WaitForHostWindow(host_->id(), kStartTimeoutMs);
  ASSERT_NE(window_, nullptr) << host_->Output();
}

void HostTest::WaitForFirstFrame() {
  ASSERT_TRUE(WaitUntil([this] { return QueryState().frames_produced > 0; }, kStartTimeoutMs));
  auto reply = client_->InvokeMethod(std::string(kDesktopChannel), "getIdleSeconds");
  ASSERT_TRUE(reply.ok()) << reply.error;
}

devkit::EngineStateMessage HostTest::QueryState() {
  auto state = client_->QueryState();
  EXPECT_TRUE(state.ok()) << state.error;
  return state.value;
}

}  // namespace keelo::testing
