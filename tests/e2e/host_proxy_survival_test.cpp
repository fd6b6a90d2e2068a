// The user's proxy outlives the host: killed, crashed, or gone before its next start, the host
// leaves its snapshot on disk and something puts it back. Under Wine, with the test prefix's
// own WinINet settings, for real.

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "common/scoped_handles.h"
#include "devkit/engine/fault_request.h"
#include "messaging/encodable_value.h"
#include "proxy/durable_proxy_snapshot.h"
#include "proxy/process_identity.h"
#include "proxy/proxy_calls.h"
#include "proxy/proxy_settings.h"
#include "tests/e2e/bundle_paths.h"
#include "tests/e2e/host_fixture.h"
#include "tests/e2e/host_process.h"
#include "tests/e2e/proxy_guard_process.h"
#include "tests/support/host_names.h"
#include "tests/support/local_app_data.h"
#include "tests/support/proxy_registry.h"
#include "tests/support/registry_value_guard.h"

namespace keelo::testing {
namespace {

using flutter::EncodableMap;
using flutter::EncodableValue;

// A blocker's proxy that no longer runs once the host is gone: with it in force, the user has
// no internet.
const ProxySettings kBlockingProxy = {PROXY_TYPE_DIRECT | PROXY_TYPE_PROXY, L"127.0.0.1:9", L"",
                                      L""};
constexpr DWORD kRestoreDeadlineMs = 2000;
constexpr DWORD kDumpTimeoutMs = 60000;

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class HostProxySurvivalTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    RemoveProxySnapshot();
  }

  // Sets the blocking proxy with |before| to put back on exit, as Keelo's UI application does.
  void BlockWithSnapshot(const std::string& before) {
    const EncodableValue arguments(
        EncodableMap{{"flags", static_cast<int32_t>(kBlockingProxy.flags)},
                     {"server", "127.0.0.1:9"},
                     {"restoreOnExit", EncodableMap{{"flags", 1}, {"server", before}}}});
    auto reply = client_->InvokeMethod(kDesktopChannel, "setProxy", arguments);
    ASSERT_TRUE(reply.ok()) << reply.error;
    ASSERT_EQ(reply.value.value, EncodableValue(true));
    ASSERT_EQ(ReadRegistryProxy(), (RegistryProxy{1, L"127.0.0.1:9"}));
  }

  std::string Log() const {
    return TemporaryLocalAppData::FileBytes(local_.KeeloFolder(L"logs") + L"\\keelo.log");
  }

  // The restore the guard makes once its host has ended, or said it is dying: within the
  // deadline from now; then the guard ends, and the snapshot is gone.
  void ExpectGuardRestored(HANDLE guard, const std::wstring& before) {
    const RegistryProxy expected{0, before};
    EXPECT_TRUE(WaitUntil([&] { return ReadRegistryProxy() == expected; }, kRestoreDeadlineMs))
        << Describe(ReadRegistryProxy());
    EXPECT_EQ(WaitForSingleObject(guard, kRestoreDeadlineMs), static_cast<DWORD>(WAIT_OBJECT_0));
    DWORD exit_code = STILL_ACTIVE;
    GetExitCodeProcess(guard, &exit_code);
    EXPECT_EQ(exit_code, 0u);
    EXPECT_EQ(ReadProxySnapshotText(), std::nullopt);
    EXPECT_TRUE(Contains(Log(), "Proxy restored (guard): flags 1, server \"" +
                                    std::string(before.begin(), before.end()) +
                                    "\", bypass \"\", pac \"\""))
        << Log();
  }

  TemporaryLocalAppData local_;
  ProxyRegistryGuard proxy_values_;
  ProxySnapshotGuard snapshot_values_;
};

TEST_F(HostProxySurvivalTest, KilledHostHasTheProxyPutBackByItsGuard) {
  StartHost(L"--minimized");
  BlockWithSnapshot("before:kill");
  const std::optional<ProxySnapshot> snapshot = ReadProxySnapshot();
  ASSERT_TRUE(snapshot.has_value());
  EXPECT_EQ(snapshot->owner.id, host_->id());
  EXPECT_EQ(snapshot->settings, (ProxySettings{1, L"before:kill", L"", L""}));
  const ScopedHandle guard = WaitForProxyGuardOf(host_->id(), kStartTimeoutMs);
  ASSERT_TRUE(guard) << "the host started no proxy guard";
  EXPECT_EQ(WaitForSingleObject(guard.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));

  // End task, as Task Manager does it.
  ASSERT_TRUE(TerminateProcess(host_->handle(), 1));
  ExpectGuardRestored(guard.get(), L"before:kill");
}

TEST_F(HostProxySurvivalTest, FaultOnTheUiThreadLeavesADumpALineAndTheProxyBack) {
  StartHost(L"--minimized");
  BlockWithSnapshot("before:fault");
  const ScopedHandle guard = WaitForProxyGuardOf(host_->id(), kStartTimeoutMs);
  ASSERT_TRUE(guard) << "the host started no proxy guard";

  // Never answered: the host dies first. Its guard puts the proxy back as soon as the host
  // says it is dying, while the dump is still being written.
  client_->Call(kDevkitFaultChannel, {}, std::chrono::milliseconds(100));
  ExpectGuardRestored(guard.get(), L"before:fault");
  // Wine's dbghelp takes seconds over a dump, and many more on a busy machine.
  EXPECT_EQ(host_->WaitForExit(kDumpTimeoutMs),
            std::optional<DWORD>(static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION)));

  const std::wstring crashes = local_.KeeloFolder(L"crashes");
  const std::vector<std::wstring> dumps = TemporaryLocalAppData::FilesIn(crashes);
  ASSERT_EQ(dumps.size(), 1u);
  const std::string dump = TemporaryLocalAppData::FileBytes(crashes + L"\\" + dumps[0]);
  EXPECT_EQ(dump.substr(0, 4), "MDMP");
  const std::string crash_line = "Ending on exception 0xC0000005 at 0x";
  EXPECT_TRUE(Contains(host_->Output(), crash_line)) << host_->Output();
  EXPECT_TRUE(Contains(Log(), crash_line)) << Log();
  const std::wstring dump_path = crashes + L"\\" + dumps[0];
  EXPECT_TRUE(
      Contains(Log(), "Crash dump written to " + std::string(dump_path.begin(), dump_path.end())))
      << Log();
}

TEST_F(HostProxySurvivalTest, SnapshotLeftBehindIsPutBackBeforeTheEngineStarts) {
  ASSERT_TRUE(ApplyProxySettings(kBlockingProxy, ProxyCalls::Real()));
  // Written by a host that has ended, whose id this test's process got since (as after a
  // reboot): a live process of the owner's id, created at another time, is not the owner.
  const ProcessIdentity reused{GetCurrentProcessId(),
                               ProcessCreationTime(GetCurrentProcess()).value_or(0) + 1};
  ASSERT_TRUE(SaveProxySnapshot({reused, ProxySettings{1, L"before:restart", L"", L""}}));

  StartHost(L"--minimized");
  // The driver greeted from inside the engine's start: by then the proxy was back.
  EXPECT_EQ(ReadRegistryProxy(), (RegistryProxy{0, L"before:restart"}));
  EXPECT_EQ(ReadProxySnapshotText(), std::nullopt);
  const std::string line =
      "Proxy restored (next start): flags 1, server \"before:restart\", bypass \"\", pac \"\"";
  EXPECT_TRUE(Contains(host_->Output(), line)) << host_->Output();
  EXPECT_TRUE(WaitUntil([&] { return Contains(Log(), line + "\r\n"); }, kStartTimeoutMs)) << Log();
  // Nothing is held, so nothing needs guarding.
  EXPECT_FALSE(WaitForProxyGuardOf(host_->id(), 0));
}

// The first host holds the session's lock: the second leaves before it touches anything.
TEST_F(HostProxySurvivalTest, SecondInstanceLeavesTheSnapshotAlone) {
  const ScopedHandle lock(CreateMutexW(nullptr, TRUE, L"Local\\VantrelKeeloDesktop"));
  ASSERT_TRUE(lock);
  ASSERT_NE(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS)) << "a host is running";
  ASSERT_TRUE(ApplyProxySettings(kBlockingProxy, ProxyCalls::Real()));
  ASSERT_TRUE(SaveProxySnapshot({{0, 0}, ProxySettings{1, L"before:second", L"", L""}}));
  const std::optional<std::wstring> stored = ReadProxySnapshotText();

  auto second = StartHostProcess(HostExecutable(), L"", BundleDirectory());
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->WaitForExit(kStartTimeoutMs), std::optional<DWORD>(0));
  EXPECT_EQ(ReadProxySnapshotText(), stored);
  EXPECT_EQ(ReadRegistryProxy(), (RegistryProxy{1, L"127.0.0.1:9"}));
}

}  // namespace
}  // namespace keelo::testing
